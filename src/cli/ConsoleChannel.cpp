#include "cli/ConsoleChannel.h"

#include "base/TemporaryFiles.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace brimsal::cli {

namespace {
std::atomic<bool> g_interrupted{false};

// The first interrupt asks the run to stop cleanly; a second one ends it at once, removing the
// files still being written.
extern "C" void OnInterrupt(int) {
    if (g_interrupted.exchange(true)) {
        RemoveTemporariesAtAbruptExit();
        ::_exit(130);
    }
}
}  // namespace

ConsoleChannel::ConsoleChannel() : stderr_is_terminal_(::isatty(STDERR_FILENO) != 0) {}

void ConsoleChannel::InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // The terminal closing (ssh dropped) stops the run like a termination request.
    sigaction(SIGHUP, &action, nullptr);
    // A closed pipe on stdout (`| head`) ends a write with an error, not the process.
    std::signal(SIGPIPE, SIG_IGN);
}

bool ConsoleChannel::CancelRequested() const {
    return g_interrupted.load();
}

void ConsoleChannel::ClearProgress() {
    if (progress_shown_) {
        std::fputs("\r\033[K", stderr);
        progress_shown_ = false;
    }
}

void ConsoleChannel::AnadirLog(const std::string& line, bool) {
    std::lock_guard lock(mutex_);
    ClearProgress();
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The shown dcraw line is a read-out of the window (the quick-development line it would run
// next); the console keeps stdout for the log and has nothing to refresh.
void ConsoleChannel::MostrarLineaDCRAW(const std::string&) {}

void ConsoleChannel::MensajeAviso(const std::string& text) {
    std::lock_guard lock(mutex_);
    ClearProgress();
    std::fflush(stdout);
    std::fprintf(stderr, "WARNING: %s\n", text.c_str());
}

void ConsoleChannel::MensajeError(const std::string& text) {
    std::lock_guard lock(mutex_);
    ClearProgress();
    std::fflush(stdout);
    std::fprintf(stderr, "ERROR: %s\n", text.c_str());
}

void ConsoleChannel::ShowProgress(const std::string& text) {
    if (!stderr_is_terminal_) {
        return;
    }
    std::lock_guard lock(mutex_);
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    progress_shown_ = true;
}

}  // namespace brimsal::cli
