// frmIntro, the start screen: the product's picture and label, the project's web page, the
// donation picture, and "Start" (the default button: Enter starts), which shows the main window
// and closes the start screen.
#pragma once

#include <QDialog>

class QPushButton;

namespace brimsal {

// The project's web page and its donation page.
inline constexpr const char* kProjectPage = "https://brimsal.org";
inline constexpr const char* kDonationPage = "https://brimsal.org/donate";

class frmIntro : public QDialog {
    Q_OBJECT

  public:
    // `main` is shown by "Start".
    explicit frmIntro(QWidget* main, QWidget* parent = nullptr);

    QPushButton* cmdStart() const { return cmdStart_; }

  private:
    QPushButton* cmdStart_ = nullptr;
};

}  // namespace brimsal
