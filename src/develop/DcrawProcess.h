// The one owner of a dcraw child process: it starts dcraw from an argument list, reads its
// messages, and ends in exactly one result: done with the TIFF written, not started, a non-zero
// exit code, a crash, done without the TIFF, or stopped. A stopped run (cancel, or a sibling's
// failure) is killed and its partial TIFF removed; so is the TIFF of any failed run.
//
// A DcrawProcess reports its end through the event loop of the thread that started it.
// RunDcraw runs such a loop locally and blocks the calling thread until its processes end:
// call it from a worker thread, never from the window's own thread. A QCoreApplication must
// exist (QtRuntime).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brimsal {

class UserChannel;

// One development: dcraw's arguments and the TIFF it must leave.
struct DcrawJob {
    std::vector<std::string> arguments;
    std::string tiff;
};

enum class DcrawEnd {
    kDone,          // exit code 0 and the TIFF is there
    kNotStarted,    // the process could not be started
    kExitCode,      // dcraw ended with a non-zero exit code
    kCrashed,       // dcraw crashed (ended by a signal)
    kNoTiff,        // exit code 0 but no TIFF
    kStopped,       // killed: the run was cancelled or a sibling failed
    kNeverStarted,  // never started: the run ended before its turn
};

struct DcrawResult {
    DcrawEnd end = DcrawEnd::kNeverStarted;
    int exit_code = 0;
    std::string last_line;  // the last non-empty line dcraw wrote to its error output
    std::string detail;     // why the process could not be started

    bool Done() const { return end == DcrawEnd::kDone; }
    // What went wrong, in words ("dcraw ended with exit code 1", ...); "" when done.
    std::string Reason() const;
};

class DcrawProcess {
  public:
    DcrawProcess(std::string program, DcrawJob job);
    // A process still running is stopped (killed, its partial TIFF removed).
    ~DcrawProcess();
    DcrawProcess(const DcrawProcess&) = delete;
    DcrawProcess& operator=(const DcrawProcess&) = delete;

    // Starts dcraw and returns at once. `on_end` is called exactly once when the process
    // has ended in any way: from this thread's event loop, or from within Stop.
    void Start(std::function<void()> on_end);
    // Kills a running process and removes its partial TIFF; the result is kStopped.
    void Stop();
    bool Finished() const;
    const DcrawResult& Result() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Runs the jobs with `program`, `at_once` at once (<= 0: one per core), starting them in
// list order; the last jobs, fewer than `at_once`, start with the round before them. The first
// failure ends the run: processes still running are stopped and jobs not yet started stay
// kNeverStarted. Returns one result per job, in list order. The channel's cancel flag is polled
// while waiting: on cancel every running process is killed, its partial TIFF removed, and Cancelled
// is thrown. `job_done`, when given, is called with a job's index as soon as that job has ended
// with its TIFF written, while the others still run. The progress read-out follows the runs: the
// share of the files developed, how many are and how many runs are in flight ("40% 2 of 5
// developed, 2 running").
std::vector<DcrawResult> RunDcraw(const std::string& program, const std::vector<DcrawJob>& jobs,
                                  int at_once, UserChannel& channel,
                                  const std::function<void(size_t)>& job_done = {});

}  // namespace brimsal
