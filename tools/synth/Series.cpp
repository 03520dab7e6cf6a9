#include "Series.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <stdexcept>

#include "DngWriter.h"
#include "RadianceTiff.h"
#include "Random.h"
#include "Scene.h"
#include "Sensor.h"
#include "base/Parallel.h"

namespace brimsal::synth {

namespace {

constexpr int kBandRows = 64;  // rows made at once: a multiple of the radiance TIFF's strip
constexpr uint64_t kShuffleStream = 0x5348554646ULL;
constexpr const char* kMake = "Brimsal";
constexpr const char* kModel = "Synthetic Bayer 16";
constexpr const char* kMixingModel = "Synthetic Bayer 16 mixing";

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

std::vector<int> ShuffledNameIndices(int frames, uint64_t seed) {
    std::vector<int> order(static_cast<size_t>(frames));
    std::iota(order.begin(), order.end(), 1);
    if (frames < 2) {
        return order;
    }
    std::vector<int> reverse(order.rbegin(), order.rend());
    if (frames == 2) {
        return reverse;
    }
    const std::vector<int> identity = order;
    Rng rng(seed, kShuffleStream, 0);
    do {
        for (int i = frames - 1; i > 0; --i) {
            const auto j = static_cast<int>(rng.Next() % static_cast<uint64_t>(i + 1));
            std::swap(order[static_cast<size_t>(i)], order[static_cast<size_t>(j)]);
        }
    } while (order == identity || order == reverse);
    return order;
}

std::string FrameFileName(const std::string& base_name, int name_index) {
    const std::string digits = std::to_string(name_index);
    return base_name + "_" + (digits.size() < 2 ? "0" : "") + digits + ".dng";
}

std::string CheckSettings(const SeriesSettings& s) {
    if (s.width < kMinSide || s.width > kMaxSide || s.height < kMinSide || s.height > kMaxSide ||
        s.width % 2 != 0 || s.height % 2 != 0) {
        return "the size must be even and " + std::to_string(kMinSide) + " to " +
               std::to_string(kMaxSide) + " pixels a side";
    }
    if (static_cast<uint64_t>(s.width) * s.height * 2 > 0xF0000000ULL) {
        return "the picture is too large for one DNG strip";
    }
    if (s.frames < 1 || s.frames > kMaxFrames) {
        return "the frame count must be 1 to " + std::to_string(kMaxFrames);
    }
    if (!(s.ev_step > 0) || s.ev_step * (s.frames - 1) > kMaxSpanEv) {
        return "the EV step must be above 0 and the series span at most " +
               std::to_string(static_cast<int>(kMaxSpanEv)) + " EV";
    }
    if (s.base_name.empty() || s.base_name.find('/') != std::string::npos) {
        return "the base name must be a plain file name";
    }
    return "";
}

SeriesResult WriteSeries(const SeriesSettings& settings) {
    if (const std::string problem = CheckSettings(settings); !problem.empty()) {
        throw std::invalid_argument(problem);
    }
    const int width = settings.width;
    const int height = settings.height;
    const Scene scene(width, height, settings.seed, settings.style);
    const std::vector<int> names = ShuffledNameIndices(settings.frames, settings.seed);

    SeriesResult result;
    std::vector<std::unique_ptr<DngWriter>> writers;
    for (int rank = 0; rank < settings.frames; ++rank) {
        WrittenFrame frame;
        frame.rank = rank;
        frame.exposure_factor = std::exp2(settings.ev_step * rank);
        frame.exposure_time = kDarkestExposureTime * frame.exposure_factor;
        frame.path = Join(settings.folder, FrameFileName(settings.base_name, names[rank]));
        DngInfo info;
        info.width = width;
        info.height = height;
        info.cfa_pattern = kCfaPattern;
        info.black_level = kBlackLevel;
        info.white_level = kWhiteLevel;
        info.color_matrix = ColorMatrixOf(settings.camera);
        info.as_shot_neutral = AsShotNeutral();
        info.exposure_time = frame.exposure_time;
        info.f_number = kFNumber;
        info.iso = kIsoSpeed;
        info.make = kMake;
        info.model = settings.camera == Camera::kMixing ? kMixingModel : kModel;
        info.software = "brimsal-synth";
        writers.push_back(std::make_unique<DngWriter>(frame.path, info));
        result.frames.push_back(frame);
    }
    std::unique_ptr<RadianceTiffWriter> radiance_writer;
    if (settings.radiance) {
        result.radiance_path = Join(settings.folder, settings.base_name + "_radiance.tif");
        radiance_writer = std::make_unique<RadianceTiffWriter>(result.radiance_path, width, height);
    }

    const size_t row_samples = static_cast<size_t>(width);
    std::vector<float> radiance(row_samples * 3 * kBandRows);
    std::vector<std::vector<uint16_t>> raw(static_cast<size_t>(settings.frames),
                                           std::vector<uint16_t>(row_samples * kBandRows));
    for (int band = 0; band < height; band += kBandRows) {
        const int rows = std::min(kBandRows, height - band);
        ParallelFor(
            rows, 1,
            [&](int64_t, int64_t begin, int64_t end) {
                for (auto r = static_cast<int>(begin); r < end; ++r) {
                    const int y = band + r;
                    float* light = radiance.data() + r * row_samples * 3;
                    scene.RadianceRow(y, light);
                    for (int rank = 0; rank < settings.frames; ++rank) {
                        Rng rng(settings.seed, static_cast<uint64_t>(rank) + 1,
                                static_cast<uint64_t>(y));
                        const double factor = result.frames[rank].exposure_factor;
                        uint16_t* out = raw[rank].data() + r * row_samples;
                        for (int x = 0; x < width; ++x) {
                            const int colour = BayerColour(x, y);
                            const double seen =
                                SeenRadiance(light + x * 3, colour, settings.camera);
                            out[x] = ExposeSample(MeanElectrons(seen, colour, factor), rng);
                        }
                    }
                }
            },
            settings.threads);
        for (int rank = 0; rank < settings.frames; ++rank) {
            writers[rank]->WriteRows(raw[rank].data(), rows);
        }
        if (radiance_writer) {
            radiance_writer->WriteRows(radiance.data(), rows);
        }
    }
    for (auto& writer : writers) {
        writer->Finish();
    }
    if (radiance_writer) {
        radiance_writer->Finish();
    }
    return result;
}

}  // namespace brimsal::synth
