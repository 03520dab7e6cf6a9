#include "maps/BlendingMap.h"

#include <cstring>
#include <memory>
#include <string>

#include "base/NewFiles.h"
#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/UserChannel.h"
#include "image/PngRows.h"
#include "maps/MapSettings.h"
#include "maps/MapState.h"
#include "maps/Thresholds.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

namespace {

constexpr int kLevels = 256;
constexpr int64_t kRowsPerChunk = 64;

void CheckSetSize(int n) {
    if (n < kMinMapFrames) {
        throw RunTimeError(kErrDivisionByZero, "Division by zero");
    }
    if (n > kMaxMapFrames) {
        throw RunTimeError(kErrOverflow, "Overflow");
    }
}

// Every pixel at the whole-frame level of its index (the map without a progressive pass).
MapPlane LevelsOfIndices(const MapPlane& indices, int n) {
    std::array<uint8_t, kLevels> level{};
    for (int k = 1; k <= n; ++k) {
        level[static_cast<size_t>(k)] = MapLevel(k, n);
    }
    MapPlane levels(indices.width, indices.height);
    for (size_t i = 0; i < indices.data.size(); ++i) {
        levels.data[i] = level[indices.data[i]];
    }
    return levels;
}

}  // namespace

std::array<float, 256> BuildIndicePorNivel(int n) {
    CheckSetSize(n);
    std::array<float, kLevels> table{};
    for (int level = 0; level < kLevels; ++level) {
        table[static_cast<size_t>(level)] =
            static_cast<float>(n + static_cast<double>(1 - n) * level / 255);
    }
    // The level of a whole frame must read back as exactly that frame.
    for (int k = 1; k <= n; ++k) {
        table[MapLevel(k, n)] = static_cast<float>(k);
    }
    return table;
}

PngRowsHeader MapHeader(int width, int height, int n) {
    PngRowsHeader header = NewPngHeader(width, height, PngColour::kGrey);
    // The blend refuses the map for a set of another size: its levels would name other frames.
    header.texts[kMapFramesKey] = std::to_string(n);
    return header;
}

MapPlane IndexMap(const ExposureSet& set, const CameraClip& usable, int threads) {
    const int n = set.N();
    const int w = set.AnchoImagen;
    const int h = set.AltoImagen;
    MapPlane indices(w, h);
    ParallelFor(
        h, kRowsPerChunk,
        [&](int64_t, int64_t begin, int64_t end) {
            for (int y = static_cast<int>(begin); y < static_cast<int>(end); ++y) {
                uint8_t* out = indices.row(y);
                for (int x = 0; x < w; ++x) {
                    // Brightest first; frame 1 is taken without a test.
                    int k = n;
                    while (k > 1) {
                        if (usable.Within(set.Imagenes[static_cast<size_t>(k - 1)].at(x, y))) {
                            break;
                        }
                        --k;
                    }
                    out[x] = static_cast<uint8_t>(k);
                }
            }
        },
        threads);
    return indices;
}

bool GenerarMapa(const std::string& ruta, const MapSettings& settings,
                 const WhiteBalanceSettings& wb, const ExposureSet& set, MapState& map,
                 UserChannel& channel, int threads) {
    const std::array<int32_t, 3> previous_thresholds = map.Umbrales;
    const std::array<float, 256> previous_table = map.IndicePorNivel;
    const auto build = [&] {
        const int n = set.N();
        CheckSetSize(n);
        for (size_t i = 1; i < set.Imagenes.size(); ++i) {
            const Frame& frame = set.Imagenes[i];
            if (frame.width != set.AnchoImagen || frame.height != set.AltoImagen || frame.empty()) {
                throw RunTimeError(kErrSubscript, "Subscript out of range");
            }
        }

        channel.AnadirLog("Threshold optimisation...", false);
        const std::array<int32_t, 3> thresholds = OptimizarUmbrales(settings, wb);
        map.Umbrales = thresholds;
        channel.AnadirLog("R: " + std::to_string(thresholds[0]) +
                              "\nG: " + std::to_string(thresholds[1]) +
                              "\nB: " + std::to_string(thresholds[2]),
                          true);

        channel.AnadirLog("\nBuilding pixel map...", true);
        MapPlane indices = IndexMap(set, CameraClip(thresholds, settings.scale.colours), threads);

        // The darker zones grow by the progressive radius too, so that the progressive
        // transition lies wholly where the brighter frame was valid.
        const int radio_antighost = settings.antighost + settings.progressive;
        if (radio_antighost >= 1) {
            channel.AnadirLog("Building anti ghosting map (" + std::to_string(settings.antighost) +
                                  "+" + std::to_string(settings.progressive) + "px) ...",
                              true);
            indices = AntiGhostPass(indices, radio_antighost, channel, threads);
        }
        MapPlane level_plane;
        if (settings.progressive >= 1) {
            channel.AnadirLog(
                "Building progressive map (" + std::to_string(settings.progressive) + "px) ...",
                true);
            level_plane = ProgressivePass(indices, n, settings.progressive, channel, threads);
        } else {
            level_plane = LevelsOfIndices(indices, n);
        }
        indices = MapPlane();
        // The table is the last map built: a file that then cannot be written does not undo it.
        map.IndicePorNivel = BuildIndicePorNivel(n);

        channel.AnadirLog("Generating PNG map...", true);
        // The levels go to the file row by row and stay in memory for the blend.
        auto levels = std::make_shared<const std::vector<uint8_t>>(std::move(level_plane.data));
        NewFileName file = FirstFreeName(CarpetaDeRuta(ruta), "Map_" + TimeHHMMSS(), ".png");
        const PngRowsHeader header = MapHeader(set.AnchoImagen, set.AltoImagen, n);
        SavePngByRows(
            header,
            [&](int y, uint8_t* row) {
                std::memcpy(row, levels->data() + static_cast<size_t>(y) * set.AnchoImagen,
                            static_cast<size_t>(set.AnchoImagen));
            },
            file);
        channel.AnadirLog("\nSaving PNG map as " + file.name() + "...", true);

        map.map_path = file.path();
        map.built.reset();
        if (const std::optional<FileStamp> stamp = StampOf(file.path())) {
            map.built = BuiltMap{header, n, std::move(levels), file.path(), *stamp};
        }
        channel.AnadirLog("DONE", true);
        channel.Beep();
        return true;
    };
    const auto restore = [&] {
        map.Umbrales = previous_thresholds;
        map.IndicePorNivel = previous_table;
    };
    return TrapUnexpected(channel, "GenerarMapa", false, build, {.on_cancel = restore});
}

}  // namespace brimsal
