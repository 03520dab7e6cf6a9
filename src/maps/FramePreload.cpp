#include "maps/FramePreload.h"

#include <system_error>
#include <utility>

#include "base/Parallel.h"
#include "image/TiffIO.h"

namespace brimsal {

std::optional<FileStamp> StampOf(const std::string& path) {
    std::error_code error;
    FileStamp stamp;
    stamp.size = std::filesystem::file_size(path, error);
    if (error) {
        return std::nullopt;
    }
    stamp.written = std::filesystem::last_write_time(path, error);
    if (error) {
        return std::nullopt;
    }
    return stamp;
}

uint64_t SumRGB(const Frame& frame) {
    uint64_t sum = 0;
    for (const uint16_t sample : frame.pixels) {
        sum += sample;
    }
    return sum;
}

FramePreloader::FramePreloader() : worker_([this] { Work(); }) {}

FramePreloader::~FramePreloader() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void FramePreloader::Submit(const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        entries_[path] = Entry{};
        queue_.push_back(path);
    }
    changed_.notify_all();
}

std::optional<SummedFrame> FramePreloader::Take(const std::string& path) {
    std::unique_lock lock(mutex_);
    auto found = entries_.find(path);
    if (found == entries_.end()) {
        return std::nullopt;
    }
    changed_.wait(lock, [&] { return found->second.state != Entry::State::kReading; });
    Entry entry = std::move(found->second);
    entries_.erase(found);
    lock.unlock();
    if (entry.state != Entry::State::kRead || !entry.stamp || StampOf(path) != entry.stamp) {
        return std::nullopt;
    }
    return std::move(entry.loaded);
}

void FramePreloader::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_) {
            return;
        }
        const std::string path = std::move(queue_.front());
        queue_.pop_front();
        auto found = entries_.find(path);
        if (found == entries_.end() || found->second.state != Entry::State::kQueued) {
            continue;  // taken (or queued again) meanwhile
        }
        found->second.state = Entry::State::kReading;
        lock.unlock();
        Entry read;
        read.state = Entry::State::kFailed;
        try {
            // The stamp is taken first: a file rewritten while being read no longer matches.
            read.stamp = StampOf(path);
            if (read.stamp) {
                read.loaded.frame = ReadTiff(path);
                ClearUpperVectorState();
                read.loaded.rgb_sum = SumRGB(read.loaded.frame);
                read.state = Entry::State::kRead;
            }
        } catch (const std::exception&) {
            read = Entry{};
            read.state = Entry::State::kFailed;  // the load reads it again and reports it
        }
        lock.lock();
        found = entries_.find(path);
        if (found != entries_.end()) {
            found->second = std::move(read);
        }
        changed_.notify_all();
    }
}

}  // namespace brimsal
