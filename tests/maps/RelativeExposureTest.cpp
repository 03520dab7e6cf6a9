#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "app/Misc.h"
#include "app/RecorderChannel.h"
#include "image/Picture.h"
#include "maps/RelativeExposure.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

using test::ConstantFrame;
using test::MakeFrame;
using test::TempDir;

constexpr uint32_t kRed = RGB(255, 0, 0);
constexpr uint32_t kGrey = RGB(192, 192, 192);

// A set in memory, its TIFF names in `dir` (the files themselves are not needed).
ExposureSet SetDe(const TempDir& dir, std::vector<Frame> frames) {
    ExposureSet set;
    set.AnchoImagen = frames.front().width;
    set.AltoImagen = frames.front().height;
    for (size_t i = 0; i < frames.size(); ++i) {
        set.ArchivosTIFF.push_back(dir.file("img" + std::to_string(i + 1) + ".tiff"));
    }
    set.Imagenes = std::move(frames);
    set.TIFFsCargados = true;
    return set;
}

RelativeExposureSettings Metodo(bool average) {
    RelativeExposureSettings settings;
    settings.average = average;
    return settings;
}

// Linear data well inside the valid window, varying over the frame.
uint16_t Base(int x, int y, int c) {
    return static_cast<uint16_t>(2000 + 97 * x + 53 * y + 311 * c);
}

// Frame i of a series one EV apart: Base * 2^(i - 1).
Frame Escalon(int w, int h, int stops) {
    return MakeFrame(w, h, [stops](int x, int y, int c) {
        return static_cast<uint16_t>(Base(x, y, c) << stops);
    });
}

std::vector<std::string> Archivos(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) {
            found.push_back(name);
        }
    }
    return found;
}

TEST(RelativeExposure, IdenticalFramesAverage) {
    TempDir dir;
    ExposureSet set = SetDe(dir, {Escalon(10, 10, 0), Escalon(10, 10, 0)});
    RecorderChannel channel;
    EXPECT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(true), set, channel, 1), 1);
    EXPECT_EQ(set.ExpRelativas, (std::vector<double>{1.0, 1.0}));
    // Every interior pixel (8 x 8 of 10 x 10) gives three samples: 192 / 300 = 64 %.
    EXPECT_EQ(channel.log(),
              (std::vector<std::string>{"\nCalculating relative exposure...", "img1.tiff: 1 (0EV)",
                                        "img2.tiff: 1 (+0EV) (64% lev)", "DONE"}));
    EXPECT_EQ(channel.beeps(), 1);
    EXPECT_TRUE(Archivos(dir.path(), "His_").empty());  // only the Median method draws
}

TEST(RelativeExposure, IdenticalFramesMedian) {
    TempDir dir;
    ExposureSet set = SetDe(dir, {Escalon(10, 10, 0), Escalon(10, 10, 0)});
    RecorderChannel channel;
    EXPECT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(false), set, channel, 1), 1);
    EXPECT_EQ(set.ExpRelativas, (std::vector<double>{1.0, 1.0}));
    const auto gifs = Archivos(dir.path(), "His_");
    ASSERT_EQ(gifs.size(), 1u);
    EXPECT_EQ(channel.log(), (std::vector<std::string>{
                                 "\nCalculating relative exposure...", "img1.tiff: 1 (0EV)",
                                 "img2.tiff: 1 (+0EV) (64% lev)",
                                 "\nSaving exposure histogram as " + gifs[0] + "...", "DONE"}));
    Picture gif;
    gif.LoadFromFile(dir.file(gifs[0]));
    EXPECT_EQ(gif.GetWidth(), 1024);
    EXPECT_EQ(gif.GetHeight(), 128);
    // k = 0: the red median line at x = 0, the whole band tall.
    for (int y = 0; y < 128; ++y) {
        EXPECT_EQ(gif.GetPixelColor(0, y), kRed) << y;
    }
}

