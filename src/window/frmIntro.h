// frmIntro, the start screen: the product's picture and label, the project's web page, the
// donation picture (each opening its page in the browser, or saying where it is when no browser
// starts), and "Start" (the default button: Enter starts), which shows the main window
// and closes the start screen.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

#include "window/WindowChannel.h"

class QPushButton;

namespace brimsal {

// The project's web page and its donation page.
inline constexpr const char* kProjectPage = "https://brimsal.org";
inline constexpr const char* kDonationPage = "https://brimsal.org/donate";

// Opens a web address in the user's browser; false when none could be started.
using LinkOpener = std::function<bool(const QUrl& address)>;

class frmIntro : public QDialog {
    Q_OBJECT

  public:
    // `main` is shown by "Start".
    explicit frmIntro(QWidget* main, QWidget* parent = nullptr);

    QPushButton* cmdStart() const { return cmdStart_; }
    // Replace the browser and the box presenter (tests).
    void SetLinkOpener(LinkOpener opener) { open_ = std::move(opener); }
    void SetBoxPresenter(BoxPresenter presenter) { present_ = std::move(presenter); }

  private:
    // Opens `address`; when no browser starts, a box gives the address to copy.
    void OpenPage(const QString& address);

    QPushButton* cmdStart_ = nullptr;
    LinkOpener open_;
    BoxPresenter present_;
};

}  // namespace brimsal
