// The progress read-out of a step, as the user channel carries it (UserChannel::ShowProgress): a
// whole percentage followed by "%", and after it, when the step has more to say, a blank and its
// own words ("40% 2 of 5 developed, 2 running"). The window's progress bar reads the percentage
// and the picture's read-out shows the whole text; the console shows the text on its terminal.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace brimsal {

class UserChannel;

// The read-out of `percent` (0..100) with the step's `words`, if any.
std::string ProgressText(int percent, const std::string& words = "");
// The percentage a read-out starts with; -1 for a text that does not start with one.
int ProgressPercent(const std::string& text);

// A step's progress over `total` units of work (rows, bands, files...), done on any thread in any
// order: the read-out is shown each time the whole percentage rises, below 100 until Finish says
// "100%". A total below 1 shows only Finish's read-out.
class StepProgress {
  public:
    StepProgress(UserChannel& channel, int64_t total) : channel_(channel), total_(total) {}

    // `units` more units are done.
    void Advance(int64_t units = 1);
    // The work is done: "100%".
    void Finish();

  private:
    UserChannel& channel_;
    const int64_t total_;
    int64_t done_ = 0;
    int shown_ = -1;
    std::mutex mutex_;
};

}  // namespace brimsal