TEST(RelativeExposure, OneStopApart) {
    TempDir dir;
    {
        ExposureSet set = SetDe(dir, {Escalon(12, 9, 0), Escalon(12, 9, 1)});
        RecorderChannel channel;
        ASSERT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(true), set, channel, 1), 1);
        EXPECT_EQ(set.ExpRelativas[1], 0.5);
        // 10 x 7 interior pixels, 210 samples of 324: 64.81 % -> 64.8.
        EXPECT_TRUE(channel.logContains("img2.tiff: 2 (+1EV) (" + TextoNumero(64.8) + "% lev)"));
    }
    {
        ExposureSet set = SetDe(dir, {Escalon(12, 9, 0), Escalon(12, 9, 1)});
        RecorderChannel channel;
        ASSERT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(false), set, channel, 1), 1);
        // Every sample has b / a = 2 exactly: bin Round(ln 2 * 1000 / ln 2) = 1000.
        EXPECT_DOUBLE_EQ(set.ExpRelativas[1], 0.5);
        EXPECT_NEAR(-std::log2(set.ExpRelativas[1]) * 1000, 1000, 3);
        EXPECT_TRUE(channel.logContains("img2.tiff: 2 (+1EV) (" + TextoNumero(64.8) + "% lev)"));
        const auto gifs = Archivos(dir.path(), "His_");
        ASSERT_EQ(gifs.size(), 1u);
        Picture gif;
        gif.LoadFromFile(dir.file(gifs[0]));
        // Red line at x = Round(1000 / 8) = 125, over the 1 EV grid line.
        for (int y = 0; y < 128; ++y) {
            EXPECT_EQ(gif.GetPixelColor(125, y), kRed) << y;
        }
        // The dotted grid at 2 EV: grey on even rows, white between.
        EXPECT_EQ(gif.GetPixelColor(250, 40), kGrey);
        EXPECT_EQ(gif.GetPixelColor(250, 41), kWhite);
        EXPECT_EQ(gif.GetPixelColor(250, 126), kGrey);
        EXPECT_EQ(gif.GetPixelColor(250, 127), kWhite);
    }
}

TEST(RelativeExposure, HistogramHasOneBandPerPair) {
    TempDir dir;
    std::vector<Frame> frames;
    for (int i = 0; i < 5; ++i) {
        frames.push_back(Escalon(9, 9, i));
    }
    ExposureSet set = SetDe(dir, std::move(frames));
    RecorderChannel channel;
    ASSERT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(false), set, channel, 1), 1);
    for (int i = 0; i < 5; ++i) {
        EXPECT_DOUBLE_EQ(set.ExpRelativas[static_cast<size_t>(i)], std::ldexp(1.0, -i));
    }
    // The brightest frames clip in part, which changes the share of samples but no ratio.
    EXPECT_EQ(channel.log()[5].rfind("img5.tiff: 16 (+4EV) (", 0), 0u);
    const auto gifs = Archivos(dir.path(), "His_");
    ASSERT_EQ(gifs.size(), 1u);
    Picture gif;
    gif.LoadFromFile(dir.file(gifs[0]));
    EXPECT_EQ(gif.GetWidth(), 1024);
    EXPECT_EQ(gif.GetHeight(), 512);
    for (int band = 0; band < 4; ++band) {
        EXPECT_EQ(gif.GetPixelColor(125, band * 128 + 3), kRed);
        // Every sample lies in the column under the red line; its neighbours hold no bar.
        EXPECT_EQ(gif.GetPixelColor(124, band * 128 + 100), kWhite);
    }
}

TEST(RelativeExposure, FullyClippedBrighterFrameIsTooWide) {
    TempDir dir;
    for (bool average : {true, false}) {
        ExposureSet set =
            SetDe(dir, {Escalon(10, 10, 0), ConstantFrame(10, 10, 60000, 58982, 65535)});
        RecorderChannel channel;
        EXPECT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(average), set, channel, 1), -1);
        EXPECT_EQ(channel.log(), (std::vector<std::string>{"\nCalculating relative exposure...",
                                                           "img1.tiff: 1 (0EV)",
                                                           "Too wide exposure gap", "DONE"}));
        ASSERT_EQ(channel.boxes().size(), 1u);
        EXPECT_EQ(channel.boxes()[0].title, "ERROR");
        EXPECT_EQ(channel.boxes()[0].text, "Too wide exposure gap between img1.tiff and img2.tiff");
        EXPECT_EQ(set.ExpRelativas, (std::vector<double>{1.0, 0.0}));
    }
    EXPECT_TRUE(Archivos(dir.path(), "His_").empty());
}

