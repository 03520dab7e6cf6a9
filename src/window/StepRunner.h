// Runs the window's steps on one worker thread, one step at a time, so the window never freezes.
// A step is a function of the user channel; whatever it leaves for the window (a picture to
// show, buttons to enable) it leaves in variables it shares with its `done` function, which runs
// on the window's thread once the worker has ended. A step that throws Cancelled ends with the
// log line "Cancelled"; any other exception gives the unexpected-error report naming the step.
#pragma once

#include <QObject>
#include <QThread>
#include <functional>
#include <string>

#include "window/WindowChannel.h"

namespace brimsal {

class StepRunner : public QObject {
    Q_OBJECT

  public:
    explicit StepRunner(WindowChannel& channel, QObject* parent = nullptr);
    ~StepRunner() override { CancelAndWait(); }

    // Starts `work` on the worker; false (and nothing started) while another step runs.
    // `done` runs on the window's thread after the step, also when it failed or was cancelled.
    bool Run(const std::string& module, std::function<void(UserChannel&)> work,
             std::function<void()> done = {});
    bool Busy() const { return worker_ != nullptr; }
    // Asks the running step to stop (the Cancel button, Esc).
    void Cancel() { channel_.Cancel(); }
    // Cancels a running step and waits for its end, without its `done`; boxes it still asks
    // for are not shown. For an owner going away.
    void CancelAndWait();

  signals:
    void started();
    // After the step's `done`, unless `done` started another step.
    void finished();

  private:
    // The end of step `step` (its thread has finished): nothing when that step is no longer the
    // current one (CancelAndWait has already ended it), so a stale end never waits on a later
    // step nor runs its `done`.
    void Finish(quint64 step);

    WindowChannel& channel_;
    QThread* worker_ = nullptr;
    quint64 steps_started_ = 0;  // the current step's number
    std::function<void()> done_;
};

}  // namespace brimsal
