// Headroom development measured against the known radiance. A brimsal-synth series whose bright
// areas are strongly red and blue (--scene warm) goes through brimsal-cli in the normal road and
// with --headroom at thresholds 90 and 99, and through hdrmerge (the raw-domain merge), whose
// merged DNG is developed by the same dcraw with the same settings. For each result the SNR per
// luminance band of the radiance is printed side by side, per seed and as medians over the seeds.
// --camera mixing takes the camera whose colour matrix mixes the channels (sRGB output then mixes
// them back), --scene lamps adds lamps clipped in every frame.
//
// Usage: bench_headroom [--size WxH] [--seeds N] [--camera diagonal|mixing]
//                       [--scene warm|lamps] [--keep DIR]
// Needs dcraw and hdrmerge on PATH (hdrmerge runs with QT_QPA_PLATFORM=offscreen).
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "DngWriter.h"
#include "RadianceTiff.h"
#include "Scene.h"
#include "Sensor.h"
#include "Series.h"
#include "image/TiffIO.h"

namespace {

namespace fs = std::filesystem;
using namespace brimsal;

// Luminance bands in EV below the window's brightest channel (radiance 1.0).
constexpr std::array<int, 6> kBandEdges = {-15, -12, -9, -6, -3, 0};
constexpr int kBands = static_cast<int>(kBandEdges.size()) - 1;
// A pixel counts when its radiance is smooth around it (demosaic error on edges is the same for
// every method and would only blur the comparison).
constexpr double kSmooth = 0.03;
constexpr int kBorder = 8;
constexpr const char* kDaylight = "-r 2.132483 1 1.480864 1";

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("failed: " + command);
    }
}

std::string OnlyFile(const fs::path& folder, const std::string& prefix) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && entry.path().extension() == ".tif") {
            return entry.path().string();
        }
    }
    throw std::runtime_error("no " + prefix + "*.tif in " + folder.string());
}

// A copy of the series' DNGs in `folder`.
void CopySeries(const synth::SeriesResult& series, const fs::path& folder) {
    fs::create_directories(folder);
    for (const auto& frame : series.frames) {
        fs::copy_file(frame.path, folder / fs::path(frame.path).filename(),
                      fs::copy_options::overwrite_existing);
    }
}

Frame Brimsal(const std::string& cli, const synth::SeriesResult& series, const fs::path& folder,
              const std::string& options) {
    CopySeries(series, folder);
    const std::string reference = (folder / fs::path(series.frames[0].path).filename()).string();
    Run(cli + " --gamma 1 " + options + " " + reference + " > " + (folder / "log.txt").string() +
        " 2>&1");
    return ReadTiff(OnlyFile(folder, "BR_"));
}

// The raw CFA plane of hdrmerge's floating-point DNG: Deflate tiles with DNG's floating-point
// predictor "X2" (code 34894: byte planes, most significant first, each byte differenced with
// the one two places before it along the row), which libtiff does not undo.
constexpr size_t kPredictorStride = 2;
std::vector<float> ReadMergedRaw(const std::string& path, int& width, int& height) {
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr) {
        throw std::runtime_error("cannot open " + path);
    }
    toff_t* subifds = nullptr;
    uint16_t count = 0;
    if (!TIFFGetField(tiff, TIFFTAG_SUBIFD, &count, &subifds) || count == 0 ||
        !TIFFSetSubDirectory(tiff, subifds[0])) {
        TIFFClose(tiff);
        throw std::runtime_error("no raw image in " + path);
    }
    uint32_t w = 0, h = 0, tile_w = 0, tile_h = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tile_w);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tile_h);
    std::vector<float> plane(static_cast<size_t>(w) * h);
    std::vector<uint8_t> packed(static_cast<size_t>(tile_w) * tile_h * 4 * 2);
    std::vector<uint8_t> bytes(static_cast<size_t>(tile_w) * tile_h * 4);
    for (uint32_t ty = 0; ty < h; ty += tile_h) {
        for (uint32_t tx = 0; tx < w; tx += tile_w) {
            const uint32_t tile = TIFFComputeTile(tiff, tx, ty, 0, 0);
            const tmsize_t got =
                TIFFReadRawTile(tiff, tile, packed.data(), static_cast<tmsize_t>(packed.size()));
            uLongf size = static_cast<uLongf>(bytes.size());
            if (got <= 0 ||
                uncompress(bytes.data(), &size, packed.data(), static_cast<uLong>(got)) != Z_OK) {
                TIFFClose(tiff);
                throw std::runtime_error("cannot inflate a tile of " + path);
            }
            const size_t row_bytes = static_cast<size_t>(tile_w) * 4;
            for (uint32_t r = 0; r < tile_h && ty + r < h; ++r) {
                uint8_t* row = bytes.data() + r * row_bytes;
                for (size_t i = kPredictorStride; i < row_bytes; ++i) {
                    row[i] = static_cast<uint8_t>(row[i] + row[i - kPredictorStride]);
                }
                for (uint32_t x = 0; x < tile_w && tx + x < w; ++x) {
                    const uint32_t word =
                        (uint32_t{row[x]} << 24) | (uint32_t{row[x + tile_w]} << 16) |
                        (uint32_t{row[x + 2 * tile_w]} << 8) | uint32_t{row[x + 3 * tile_w]};
                    float value;
                    std::memcpy(&value, &word, sizeof value);
                    plane[static_cast<size_t>(ty + r) * w + tx + x] = value;
                }
            }
        }
    }
    TIFFClose(tiff);
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return plane;
}