TEST(RelativeExposure, DarkerSortedFrameSummingMoreIsTooNarrow) {
    TempDir dir;
    ExposureSet set = SetDe(dir, {ConstantFrame(6, 6, 3001, 3001, 3001),
                                  ConstantFrame(6, 6, 3000, 3000, 3000), Escalon(6, 6, 1)});
    RecorderChannel channel;
    EXPECT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(true), set, channel, 1), -1);
    EXPECT_TRUE(channel.logContains("Too narrow exposure gap"));
    EXPECT_EQ(channel.log().back(), "DONE");
    ASSERT_EQ(channel.boxes().size(), 1u);
    EXPECT_EQ(channel.boxes()[0].text, "Too narrow exposure gap between img1.tiff and img2.tiff");
    EXPECT_EQ(set.ExpRelativas, (std::vector<double>{1.0, 0.0, 0.0}));

    // The Median method has no such test: the samples fall into bin 0.
    RecorderChannel median;
    EXPECT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(false), set, median, 1), 1);
    EXPECT_EQ(set.ExpRelativas[1], 1.0);
}

// The border ring has a ratio of 4, the inside 2: only the inside may count.
TEST(RelativeExposure, BorderPixelsAreNeverSampled) {
    TempDir dir;
    const int w = 11;
    const int h = 8;
    Frame dark = ConstantFrame(w, h, 4000, 4000, 4000);
    Frame bright = MakeFrame(w, h, [&](int x, int y, int) -> uint16_t {
        const bool border = x == 0 || y == 0 || x == w - 1 || y == h - 1;
        return border ? 16000 : 8000;
    });
    for (bool average : {true, false}) {
        ExposureSet set = SetDe(dir, {dark, bright});
        RecorderChannel channel;
        ASSERT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(average), set, channel, 1), 1);
        EXPECT_EQ(set.ExpRelativas[1], 0.5) << average;
    }
}

// A clipped pixel rejects its 8 neighbours even where they are well exposed themselves.
TEST(RelativeExposure, ClippedNeighbourRejectsThePixel) {
    TempDir dir;
    const int w = 10;
    const int h = 10;
    Frame dark = ConstantFrame(w, h, 4000, 4000, 4000);
    Frame bright = MakeFrame(w, h, [](int x, int y, int c) -> uint16_t {
        if (x == 5 && y == 5) {
            return c == 1 ? 58982 : 8000;  // one channel at the clip level
        }
        const bool neighbour = std::abs(x - 5) <= 1 && std::abs(y - 5) <= 1;
        return neighbour ? 16000 : 8000;
    });
    ExposureSet set = SetDe(dir, {std::move(dark), std::move(bright)});
    RecorderChannel channel;
    ASSERT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(true), set, channel, 1), 1);
    EXPECT_EQ(set.ExpRelativas[1], 0.5);
    // 64 interior pixels less the 8 around the clipped one, 56 * 3 = 168 samples, less the
    // clipped green of the centre pixel itself (its own red and blue are used: the pixel is not
    // part of its clip test): 167 of 300 = 55.67 %.
    EXPECT_EQ(channel.log()[2], "img2.tiff: 2 (+1EV) (" + TextoNumero(55.7) + "% lev)");
}

