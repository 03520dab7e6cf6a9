// Frames read while the development still runs: each TIFF is handed over as soon as its dcraw
// run ends, and one worker thread loads it and sums its samples (the absolute exposure the sort
// measures) while the other files develop. The load then takes the frames from here instead of
// reading them again.
//
// A frame is handed out only when its file is still the one that was read (same size and
// modification time); anything else (a file changed since, a read error, a path never handed
// over) is left to the load, which reads and reports as usual.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "image/Frame.h"

namespace brimsal {

// What tells whether a file is still the one read or written: its size and modification time.
struct FileStamp {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type written{};
    bool operator==(const FileStamp&) const = default;
};

// The stamp of `path` now; nullopt when the file cannot be examined.
std::optional<FileStamp> StampOf(const std::string& path);

// A frame with the sum of all its R, G and B samples.
struct SummedFrame {
    Frame frame;
    uint64_t rgb_sum = 0;
};

// The sum of all R, G and B samples of `frame` (exact in 64 bits).
uint64_t SumRGB(const Frame& frame);

class FramePreloader {
  public:
    FramePreloader();
    ~FramePreloader();  // waits for the frame being read, drops the rest
    FramePreloader(const FramePreloader&) = delete;
    FramePreloader& operator=(const FramePreloader&) = delete;

    // Queues `path` for reading (thread-safe).
    void Submit(const std::string& path);
    // The frame read from `path`, waiting while it is being read; empty when it was not
    // queued, is still waiting its turn (the caller reads it faster itself), could not be read or
    // has changed on disk since. Each frame is handed out once.
    std::optional<SummedFrame> Take(const std::string& path);

  private:
    struct Entry {
        enum class State { kQueued, kReading, kRead, kFailed } state = State::kQueued;
        SummedFrame loaded;
        std::optional<FileStamp> stamp;
    };
    void Work();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> queue_;
    std::map<std::string, Entry> entries_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace brimsal