// hdrmerge, then its merged raw as a 16-bit DNG (the raw scale kept, rounded) that dcraw reads,
// developed as brimsal-cli develops.
Frame HdrMerge(const synth::SeriesResult& series, synth::Camera camera, const fs::path& folder) {
    CopySeries(series, folder);
    std::string files;
    for (const auto& frame : series.frames) {
        files += ' ';
        files += (folder / fs::path(frame.path).filename()).string();
    }
    const std::string merged = (folder / "merged.dng").string();
    Run("QT_QPA_PLATFORM=offscreen hdrmerge -b 32 --no-align --no-crop -p none -o " + merged +
        files + " > " + (folder / "log.txt").string() + " 2>&1");
    int width = 0, height = 0;
    const std::vector<float> raw = ReadMergedRaw(merged, width, height);
    synth::DngInfo info;
    info.width = width;
    info.height = height;
    info.cfa_pattern = synth::kCfaPattern;
    info.black_level = synth::kBlackLevel;
    info.white_level = synth::kWhiteLevel;
    info.color_matrix = synth::ColorMatrixOf(camera);
    info.as_shot_neutral = synth::AsShotNeutral();
    info.exposure_time = synth::kDarkestExposureTime;
    info.make = "Brimsal";
    info.model = "Synthetic Bayer 16";
    const std::string dng = (folder / "merged16.dng").string();
    {
        synth::DngWriter writer(dng, info);
        std::vector<uint16_t> row(static_cast<size_t>(width));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const double v = std::nearbyint(raw[static_cast<size_t>(y) * width + x]);
                row[static_cast<size_t>(x)] = static_cast<uint16_t>(std::clamp(v, 0.0, 65535.0));
            }
            writer.WriteRows(row.data(), 1);
        }
        writer.Finish();
    }
    Run(std::string("dcraw -4 -T ") + kDaylight + " -q 3 -o 1 " + dng + " >> " +
        (folder / "log.txt").string() + " 2>&1");
    return ReadTiff((folder / "merged16.tiff").string());
}