// The validity window is strict on both frames and per channel.
TEST(RelativeExposure, ValidityWindowPerChannel) {
    TempDir dir;
    // Red 1024 in the darker frame (not above the floor), green valid, blue 58981 valid in the
    // brighter frame only just.
    Frame dark = ConstantFrame(5, 5, 1024, 3000, 30000);
    Frame bright = ConstantFrame(5, 5, 5000, 6000, 58981);
    ExposureSet set = SetDe(dir, {std::move(dark), std::move(bright)});
    RecorderChannel channel;
    ASSERT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(true), set, channel, 1), 1);
    // 9 interior pixels x 2 channels = 18 of 75 samples: 24 %.
    EXPECT_EQ(set.ExpRelativas[1], (9.0 * 3000 + 9.0 * 30000) / (9.0 * 6000 + 9.0 * 58981));
    const std::string line = channel.log()[2];
    EXPECT_EQ(line.substr(line.size() - 9), "(24% lev)");
}

// Weighted median: 3 samples at +1 EV with weight 1 + floor(16 * 2100 / 65535) = 1 against one
// sample at +0 EV of weight 1 + floor(16 * 40000 / 65535) = 10: the median is bin 0.
TEST(RelativeExposure, BrighterSamplesWeighMore) {
    TempDir dir;
    Frame dark = MakeFrame(3, 3, [](int, int, int c) -> uint16_t { return c == 0 ? 40000 : 1050; });
    Frame bright =
        MakeFrame(3, 3, [](int, int, int c) -> uint16_t { return c == 0 ? 40000 : 2100; });
    ExposureSet set = SetDe(dir, {std::move(dark), std::move(bright)});
    RecorderChannel channel;
    ASSERT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(false), set, channel, 1), 1);
    EXPECT_EQ(set.ExpRelativas[1], 1.0);
}

TEST(RelativeExposure, SameResultWithOneThreadOrAll) {
    TempDir dir;
    auto ruido = [](int stops, unsigned seed) {
        return MakeFrame(157, 233, [stops, seed](int x, int y, int c) -> uint16_t {
            // One scene, 0.9 EV per frame, a little noise of its own in every frame.
            const unsigned v = (x * 7919u + y * 104729u + c * 31u) * 2654435761u;
            const unsigned noise = ((x + 3 * y + seed) * 2246822519u) >> 26;  // 0 .. 63
            const double base = 1500 + (v >> 20) * 2 + noise;
            return static_cast<uint16_t>(std::min(65535.0, base * std::pow(2.0, stops * 0.9)));
        });
    };
    for (bool average : {true, false}) {
        std::vector<std::vector<double>> results;
        std::vector<std::vector<std::string>> logs;
        for (int threads : {1, 0}) {
            ExposureSet set = SetDe(dir, {ruido(0, 1), ruido(1, 2), ruido(2, 3), ruido(3, 4)});
            RecorderChannel channel;
            ASSERT_EQ(
                CalcularExpRelativas(dir.file("ref.CR2"), Metodo(average), set, channel, threads),
                1);
            results.push_back(set.ExpRelativas);
            auto log = channel.log();
            logs.push_back(std::vector<std::string>(log.begin(), log.begin() + 5));
        }
        EXPECT_EQ(results[0], results[1]);
        EXPECT_EQ(logs[0], logs[1]);
        EXPECT_LT(results[0][3], results[0][2]);
    }
}

TEST(RelativeExposure, HistogramNeverOverwritesAFile) {
    TempDir dir;
    // Occupy the names of the next few seconds.
    const std::string now = HoraHHMMSS();
    test::Touch(dir.file("His_" + now + ".gif"));
    ExposureSet set = SetDe(dir, {Escalon(6, 6, 0), Escalon(6, 6, 1)});
    RecorderChannel channel;
    ASSERT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(false), set, channel, 1), 1);
    EXPECT_EQ(std::filesystem::file_size(dir.file("His_" + now + ".gif")), 0u);
    EXPECT_EQ(Archivos(dir.path(), "His_").size(), 2u);
}

