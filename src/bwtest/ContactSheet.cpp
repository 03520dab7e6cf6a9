#include "bwtest/ContactSheet.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/NewFiles.h"
#include "base/NumberText.h"
#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/Progress.h"
#include "base/UserChannel.h"
#include "blend/BlendMap.h"
#include "blend/BlendSettings.h"
#include "image/Picture.h"
#include "image/TiffIO.h"
#include "maps/MapState.h"

namespace brimsal {

namespace {

constexpr const char* kProcedure = "TestImagenesBN";
constexpr int kMaxGrey = 255;
constexpr double kPercent = kWholeMix;
constexpr int kCellsDrawn = 66;
constexpr int kLabelStep = 12;  // pixels between the three labels of a cell
constexpr int64_t kRowsPerChunk = 8;

// One decimated pixel: its map level and the two frames' words it may mix.
struct DecimatedSample {
    uint8_t level = 0;
    uint16_t c1[3] = {};  // frame k
    uint16_t c2[3] = {};  // frame k + 1 (transition pixels only)
};

// The red, green and blue weights of one cell, in percent.
struct CellWeights {
    int r = 0;
    int g = 0;
    int b = 0;
};

// The mixed value s of one decimated pixel. Genuine: the weighted sum in integers, then / 100
// and x ExpRelativas(k). Transition: each channel mixed with a = E(k)(1 - f) and b = E(k+1) f
// first, then weighted and / 100.
double MixValue(const DecimatedSample& sample, const LevelEntry& level,
                const std::vector<double>& exp_relativas, const CellWeights& weights) {
    const auto k = static_cast<size_t>(level.k - 1);
    const uint16_t* c1 = sample.c1;
    if (level.whole) {
        const int32_t sum = weights.r * c1[0] + weights.g * c1[1] + weights.b * c1[2];
        return static_cast<double>(sum) / kPercent * exp_relativas[k];
    }
    const uint16_t* c2 = sample.c2;
    const double f = level.f;
    const double a = exp_relativas[k] * (1.0 - f);
    const double b = exp_relativas[k + 1] * f;
    return (weights.r * (c1[0] * a + c2[0] * b) + weights.g * (c1[1] * a + c2[1] * b) +
            weights.b * (c1[2] * a + c2[2] * b)) /
           kPercent;
}

std::vector<DecimatedSample> Decimate(const std::vector<uint8_t>& levels, const LevelTable& table,
                                      const ExposureSet& set, const SheetSize& sheet) {
    std::vector<DecimatedSample> samples(static_cast<size_t>(sheet.cell_width) * sheet.cell_height);
    for (int yd = 0; yd < sheet.cell_height; ++yd) {
        for (int xd = 0; xd < sheet.cell_width; ++xd) {
            DecimatedSample& sample = samples[static_cast<size_t>(yd) * sheet.cell_width + xd];
            sample.level = levels[static_cast<size_t>(yd) * sheet.cell_width + xd];
            const LevelEntry& level = table[sample.level];
            const int x = kDecimation * xd;
            const int y = kDecimation * yd;
            const auto k = static_cast<size_t>(level.k - 1);
            std::copy_n(set.Imagenes[k].at(x, y), 3, sample.c1);
            if (!level.whole) {
                std::copy_n(set.Imagenes[k + 1].at(x, y), 3, sample.c2);
            }
        }
    }
    return samples;
}

void DrawCell(Picture& sheet_picture, const SheetSize& sheet, int i, int j,
              const CellWeights& weights, const std::vector<DecimatedSample>& samples,
              const LevelTable& table, const std::vector<double>& exp_relativas, int threads) {
    const int wd = sheet.cell_width;
    const int hd = sheet.cell_height;
    std::vector<uint8_t> greys(static_cast<size_t>(wd) * hd);
    ParallelFor(
        hd, kRowsPerChunk,
        [&](int64_t, int64_t begin, int64_t end) {
            for (int64_t yd = begin; yd < end; ++yd) {
                for (int xd = 0; xd < wd; ++xd) {
                    const size_t p = static_cast<size_t>(yd) * wd + xd;
                    const DecimatedSample& sample = samples[p];
                    const double s = MixValue(sample, table[sample.level], exp_relativas, weights);
                    greys[p] = static_cast<uint8_t>(SheetGreyLevel(s));
                }
            }
        },
        threads);
    const int x0 = (wd + 1) * i;
    const int y0 = (hd + 1) * j;
    for (int yd = 0; yd < hd; ++yd) {
        for (int xd = 0; xd < wd; ++xd) {
            const int grey = greys[static_cast<size_t>(yd) * wd + xd];
            sheet_picture.SetDrawColor(RGB(grey, grey, grey));
            sheet_picture.PlotPoint(x0 + xd, y0 + yd);
        }
    }
    sheet_picture.DrawTextAt("R=" + std::to_string(weights.r) + "%", x0 + 1, y0, kWhite);
    sheet_picture.DrawTextAt("G=" + std::to_string(weights.g) + "%", x0 + 1, y0 + kLabelStep,
                             kWhite);
    sheet_picture.DrawTextAt("B=" + std::to_string(weights.b) + "%", x0 + 1, y0 + 2 * kLabelStep,
                             kWhite);
}

int MakeSheet(const std::string& ruta, ExposureSet& set, const MapState& map_state,
              UserChannel& channel, int threads) {
    const int n = set.N();
    const int width = set.AnchoImagen;
    const int height = set.AltoImagen;
    channel.AnadirLog("Loading blending map...", false);
    if (n < 1 || set.ExpRelativas.size() != static_cast<size_t>(n) ||
        set.ArchivosTIFF.size() != static_cast<size_t>(n)) {
        throw RunTimeError(kErrSubscript, "Subscript out of range (the exposure set is not ready)");
    }
    const SheetSize sheet = SheetSizeOf(width, height);

    // Decimated map and its report.
    std::vector<uint8_t> levels(static_cast<size_t>(sheet.cell_width) * sheet.cell_height);
    {
        Picture map;
        if (!LoadCheckedMap(map_state.map_path, width, height, n, map, channel)) {
            return -1;
        }
        channel.AnadirLog("Decimating blending map to " + std::to_string(sheet.cell_width) + "x" +
                              std::to_string(sheet.cell_height) + "...",
                          true);
        for (int yd = 0; yd < sheet.cell_height; ++yd) {
            for (int xd = 0; xd < sheet.cell_width; ++xd) {
                levels[static_cast<size_t>(yd) * sheet.cell_width + xd] = static_cast<uint8_t>(
                    ByteBajo(map.GetPixelColor(kDecimation * xd, kDecimation * yd)));
            }
        }
    }
    const int64_t decimated = static_cast<int64_t>(sheet.cell_width) * sheet.cell_height;
    if (decimated == 0) {
        throw RunTimeError(kErrDivisionByZero, "Division by zero (the images are smaller than " +
                                                   std::to_string(kDecimation) + " pixels)");
    }
    const LevelTable table = DecodeLevels(map_state.IndicePorNivel, n);
    const MapContribution contribution =
        ComputeContributions(CountLevels(levels.data(), decimated, threads), table, n);
    channel.AnadirLog("Decimated image contribution...", true);
    RecordContributions(contribution, decimated, set.ArchivosTIFF, channel);

    // The darkest frame is never overwritten by a blend; loaded again only when released.
    channel.AnadirLog("\nGenerating B&W contact sheet...", true);
    Frame& darkest = set.Imagenes.front();
    if (darkest.empty() && !CargarGflBitmap(set.TIFFMasOscuro, darkest, channel)) {
        return -1;
    }
    for (size_t i = 0; i < set.Imagenes.size(); ++i) {
        if (set.Imagenes[i].width != width || set.Imagenes[i].height != height) {
            throw RunTimeError(kErrSubscript, "Subscript out of range (image " +
                                                  std::to_string(i + 1) +
                                                  " is not loaded with the set's size)");
        }
    }
    const std::vector<DecimatedSample> samples = Decimate(levels, table, set, sheet);

    Picture sheet_picture;
    sheet_picture.CreateBlank(sheet.width, sheet.height, kWhite);
    sheet_picture.SetFillColor(kBlack);
    sheet_picture.FillRectangle(0, 0, sheet.width, sheet.height);
    int cells = 0;
    for (int i = 0; i < kCellsPerSide; ++i) {
        for (int j = 0; j < kCellsPerSide; ++j) {
            const int green = kWholeMix - kMixWeights[static_cast<size_t>(i)] -
                              kMixWeights[static_cast<size_t>(j)];
            if (green < 0) {
                continue;
            }
            ThrowIfCancelled(channel);
            const CellWeights weights{kMixWeights[static_cast<size_t>(i)], green,
                                      kMixWeights[static_cast<size_t>(j)]};
            DrawCell(sheet_picture, sheet, i, j, weights, samples, table, set.ExpRelativas,
                     threads);
            ++cells;
            channel.ShowProgress(ProgressText(cells * kWholeMix / kCellsDrawn));
        }
    }

    NewFileName name = FirstFreeName(CarpetaDeRuta(ruta), "BWTest_" + TimeHHMMSS(), ".gif");
    sheet_picture.SetSaveFormat(SaveFormat::kGif);
    sheet_picture.SaveToFile(name);
    channel.AnadirLog("\nSaving B&W samples as " + name.name() + "...", true);
    channel.AnadirLog("DONE", true);
    channel.Beep();
    return 1;
}

}  // namespace

SheetSize SheetSizeOf(int width, int height) {
    SheetSize sheet;
    sheet.cell_width = width / kDecimation;
    sheet.cell_height = height / kDecimation;
    sheet.width = kCellsPerSide * sheet.cell_width + (kCellsPerSide - 1);
    sheet.height = kCellsPerSide * sheet.cell_height + (kCellsPerSide - 1);
    return sheet;
}

int SheetGreyLevel(double s) {
    const auto g = static_cast<float>(1.0 / kDisplayGamma);
    const double t = std::pow(s / kFullScale, static_cast<double>(g));
    const double grey = std::nearbyint(kMaxGrey * t);
    if (!(grey > 0.0)) {
        return 0;
    }
    return grey > kMaxGrey ? kMaxGrey : static_cast<int>(grey);
}

int TestImagenesBN(const std::string& ruta, ExposureSet& set, const MapState& map,
                   UserChannel& channel, int threads) {
    return TrapUnexpected(channel, kProcedure, -1,
                          [&] { return MakeSheet(ruta, set, map, channel, threads); });
}

}  // namespace brimsal