// SNR in dB per band: the output against the radiance times one scale fitted over the counted
// pixels below the top band (least squares), so that every method is judged on its noise and its
// errors between frames, not on its overall level.
std::array<double, kBands> SnrPerBand(const Frame& out, const synth::RadianceImage& radiance) {
    std::vector<std::array<double, 3>> refs;
    std::vector<std::array<double, 3>> outs;
    std::vector<int> bands;
    for (int y = kBorder; y < radiance.height - kBorder; ++y) {
        for (int x = kBorder; x < radiance.width - kBorder; ++x) {
            const float* r = radiance.at(x, y);
            bool smooth = true;
            for (int dy = -1; dy <= 1 && smooth; ++dy) {
                for (int dx = -1; dx <= 1 && smooth; ++dx) {
                    const float* n = radiance.at(x + dx, y + dy);
                    for (int c = 0; c < 3; ++c) {
                        smooth = smooth && std::fabs(n[c] - r[c]) <= kSmooth * r[c];
                    }
                }
            }
            const double ev = std::log2(0.2126 * r[0] + 0.7152 * r[1] + 0.0722 * r[2]);
            if (!smooth || ev < kBandEdges.front() || ev >= kBandEdges.back()) {
                continue;
            }
            int band = 0;
            while (ev >= kBandEdges[static_cast<size_t>(band) + 1]) {
                ++band;
            }
            const uint16_t* o = out.at(x, y);
            refs.push_back({r[0], r[1], r[2]});
            outs.push_back({double(o[0]), double(o[1]), double(o[2])});
            bands.push_back(band);
        }
    }
    double cross = 0, square = 0;
    for (size_t i = 0; i < refs.size(); ++i) {
        if (bands[i] == kBands - 1) {
            continue;  // the top band may clip (16-bit outputs), which would bias the scale
        }
        for (int c = 0; c < 3; ++c) {
            cross += outs[i][c] * refs[i][c];
            square += refs[i][c] * refs[i][c];
        }
    }
    const double scale = cross / square;
    std::array<double, kBands> signal{}, noise{}, snr{};
    for (size_t i = 0; i < refs.size(); ++i) {
        for (int c = 0; c < 3; ++c) {
            const double expected = scale * refs[i][c];
            signal[static_cast<size_t>(bands[i])] += expected * expected;
            noise[static_cast<size_t>(bands[i])] +=
                (outs[i][c] - expected) * (outs[i][c] - expected);
        }
    }
    for (int b = 0; b < kBands; ++b) {
        snr[static_cast<size_t>(b)] = 10 * std::log10(signal[b] / noise[b]);
    }
    return snr;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int width = 1200, height = 800, seeds = 3;
    std::string keep;
    synth::Camera camera = synth::Camera::kDiagonal;
    synth::SceneStyle style = synth::SceneStyle::kWarm;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--size") {
            std::sscanf(argv[i + 1], "%dx%d", &width, &height);
        } else if (option == "--seeds") {
            seeds = std::atoi(argv[i + 1]);
        } else if (option == "--keep") {
            keep = argv[i + 1];
        } else if (option == "--camera") {
            camera = std::string(argv[i + 1]) == "mixing" ? synth::Camera::kMixing
                                                          : synth::Camera::kDiagonal;
        } else if (option == "--scene") {
            style = std::string(argv[i + 1]) == "lamps" ? synth::SceneStyle::kLamps
                                                        : synth::SceneStyle::kWarm;
        }
    }
    const fs::path root =
        keep.empty() ? fs::temp_directory_path() / "bench_headroom" : fs::path(keep);
    fs::remove_all(root);
    const std::vector<std::string> methods = {"normal 90", "headroom 90", "headroom 99",
                                              "hdrmerge"};
    // results[method][band] over seeds
    std::vector<std::array<std::vector<double>, kBands>> results(methods.size());
    try {
        for (int seed = 1; seed <= seeds; ++seed) {
            synth::SeriesSettings settings;
            settings.folder = (root / ("series" + std::to_string(seed))).string();
            settings.width = width;
            settings.height = height;
            settings.seed = static_cast<uint64_t>(seed);
            settings.style = style;
            settings.camera = camera;
            fs::create_directories(settings.folder);
            const synth::SeriesResult series = synth::WriteSeries(settings);
            const synth::RadianceImage radiance = synth::ReadRadianceTiff(series.radiance_path);
            const fs::path run = root / ("runs" + std::to_string(seed));
            const std::vector<Frame> outputs = {
                Brimsal(BRIMSAL_CLI_PATH, series, run / "normal90", "--threshold 90"),
                Brimsal(BRIMSAL_CLI_PATH, series, run / "headroom90", "--headroom --threshold 90"),
                Brimsal(BRIMSAL_CLI_PATH, series, run / "headroom99", "--headroom --threshold 99"),
                HdrMerge(series, camera, run / "hdrmerge")};
            std::printf("seed %d (%dx%d, %zu frames 2 EV apart, %s scene, %s camera): SNR in dB\n",
                        seed, width, height, series.frames.size(),
                        style == synth::SceneStyle::kLamps ? "lamps" : "warm",
                        camera == synth::Camera::kMixing ? "mixing" : "diagonal");
            std::printf("  %-12s", "band (EV)");
            for (const auto& method : methods) {
                std::printf("%13s", method.c_str());
            }
            std::printf("\n");
            std::vector<std::array<double, kBands>> snrs;
            for (const Frame& output : outputs) {
                snrs.push_back(SnrPerBand(output, radiance));
            }
            for (int b = 0; b < kBands; ++b) {
                std::printf("  %3d..%-7d", kBandEdges[b], kBandEdges[b + 1]);
                for (size_t m = 0; m < methods.size(); ++m) {
                    std::printf("%13.2f", snrs[m][b]);
                    results[m][static_cast<size_t>(b)].push_back(snrs[m][b]);
                }
                std::printf("\n");
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_headroom: %s\n", error.what());
        return 1;
    }
    std::printf("median over %d seeds: SNR in dB (gain of headroom 90 over normal 90)\n", seeds);
    for (int b = 0; b < kBands; ++b) {
        std::printf("  %3d..%-7d", kBandEdges[b], kBandEdges[b + 1]);
        for (size_t m = 0; m < methods.size(); ++m) {
            std::printf("%13.2f", Median(results[m][static_cast<size_t>(b)]));
        }
        std::vector<double> gains;
        for (int s = 0; s < seeds; ++s) {
            gains.push_back(results[1][static_cast<size_t>(b)][static_cast<size_t>(s)] -
                            results[0][static_cast<size_t>(b)][static_cast<size_t>(s)]);
        }
        std::printf("   %+.2f\n", Median(gains));
    }
    if (keep.empty()) {
        fs::remove_all(root);
    }
    return 0;
}
