// The user channel: the one way processing talks to the user (log, dcraw line, boxes, progress,
// beep, cancellation), and the errors a step reports through it.
//
// Shared rules, written once:
//  - Pixel values are 0..kFullScale (image/Frame.h); x is the column, y the row, y = 0 the top row.
//  - Rounding of a fractional value to a whole number is half to even (RoundHalfEven); Int is
//  floor.
//  - Paths use "/" as the separator.
#pragma once

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

namespace brimsal {

// Contact address printed at the end of the unexpected-error report.
inline constexpr const char* kContactAddress = "support@brimsal.org";

// The user channel: log, dcraw line, boxes, progress read-out, beep and cancellation.
// Implementations: the window (widgets), the console (brimsal-cli) and the recorder (tests).
// Every method may be called from a worker thread; implementations marshal as they need.
class UserChannel {
  public:
    virtual ~UserChannel() = default;

    // Appends `line` to the log, or, when `append` is false, starts the log anew with it.
    virtual void AnadirLog(const std::string& line, bool append) = 0;
    // Shows the current dcraw command line.
    virtual void MostrarLineaDCRAW(const std::string& line) = 0;
    // Box titled "WARNING".
    virtual void MensajeAviso(const std::string& text) = 0;
    // Box titled "ERROR".
    virtual void MensajeError(const std::string& text) = 0;
    // The progress read-out (lblXY), e.g. "45%".
    virtual void ShowProgress(const std::string& text) = 0;
    // The system beep at the end of long operations.
    virtual void Beep() = 0;
    // True once the user asked to cancel the running step. Kernels poll it per row band.
    virtual bool CancelRequested() const { return false; }
};

// Thrown by a step when the user cancelled it. The step undoes nothing the user can see:
// it writes no partial file and leaves the state it owns as it was.
class Cancelled : public std::runtime_error {
  public:
    Cancelled() : std::runtime_error("cancelled") {}
};

// A run-time error with a number and a description, the two facts the unexpected-error report
// shows. Numbers follow the classic run-time error table (5 invalid argument, 6 overflow,
// 9 subscript out of range, 11 division by zero, 53 file not found, 75 path/file access error).
class RunTimeError : public std::runtime_error {
  public:
    RunTimeError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }

  private:
    int number_;
};

inline constexpr int kErrInvalidArgument = 5;
inline constexpr int kErrOverflow = 6;
inline constexpr int kErrSubscript = 9;
inline constexpr int kErrDivisionByZero = 11;
inline constexpr int kErrFileNotFound = 53;
inline constexpr int kErrFileAccess = 75;

// The text of the unexpected-error report for `module` (a procedure's name, or a library's
// message such as "gflLoadBitmap [...]").
std::string UnexpectedErrorText(const std::string& module, int number,
                                const std::string& description);

// The unexpected-error report: an error box with UnexpectedErrorText, then the log replaced by
// "An unexpected error occurred".
void ErrorInesperado(UserChannel& channel, const std::string& module, int number = 0,
                     const std::string& description = "");

// The report for whatever `error` is: a RunTimeError gives its number and text; any other
// exception reads as number 5 with its what() as the description.
void ErrorInesperado(UserChannel& channel, const std::string& module, const std::exception& error);

// Polls the channel and throws Cancelled when the user asked to stop.
void ThrowIfCancelled(const UserChannel& channel);

// What a step puts right when it does not finish: `on_cancel` runs before a cancellation passes
// on, `after_report` after the unexpected-error report.
struct StepCleanup {
    std::function<void()> on_cancel = nullptr;
    std::function<void()> after_report = nullptr;
};

// The error trap every step shares: returns what `body` returns. A cancellation passes through;
// any other exception becomes the unexpected-error report naming `procedure`, and the step
// returns `failure`.
template <typename Result, typename Body>
Result TrapUnexpected(UserChannel& channel, const std::string& procedure, Result failure,
                      Body&& body, const StepCleanup& cleanup = {}) {
    try {
        return std::forward<Body>(body)();
    } catch (const Cancelled&) {
        if (cleanup.on_cancel) {
            cleanup.on_cancel();
        }
        throw;
    } catch (const std::exception& error) {
        ErrorInesperado(channel, procedure, error);
        if (cleanup.after_report) {
            cleanup.after_report();
        }
    }
    return failure;
}

}  // namespace brimsal
