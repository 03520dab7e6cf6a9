// The user channel of brimsal-cli: log lines on stdout; boxes on stderr as "WARNING: text" and
// "ERROR: text"; the progress read-out on stderr only when it is a terminal. Ctrl+C asks the
// running step to cancel.
#pragma once

#include <atomic>
#include <mutex>

#include "base/UserChannel.h"

namespace brimsal::cli {

class ConsoleChannel : public UserChannel {
  public:
    ConsoleChannel();
    void AnadirLog(const std::string& line, bool append) override;
    void MostrarLineaDCRAW(const std::string& line) override;
    void MensajeAviso(const std::string& text) override;
    void MensajeError(const std::string& text) override;
    void ShowProgress(const std::string& text) override;
    void Beep() override {}
    bool CancelRequested() const override;

    // Installs the Ctrl+C handler that sets the cancel flag.
    static void InstallInterruptHandler();

  private:
    void ClearProgress();
    std::mutex mutex_;
    bool progress_shown_ = false;
    bool stderr_is_terminal_;
};

}  // namespace brimsal::cli
