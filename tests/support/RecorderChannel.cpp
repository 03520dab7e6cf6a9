#include "support/RecorderChannel.h"

#include <algorithm>

namespace brimsal {

void RecorderChannel::AnadirLog(const std::string& line, bool append) {
    std::lock_guard lock(mutex_);
    if (!append) {
        log_.clear();
    }
    log_.push_back(line);
    all_.push_back(line);
}

void RecorderChannel::MostrarLineaDCRAW(const std::string& line) {
    std::lock_guard lock(mutex_);
    dcraw_ = line;
}

void RecorderChannel::MensajeAviso(const std::string& text) {
    std::lock_guard lock(mutex_);
    boxes_.push_back({"WARNING", text});
}

void RecorderChannel::MensajeError(const std::string& text) {
    std::lock_guard lock(mutex_);
    boxes_.push_back({"ERROR", text});
}

void RecorderChannel::ShowProgress(const std::string& text) {
    std::lock_guard lock(mutex_);
    progress_.push_back(text);
    if (cancel_after_progress_ >= 0 &&
        static_cast<int>(progress_.size()) >= cancel_after_progress_) {
        cancel_ = true;
    }
}

void RecorderChannel::Beep() {
    std::lock_guard lock(mutex_);
    ++beeps_;
}

std::vector<std::string> RecorderChannel::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

std::vector<std::string> RecorderChannel::allLines() const {
    std::lock_guard lock(mutex_);
    return all_;
}

std::vector<RecorderChannel::Box> RecorderChannel::boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

std::vector<std::string> RecorderChannel::progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

std::string RecorderChannel::dcrawLine() const {
    std::lock_guard lock(mutex_);
    return dcraw_;
}

int RecorderChannel::beeps() const {
    std::lock_guard lock(mutex_);
    return beeps_;
}

bool RecorderChannel::logContains(const std::string& line) const {
    std::lock_guard lock(mutex_);
    return std::find(all_.begin(), all_.end(), line) != all_.end();
}

void RecorderChannel::clear() {
    std::lock_guard lock(mutex_);
    log_.clear();
    all_.clear();
    boxes_.clear();
    progress_.clear();
    dcraw_.clear();
    beeps_ = 0;
    cancel_after_progress_ = -1;
    cancel_ = false;
}

}  // namespace brimsal
