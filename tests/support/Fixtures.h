// Fixtures made in code: temporary folders, synthetic frames, TIFFs written beside RAW names.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/RecorderChannel.h"
#include "image/Frame.h"
#include "maps/ExposureSet.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal::test {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes. path() ends without "/"; file(name) joins.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// A frame whose every pixel is (r, g, b).
Frame ConstantFrame(int width, int height, uint16_t r, uint16_t g, uint16_t b);
// A frame filled by fn(x, y, channel) -> value.
Frame MakeFrame(int width, int height, const std::function<uint16_t(int, int, int)>& fn);
// A loaded set in memory: the frames (index 0 darkest) with TIFF names `prefix`1.tiff, ...
// (the files themselves are not written).
ExposureSet SetOf(std::vector<Frame> frames, const std::string& prefix);
// The level table of Build map for a set of n frames, from its definition: n + (1 - n) x L / 255
// as a float, and every whole-frame level, nearest((k - n) x 255 / (1 - n)), exactly k.
std::array<float, 256> TablaIndicePorNivel(int n);
// Paths of the files of `folder` whose names start with `prefix` and end with `suffix`, sorted.
std::vector<std::string> FilesLike(const std::string& folder, const std::string& prefix,
                                   const std::string& suffix = "");
// The bytes of a file ("" when it cannot be read).
std::string FileBytes(const std::string& path);
// Writes an empty file (a stand-in RAW file).
void Touch(const std::string& path);
// Writes bytes to a file.
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Red over green and blue over green of the channel sums over `patch` on `frame`: how far from
// grey a balanced development leaves the patch.
std::pair<double, double> RedAndBlueOverGreen(const Frame& frame, const ParcheWB& patch);

// LC_NUMERIC set to `name` for one scope, the previous one restored afterwards; available() is
// false when the system lacks the locale.
class NumericLocale {
  public:
    explicit NumericLocale(const char* name);
    ~NumericLocale();
    NumericLocale(const NumericLocale&) = delete;
    NumericLocale& operator=(const NumericLocale&) = delete;
    bool available() const { return available_; }

  private:
    std::string previous_;
    bool available_ = false;
};

// The shared data folder (real camera RAW files), or "" when it is not there.
std::string SharedDataDir();

// "TITLE: text" of the one box a channel showed, or "<n boxes>" when it showed none or several.
std::string OnlyBox(const RecorderChannel& channel);

}  // namespace brimsal::test