// The step of one pair written as plainly as it is described: x outer, y inner, the neighbours
// tested one by one, ln(b / a) evaluated for every sample.
double PasoIngenuo(const Frame& a, const Frame& b, bool average, double e_previa) {
    const int dxs[] = {-1, 0, 1, -1, 1, -1, 0, 1};
    const int dys[] = {-1, -1, -1, 0, 0, 1, 1, 1};
    double sa = 0;
    double sb = 0;
    std::vector<int64_t> bins(8192, 0);
    for (int x = 1; x <= a.width - 2; ++x) {
        for (int y = 1; y <= a.height - 2; ++y) {
            bool clipped = false;
            for (int i = 0; i < 8 && !clipped; ++i) {
                const uint16_t* p = b.at(x + dxs[i], y + dys[i]);
                clipped = p[0] >= 58982 || p[1] >= 58982 || p[2] >= 58982;
            }
            if (clipped) {
                continue;
            }
            for (int c = 0; c < 3; ++c) {
                const int va = a.at(x, y)[c];
                const int vb = b.at(x, y)[c];
                if (va > 1024 && va < 58982 && vb > 1024 && vb < 58982) {
                    sa += va;
                    sb += vb;
                    const double d =
                        std::nearbyint(std::log(static_cast<double>(vb) / va) * 1442.69504088896);
                    const int bin = static_cast<int>(std::max(0.0, std::min(8191.0, d)));
                    bins[static_cast<size_t>(bin)] +=
                        1 + static_cast<int>(std::floor(16.0 * vb / 65535));
                }
            }
        }
    }
    if (average) {
        return sa / sb * e_previa;
    }
    int64_t total = 0;
    for (int64_t v : bins) {
        total += v;
    }
    int64_t cumulative = 0;
    int k = 0;
    while (static_cast<double>(cumulative + bins[static_cast<size_t>(k)]) < total / 2.0) {
        cumulative += bins[static_cast<size_t>(k++)];
    }
    return e_previa / std::pow(2.0, k / 1000.0);
}

TEST(RelativeExposure, MatchesThePlainLoopOnNoisyFrames) {
    TempDir dir;
    std::mt19937 rng(2024);
    auto frame = [&](double gain) {
        std::uniform_real_distribution<double> spread(0.8, 1.25);
        return MakeFrame(73, 41, [&](int x, int y, int c) -> uint16_t {
            const double scene = 300.0 * std::exp2(8.0 * x / 73 + 0.5 * c) * (1 + y % 3);
            return static_cast<uint16_t>(std::min(65535.0, scene * gain * spread(rng)));
        });
    };
    std::vector<Frame> frames = {frame(1), frame(2.3), frame(5.1)};
    for (bool average : {true, false}) {
        ExposureSet set = SetDe(dir, frames);
        RecorderChannel channel;
        ASSERT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(average), set, channel, 0), 1);
        const double e2 = PasoIngenuo(frames[0], frames[1], average, 1.0);
        const double e3 = PasoIngenuo(frames[1], frames[2], average, e2);
        EXPECT_EQ(set.ExpRelativas, (std::vector<double>{1.0, e2, e3})) << average;
    }
}

TEST(RelativeExposure, CancelledRunKeepsThePreviousStateAndWritesNothing) {
    TempDir dir;
    ExposureSet set = SetDe(dir, {Escalon(20, 200, 0), Escalon(20, 200, 1)});
    set.ExpRelativas = {1.0, 0.25};
    RecorderChannel channel;
    channel.Cancelar();
    EXPECT_THROW(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(false), set, channel, 1),
                 Cancelled);
    EXPECT_EQ(set.ExpRelativas, (std::vector<double>{1.0, 0.25}));
    EXPECT_TRUE(Archivos(dir.path(), "His_").empty());
}

TEST(RelativeExposure, UnequalFramesAreAnUnexpectedError) {
    TempDir dir;
    ExposureSet set = SetDe(dir, {Escalon(6, 6, 0), Escalon(7, 6, 1)});
    RecorderChannel channel;
    EXPECT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), Metodo(false), set, channel, 1), -1);
    ASSERT_EQ(channel.boxes().size(), 1u);
    EXPECT_NE(channel.boxes()[0].text.find("CalcularExpRelativas"), std::string::npos);
}

}  // namespace
}  // namespace brimsal
