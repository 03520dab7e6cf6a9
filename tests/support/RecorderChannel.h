// A user channel that records everything, for tests and benchmarks: the log as the window would
// show it, every line ever written, every box, the dcraw line, progress texts and beeps.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "base/UserChannel.h"

namespace brimsal {

class RecorderChannel : public UserChannel {
  public:
    struct Box {
        std::string title;  // "WARNING" or "ERROR"
        std::string text;
    };

    void AnadirLog(const std::string& line, bool append) override;
    void MostrarLineaDCRAW(const std::string& line) override;
    void MensajeAviso(const std::string& text) override;
    void MensajeError(const std::string& text) override;
    void ShowProgress(const std::string& text) override;
    void Beep() override;
    bool CancelRequested() const override { return cancel_.load(); }

    // Asks the running step to stop (as the Cancel button does).
    void Cancel() { cancel_ = true; }
    // Cancels once the progress read-out has been shown `count` times.
    void CancelAfterProgressReports(int count) { cancel_after_progress_ = count; }

    // The log as the window shows it: lines since the last restart.
    std::vector<std::string> log() const;
    // Every line ever written, restarts included.
    std::vector<std::string> allLines() const;
    std::vector<Box> boxes() const;
    std::vector<std::string> progress() const;
    std::string dcrawLine() const;
    int beeps() const;
    // True when some log line equals `line`.
    bool logContains(const std::string& line) const;
    void clear();

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> log_;
    std::vector<std::string> all_;
    std::vector<Box> boxes_;
    std::vector<std::string> progress_;
    std::string dcraw_;
    int beeps_ = 0;
    int cancel_after_progress_ = -1;
    std::atomic<bool> cancel_{false};
};

// A channel that shows nothing (benchmarks).
class SilentChannel : public UserChannel {
  public:
    void AnadirLog(const std::string&, bool) override {}
    void MostrarLineaDCRAW(const std::string&) override {}
    void MensajeAviso(const std::string&) override {}
    void MensajeError(const std::string&) override {}
    void ShowProgress(const std::string&) override {}
    void Beep() override {}
};

}  // namespace brimsal
