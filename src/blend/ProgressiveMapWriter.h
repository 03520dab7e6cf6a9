// The progressive map of a blend: the blending map with its genuine pixels painted red, a
// transition pixel keeping the map's own colour (as if read again and plotted), saved beside the
// map as its name + "_PB.png", never replacing a file.
//
// Painting and compressing it take as long as a third of the blend, so it is done on its own
// thread while the frames are blended. A map kept from Build map is painted row by row into the
// file (never whole in memory); a map read from a file is painted on the picture read. It never
// costs the outputs: a map that cannot be saved is a warning. A blend that fails or is cancelled
// stops it at once and removes its file.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "base/NewFiles.h"
#include "blend/BlendMap.h"
#include "image/Picture.h"
#include "image/PngRows.h"

namespace brimsal {

class UserChannel;

class ProgressiveMapWriter {
  public:
    ProgressiveMapWriter() = default;
    ~ProgressiveMapWriter() { Abandon(); }
    ProgressiveMapWriter(const ProgressiveMapWriter&) = delete;
    ProgressiveMapWriter& operator=(const ProgressiveMapWriter&) = delete;

    // Logs "Saving PNG progressive map as <name>..." and starts painting and saving: `map` when
    // it holds the picture read, else the levels of the map written with `header`. `levels`
    // must outlive this object.
    void Start(Picture map, const std::vector<uint8_t>& levels, PngRowsHeader header,
               const LevelTable& table, const LevelHistogram& histogram,
               const std::string& map_path, UserChannel& channel);

    // Waits until the file is saved. A failure is a warning: the outputs go on without it.
    void Wait(UserChannel& channel);

    // The blend is complete: the file stays.
    void Keep() { saved_ = false; }

  private:
    // Stops painting and compressing, and removes the file when it was already saved.
    void Abandon();
    void Join();
    void SaveByRows(const PngRowsHeader& header, const std::vector<uint8_t>& levels,
                    const LevelTable& table);
    void Paint(Picture& map, const std::vector<uint8_t>& levels, const LevelTable& table) const;

    std::thread thread_;
    std::atomic<bool> abandon_{false};
    NewFileName target_;
    std::string announced_;
    bool saved_ = false;
    std::string failure_;
};

}  // namespace brimsal
