// The window's user channel: the log (txtStatus), the dcraw line (lblDCRAW), the boxes, the
// progress bar and read-out, the beep and the cancel flag. Steps call it from the worker thread;
// every call is carried to the window's own thread, in order. A box blocks the calling worker
// until the window has shown it and the user has dismissed it; called on the window's thread it
// is shown at once. Boxes go through a presenter that tests replace, so no test waits on a
// dialog.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "base/UserChannel.h"

namespace brimsal {

// Shows a box with `title` ("WARNING", "ERROR" or "Brimsal") and `text`, an OK button only, and
// returns when it is dismissed.
using BoxPresenter = std::function<void(const QString& title, const QString& text)>;

// The presenter of the running program: a modal QMessageBox.
BoxPresenter MessageBoxPresenter(QObject* parent_widget);

class WindowChannel : public QObject, public UserChannel {
    Q_OBJECT

  public:
    explicit WindowChannel(BoxPresenter presenter, QObject* parent = nullptr);
    ~WindowChannel() override;

    void AnadirLog(const std::string& line, bool append) override;
    void MostrarLineaDCRAW(const std::string& line) override;
    void MensajeAviso(const std::string& text) override;
    void MensajeError(const std::string& text) override;
    void ShowProgress(const std::string& text) override;
    void Beep() override;
    bool CancelRequested() const override { return cancel_.load(); }

    // A box titled "Brimsal" (the window's own notices).
    void MessageBrimsal(const std::string& text);
    // Asks the running step to stop; cleared when the next step starts.
    void Cancel() { cancel_ = true; }
    void Resume() { cancel_ = false; }
    // Replaces the presenter (tests).
    void SetPresenter(BoxPresenter presenter) { presenter_ = std::move(presenter); }
    // From now on boxes asked for by a worker are not shown and do not block: the window is
    // going away and waits for its worker.
    void Abandon();

  signals:
    void logLine(const QString& line, bool append);
    void dcrawLine(const QString& line);
    void progress(const QString& text);
    void beep();

  private:
    void Box(const QString& title, const std::string& text);
    void ShowBox(const QString& title, const QString& text, quint64 ticket);

    BoxPresenter presenter_;
    std::atomic<bool> cancel_{false};
    std::mutex mutex_;
    std::condition_variable box_closed_;
    quint64 boxes_asked_ = 0;   // tickets handed out to workers
    quint64 boxes_closed_ = 0;  // tickets whose box was dismissed
    bool abandoned_ = false;
};

}  // namespace brimsal
