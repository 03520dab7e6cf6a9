#include "develop/OutputColours.h"

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <system_error>
#include <vector>

#include "base/Paths.h"
#include "base/UserChannel.h"
#include "develop/DcrawCommand.h"
#include "develop/DcrawProcess.h"
#include "image/TiffIO.h"

namespace brimsal {

namespace {

namespace fs = std::filesystem;

constexpr int64_t kFewestPixels = 1000;
constexpr double kNearIdentity = 1e-3;
constexpr double kLargestResidual = 1.0;  // words, root mean square

// A folder of the system's temporary folder, removed with what it holds when the object goes.
class ScratchFolder {
  public:
    ScratchFolder() : path_((fs::temp_directory_path() / "brimsal-colours-XXXXXX").string()) {
        if (::mkdtemp(path_.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "temporary folder");
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// The value of the last -o of a dcraw argument list: the one dcraw goes by.
std::string LastProfile(const std::vector<std::string>& arguments) {
    std::string profile;
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "-o") {
            profile = arguments[i + 1];
        }
    }
    return profile;
}

bool Unclipped(const uint16_t* pixel) {
    return std::all_of(pixel, pixel + 3, [](uint16_t v) { return v > 0 && v < kFullScale; });
}

// dcraw truncates each output channel: its value before the truncation is the word + 0.5 on
// average.
double Untruncated(uint16_t word) {
    return word + 0.5;
}

}  // namespace

std::optional<ColourMatrix> FitOutputColours(const Frame& camera, const Frame& output) {
    if (camera.empty() || camera.width != output.width || camera.height != output.height) {
        return std::nullopt;
    }
    // Integer sums: exact, whatever the order. gram = sum of q q', cross row j = sum of
    // (2 o_j + 1) q.
    std::array<int64_t, 9> gram{};
    std::array<int64_t, 9> cross{};
    int64_t count = 0;
    const size_t pixels = static_cast<size_t>(camera.width) * camera.height;
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t* q = camera.pixels.data() + 3 * i;
        const uint16_t* o = output.pixels.data() + 3 * i;
        if (!Unclipped(o)) {
            continue;
        }
        ++count;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                gram[3 * r + c] += int64_t{q[r]} * q[c];
                cross[3 * r + c] += (2 * int64_t{o[r]} + 1) * q[c];
            }
        }
    }
    if (count < kFewestPixels) {
        return std::nullopt;
    }
    ColourMatrix gram_matrix{};
    std::transform(gram.begin(), gram.end(), gram_matrix.begin(),
                   [](int64_t v) { return static_cast<double>(v); });
    const std::optional<ColourMatrix> spread = InverseColours(gram_matrix);
    if (!spread) {
        return std::nullopt;
    }
    ColourMatrix colours{};
    for (int r = 0; r < 3; ++r) {
        const double row[3] = {cross[3 * r] / 2.0, cross[3 * r + 1] / 2.0, cross[3 * r + 2] / 2.0};
        ApplyColours(*spread, row, colours.data() + 3 * r);  // the Gram matrix is symmetric
    }
    double squares = 0;
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t* q = camera.pixels.data() + 3 * i;
        const uint16_t* o = output.pixels.data() + 3 * i;
        if (!Unclipped(o)) {
            continue;
        }
        const double in[3] = {double(q[0]), double(q[1]), double(q[2])};
        double fitted[3];
        ApplyColours(colours, in, fitted);
        for (int r = 0; r < 3; ++r) {
            squares += (Untruncated(o[r]) - fitted[r]) * (Untruncated(o[r]) - fitted[r]);
        }
    }
    if (std::sqrt(squares / (3.0 * static_cast<double>(count))) > kLargestResidual) {
        return std::nullopt;
    }
    for (size_t i = 0; i < colours.size(); ++i) {
        if (std::fabs(colours[i] - kIdentityColours[i]) > kNearIdentity) {
            return colours;
        }
    }
    return kIdentityColours;
}

MeasuredColours MeasureOutputColours(const std::string& raw_path, const DevelopSettings& settings,
                                     UserChannel& channel) {
    const std::vector<std::string> common = ComandoDCRAW(settings, true, false);
    if (LastProfile(common) == "0") {
        return {kIdentityColours, ""};
    }
    const std::optional<std::string> program = FindDcraw(DcrawSearchPath());
    if (!program) {
        return {std::nullopt, "dcraw not found"};
    }
    if (!ExisteArchivo(raw_path)) {
        return {std::nullopt, "'" + raw_path + "' not found"};
    }
    try {
        const ScratchFolder scratch;
        const std::string extension = "." + ExtensionArchivo(raw_path);
        const fs::path raw = fs::absolute(raw_path);
        std::vector<DcrawJob> jobs;
        for (const char* name : {"output", "camera"}) {
            const std::string link = scratch.file(name + extension);
            fs::create_symlink(raw, link);
            DcrawJob job{common, TiffPathOf(link)};
            if (jobs.size() == 1) {
                job.arguments.insert(job.arguments.end(), {"-o", "0"});  // raw colour wins
            }
            job.arguments.push_back(link);
            jobs.push_back(std::move(job));
        }
        for (const DcrawResult& result : RunDcraw(*program, jobs, 2, channel)) {
            if (!result.Done()) {
                return {std::nullopt, result.Reason()};
            }
        }
        const std::optional<ColourMatrix> colours =
            FitOutputColours(ReadTiff(jobs[1].tiff), ReadTiff(jobs[0].tiff));
        if (!colours) {
            return {std::nullopt, "the developments tell no colour matrix"};
        }
        return {colours, ""};
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception& error) {
        return {std::nullopt, error.what()};
    }
}

}  // namespace brimsal
