// Fixtures made in code: temporary folders, synthetic frames, TIFFs written beside RAW names.
#pragma once

#include <unistd.h>

#include <gtest/gtest.h>
#include <algorithm>

#include <array>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "image/Frame.h"
#include "maps/ExposureSet.h"
#include "support/RecorderChannel.h"
#include "whitebalance/WBPatch.h"

namespace brimsal::test {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes. path() ends without "/"; file(name) joins.
class TempDir {
  public:
    TempDir() : path_((std::filesystem::temp_directory_path() / "brimsal-test-XXXXXX").string()) {
        if (::mkdtemp(path_.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// A frame filled by fn(x, y, channel) -> value.
inline Frame MakeFrame(int width, int height, const std::function<uint16_t(int, int, int)>& fn) {
    Frame frame(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                frame.at(x, y)[c] = fn(x, y, c);
            }
        }
    }
    return frame;
}

// A frame whose every pixel is (r, g, b).
inline Frame ConstantFrame(int width, int height, uint16_t r, uint16_t g, uint16_t b) {
    return MakeFrame(width, height, [&](int, int, int c) { return c == 0 ? r : c == 1 ? g : b; });
}

// A loaded set in memory: the frames (index 0 darkest) with TIFF names `prefix`1.tiff, ...
// (the files themselves are not written).
inline ExposureSet SetOf(std::vector<Frame> frames, const std::string& prefix) {
    ExposureSet set;
    set.AnchoImagen = frames.front().width;
    set.AltoImagen = frames.front().height;
    for (size_t i = 1; i <= frames.size(); ++i) {
        set.ArchivosTIFF.push_back(prefix + std::to_string(i) + ".tiff");
    }
    set.Imagenes = std::move(frames);
    set.TIFFsCargados = true;
    return set;
}

// Paths of the files of `folder` whose names start with `prefix` and end with `suffix`, sorted.
inline std::vector<std::string> FilesLike(const std::string& folder, const std::string& prefix,
                                          const std::string& suffix = "") {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && name.ends_with(suffix)) {
            found.push_back(entry.path().string());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The bytes of a file ("" when it cannot be read).
inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes bytes to a file; Touch writes an empty one (a stand-in RAW file).
inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}
inline void Touch(const std::string& path) {
    WriteBytes(path, {});
}

// Red over green and blue over green of the channel sums over `patch` on `frame`: how far from
// grey a balanced development leaves the patch.
inline std::pair<double, double> RedAndBlueOverGreen(const Frame& frame, const WBPatch& patch) {
    const SumasCanal sums = SumPatch(frame, patch);
    const double green = static_cast<double>(sums.g);
    return {static_cast<double>(sums.r) / green, static_cast<double>(sums.b) / green};
}

// LC_NUMERIC set to `name` for one scope, the previous one restored afterwards; available() is
// false when the system lacks the locale.
class NumericLocale {
  public:
    explicit NumericLocale(const char* name) {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        previous_ = current != nullptr ? current : "C";
        available_ = std::setlocale(LC_NUMERIC, name) != nullptr;
    }
    ~NumericLocale() { std::setlocale(LC_NUMERIC, previous_.c_str()); }
    NumericLocale(const NumericLocale&) = delete;
    NumericLocale& operator=(const NumericLocale&) = delete;
    bool available() const { return available_; }

  private:
    std::string previous_;
    bool available_ = false;
};

// The shared data folder (real camera RAW files), or "" when it is not there.
inline std::string SharedDataDir() {
    const char* env = std::getenv("BRIMSAL_SHARED_DATA");
    const std::string dir = env != nullptr ? env : "";
    return !dir.empty() && std::filesystem::is_directory(dir) ? dir : "";
}

// The shared real camera RAW (a colour chart). A test that needs it fails, naming what is missing,
// when it is not there (a silent skip would hide that the check never ran); the caller then ends
// the test (a return from its body, FAIL() in a fixture's SetUp).
inline std::string RealChart() {
    const std::string chart = SharedDataDir() + "/real/colorchart.dng";
    if (SharedDataDir().empty() || !std::filesystem::is_regular_file(chart)) {
        ADD_FAILURE()
            << "The shared real RAW 'real/colorchart.dng' is missing: BRIMSAL_SHARED_DATA ('"
            << (std::getenv("BRIMSAL_SHARED_DATA") ? std::getenv("BRIMSAL_SHARED_DATA") : "")
            << "') must name the folder that holds it (../shared/data beside the "
               "repository; tests/CMakeLists.txt sets it)";
        return {};
    }
    return chart;
}

// "TITLE: text" of the one box a channel showed, or "<n boxes>" when it showed none or several.
inline std::string OnlyBox(const RecorderChannel& channel) {
    auto boxes = channel.boxes();  // pieces appended: a + b + c warns falsely in GCC 12 Release
    if (boxes.size() != 1) {
        return std::string("<").append(std::to_string(boxes.size())).append(" boxes>");
    }
    return boxes[0].title.append(": ").append(boxes[0].text);
}

}  // namespace brimsal::test
