#include "blend/BlendMap.h"

#include <cmath>

#include "base/NumberText.h"
#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/UserChannel.h"
#include "image/Picture.h"
#include "maps/MapState.h"

namespace brimsal {

namespace {

constexpr int64_t kPixelsPerChunk = 1 << 20;
constexpr double kThousandths = 1000.0;
constexpr double kTenths = 10.0;

// A percentage with one decimal: Round(fraction x 1000) / 10, halves to even.
double PercentOneDecimal(double fraction) {
    return RoundHalfEven(fraction * kThousandths) / kTenths;
}

}  // namespace

LevelTable DecodeLevels(const std::array<float, 256>& index_by_level, int n) {
    LevelTable table{};
    for (size_t level = 0; level < table.size(); ++level) {
        LevelEntry& entry = table[level];
        const float m = index_by_level[level];
        entry.m = m;
        // The negated test also refuses a NaN.
        if (!(m >= 1.0f && m <= static_cast<float>(n))) {
            continue;
        }
        entry.valid = true;
        entry.k = static_cast<int>(std::floor(m));
        entry.f = m - static_cast<float>(entry.k);
        entry.whole = entry.f == 0.0f;
    }
    return table;
}

LevelHistogram CountLevels(const uint8_t* levels, int64_t count, int threads) {
    std::vector<LevelHistogram> partials(static_cast<size_t>(NumChunks(count, kPixelsPerChunk)),
                                         LevelHistogram{});
    ParallelFor(
        count, kPixelsPerChunk,
        [&](int64_t chunk, int64_t begin, int64_t end) {
            LevelHistogram& partial = partials[static_cast<size_t>(chunk)];
            for (int64_t i = begin; i < end; ++i) {
                ++partial[levels[i]];
            }
        },
        threads);
    LevelHistogram total{};
    for (const auto& partial : partials) {
        for (size_t level = 0; level < total.size(); ++level) {
            total[level] += partial[level];
        }
    }
    return total;
}

MapContribution ComputeContributions(const LevelHistogram& histogram, const LevelTable& table,
                                     int n) {
    MapContribution result;
    result.Contribuciones.assign(static_cast<size_t>(n), 0.0);
    for (size_t level = 0; level < histogram.size(); ++level) {
        const int64_t pixels = histogram[level];
        if (pixels == 0) {
            continue;
        }
        const LevelEntry& entry = table[level];
        if (!entry.valid) {
            throw RunTimeError(kErrSubscript,
                               "Subscript out of range (map level " + std::to_string(level) +
                                   " stands for frame index " + NumberText(entry.m, ".") +
                                   ", the set has " + std::to_string(n) + " images)");
        }
        const auto k = static_cast<size_t>(entry.k - 1);
        const auto count = static_cast<double>(pixels);
        if (entry.whole) {
            result.Contribuciones[k] += count;
        } else {
            const double f = entry.f;
            result.Contribuciones[k] += count * (1.0 - f);
            result.Contribuciones[k + 1] += count * f;
            result.PixelesProgresivos += pixels;
        }
    }
    return result;
}

void RecordContributions(const MapContribution& contribution, int64_t total,
                         const std::vector<std::string>& files, UserChannel& channel) {
    const auto pixels = static_cast<double>(total);
    for (size_t i = 0; i < contribution.Contribuciones.size(); ++i) {
        const double p = PercentOneDecimal(contribution.Contribuciones[i] / pixels);
        channel.AnadirLog(NombreArchivo(files.at(i)) + ": " + NumberText(p) + "%", true);
    }
    const double genuine =
        PercentOneDecimal(1.0 - static_cast<double>(contribution.PixelesProgresivos) / pixels);
    channel.AnadirLog(NumberText(genuine) + "% genuine pixels", true);
}

namespace {

// The checks of a map of map_width x map_height that records the set size `recorded_frames` (null
// when it records none) against a set of width x height and n frames, with their log lines and
// boxes.
bool MapFits(int map_width, int map_height, const std::string* recorded_frames, int width,
             int height, int n, UserChannel& channel) {
    if (map_width != width || map_height != height) {
        channel.AnadirLog("Map dimensions mismatch", true);
        channel.AnadirLog("DONE", true);
        channel.MensajeError("Map dimensions do not match image dimensions");
        return false;
    }
    if (recorded_frames != nullptr && *recorded_frames != std::to_string(n)) {
        channel.AnadirLog("Map built for " + *recorded_frames + " images", true);
        channel.AnadirLog("DONE", true);
        channel.MensajeError("The map was built for a set of " + *recorded_frames +
                             " images; this set has " + std::to_string(n) +
                             ". Build the map again.");
        return false;
    }
    return true;
}

}  // namespace

bool LoadCheckedMap(const std::string& ruta, int width, int height, int n, Picture& map,
                    UserChannel& channel) {
    if (!ExisteArchivo(ruta)) {
        throw RunTimeError(kErrFileNotFound, "File not found: '" + ruta + "'");
    }
    const PictureHeader header = Picture::ReadHeader(ruta);
    const auto recorded_frames = header.texts.find(kMapFramesKey);
    if (!MapFits(header.width, header.height,
                 recorded_frames != header.texts.end() ? &recorded_frames->second : nullptr, width,
                 height, n, channel)) {
        map = Picture();
        return false;
    }
    map.LoadFromFile(ruta);
    if (!MapFits(map.GetWidth(), map.GetHeight(), nullptr, width, height, n, channel)) {
        map = Picture();
        return false;
    }
    return true;
}

std::shared_ptr<const std::vector<uint8_t>> MapLevels(const MapState& state, int width, int height,
                                                      int n, Picture& map, UserChannel& channel) {
    const std::optional<BuiltMap>& built = state.built;
    if (built && built->ruta == state.map_path && StampOf(state.map_path) == built->stamp) {
        const std::string recorded_frames = std::to_string(built->images);
        if (!MapFits(built->header.width, built->header.height, &recorded_frames, width, height, n,
                     channel)) {
            return nullptr;
        }
        return built->levels;
    }
    if (!LoadCheckedMap(state.map_path, width, height, n, map, channel)) {
        return nullptr;
    }
    auto levels = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(width) * height);
    map.GetRedSamples(levels->data());
    return levels;
}

}  // namespace brimsal
