#include "base/Progress.h"

#include <cctype>

#include "base/UserChannel.h"

namespace brimsal {

namespace {
constexpr int kWhole = 100;
}  // namespace

std::string ProgressText(int percent, const std::string& words) {
    std::string text = std::to_string(percent) + "%";
    return words.empty() ? text : text + " " + words;
}

int ProgressPercent(const std::string& text) {
    int percent = 0;
    size_t i = 0;
    for (; i < text.size() && i < 3 && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        percent = percent * 10 + (text[i] - '0');
    }
    const bool read = i > 0 && i < text.size() && text[i] == '%' && percent <= kWhole;
    return read ? percent : -1;
}

void StepProgress::Advance(int64_t units) {
    std::lock_guard lock(mutex_);
    done_ += units;
    if (total_ < 1) {
        return;
    }
    const int percent = static_cast<int>(done_ * kWhole / total_);
    if (percent > shown_ && percent < kWhole) {
        shown_ = percent;
        channel_.ShowProgress(ProgressText(percent));
    }
}

void StepProgress::Finish() {
    channel_.ShowProgress(ProgressText(kWhole));
}

}  // namespace brimsal
