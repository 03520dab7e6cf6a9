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
    return test::SetOf(std::move(frames), dir.file("img"));
}

// One run of Calc EV over `frames` in `dir`.
int Calcular(const TempDir& dir, ExposureSet& set, bool average, RecorderChannel& channel,
             int threads = 1) {
    RelativeExposureSettings settings;
    settings.average = average;
    return CalcularExpRelativas(dir.file("ref.CR2"), settings, set, channel, threads);
}

// Frame `stops` EV above a linear base well inside the valid window.
Frame Escalon(int w, int h, int stops) {
    return MakeFrame(w, h, [stops](int x, int y, int c) {
        return static_cast<uint16_t>((2000 + 97 * x + 53 * y + 311 * c) << stops);
    });
}

std::vector<std::string> Histogramas(const TempDir& dir) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("His_", 0) == 0) {
            found.push_back(name);
        }
    }
    return found;
}

Picture UnicoHistograma(const TempDir& dir) {
    const auto gifs = Histogramas(dir);
    Picture gif;
    if (gifs.size() == 1) {
        gif.LoadFromFile(dir.file(gifs[0]));
    } else {
        ADD_FAILURE() << gifs.size() << " histograms";
    }
    return gif;
}

// Identical frames: E(2) = 1 in both methods; every sample in bin 0, the red line at x = 0.
// Frames exactly 1 EV apart: E(2) = 0.5, X = 2, V = 1; b / a = 2 puts every sample in bin
// Round(ln 2 * 1000 / ln 2) = 1000, the red line at x = 125 over the 1 EV grid line. Interior
// pixels (8 x 8 of 10 x 10) give three samples each: 192 / 300 = 64 %.
TEST(RelativeExposure, IdenticalFramesAndOneStopApart) {
    for (int stops : {0, 1}) {
        for (bool average : {true, false}) {
            TempDir dir;
            ExposureSet set = SetDe(dir, {Escalon(10, 10, 0), Escalon(10, 10, stops)});
            RecorderChannel channel;
            EXPECT_EQ(Calcular(dir, set, average, channel), 1);
            EXPECT_EQ(set.ExpRelativas, (std::vector<double>{1.0, stops == 0 ? 1.0 : 0.5}));
            std::vector<std::string> log = {
                "\nCalculating relative exposure...", "img1.tiff: 1 (0EV)",
                stops == 0 ? "img2.tiff: 1 (+0EV) (64% lev)" : "img2.tiff: 2 (+1EV) (64% lev)",
                "DONE"};
            EXPECT_EQ(channel.beeps(), 1);
            if (average) {
                EXPECT_EQ(channel.log(), log);
                EXPECT_TRUE(Histogramas(dir).empty());  // only the Median method draws
                continue;
            }
            const Picture gif = UnicoHistograma(dir);
            log.insert(log.end() - 1,
                       "\nSaving exposure histogram as " + Histogramas(dir)[0] + "...");
            EXPECT_EQ(channel.log(), log);
            EXPECT_EQ(gif.GetWidth(), 1024);
            EXPECT_EQ(gif.GetHeight(), 128);
            for (int y = 0; y < 128; ++y) {
                EXPECT_EQ(gif.GetPixelColor(125 * stops, y), kRed) << y;
            }
            // The dotted grid at 2 EV: grey on even rows, white between.
            EXPECT_EQ(gif.GetPixelColor(250, 126), kGrey);
            EXPECT_EQ(gif.GetPixelColor(250, 127), kWhite);
        }
    }
}

// Green clips at 6000 in the brighter frame's right half, as a headroom development's green
// clips far below the fixed level: that level lets the clipped samples in and the Average step
// drifts; a green level below the clip keeps them out and the step at 1 EV.
TEST(RelativeExposure, PerChannelClipLevelsKeepClippedGreenOut) {
    const Frame oscura = Escalon(40, 10, 0);
    Frame brillante = Escalon(40, 10, 1);
    for (int y = 0; y < 10; ++y) {
        for (int x = 20; x < 40; ++x) {
            uint16_t& green = brillante.at(x, y)[1];
            green = std::min<uint16_t>(green, 6000);
        }
    }
    for (bool average : {true, false}) {
        std::vector<double> e2;
        for (int32_t green_clip : {kNivelRecorte, 5999}) {
            TempDir dir;
            ExposureSet set = SetDe(dir, {oscura, brillante});
            RelativeExposureSettings settings;
            settings.average = average;
            settings.recorte = {kNivelRecorte, green_clip, kNivelRecorte};
            RecorderChannel channel;
            ASSERT_EQ(CalcularExpRelativas(dir.file("ref.CR2"), settings, set, channel, 1), 1);
            e2.push_back(set.ExpRelativas[1]);
        }
        if (average) {
            EXPECT_GT(e2[0], 0.5 + 0.01);  // the Median outvotes a third of bad samples
        }
        EXPECT_EQ(e2[1], 0.5) << average;
    }
}

TEST(RelativeExposure, HistogramHasOneBandPerPairAndNeverOverwrites) {
    TempDir dir;
    const std::string now = HoraHHMMSS();
    test::Touch(dir.file("His_" + now + ".gif"));
    std::vector<Frame> frames;
    for (int i = 0; i < 5; ++i) {
        frames.push_back(Escalon(9, 9, i));
    }
    ExposureSet set = SetDe(dir, std::move(frames));
    RecorderChannel channel;
    ASSERT_EQ(Calcular(dir, set, false, channel), 1);
    for (int i = 0; i < 5; ++i) {
        EXPECT_DOUBLE_EQ(set.ExpRelativas[static_cast<size_t>(i)], std::ldexp(1.0, -i));
    }
    // The brightest frames clip in part, which changes the share of samples but no ratio.
    EXPECT_EQ(channel.log()[5].rfind("img5.tiff: 16 (+4EV) (", 0), 0u);
    EXPECT_EQ(std::filesystem::file_size(dir.file("His_" + now + ".gif")), 0u);
    std::filesystem::remove(dir.file("His_" + now + ".gif"));
    const Picture gif = UnicoHistograma(dir);
    EXPECT_EQ(gif.GetWidth(), 1024);
    EXPECT_EQ(gif.GetHeight(), 512);
    for (int band = 0; band < 4; ++band) {
        EXPECT_EQ(gif.GetPixelColor(125, band * 128 + 3), kRed);
        // Every sample lies in the column under the red line; its neighbours hold no bar.
        EXPECT_EQ(gif.GetPixelColor(124, band * 128 + 100), kWhite);
    }
}

TEST(RelativeExposure, GapErrors) {
    struct Caso {
        std::vector<Frame> frames;
        bool average;
        std::string error;
        std::vector<double> e;
    };
    const Frame clipped = ConstantFrame(10, 10, 60000, 58982, 65535);
    // Summing more in the darker-sorted frame is too narrow for Average; the Median method has
    // no such test and puts the samples into bin 0 (then bin 1000 for the next pair).
    const std::vector<Frame> narrow = {ConstantFrame(6, 6, 3001, 3001, 3001),
                                       ConstantFrame(6, 6, 3000, 3000, 3000),
                                       ConstantFrame(6, 6, 6000, 6000, 6000)};
    const Caso casos[] = {
        {{Escalon(10, 10, 0), clipped}, true, "Too wide", {1, 0}},
        {{Escalon(10, 10, 0), clipped}, false, "Too wide", {1, 0}},
        {narrow, true, "Too narrow", {1, 0, 0}},
        {narrow, false, "", {1, 1, 0.5}},
    };
    for (const Caso& caso : casos) {
        TempDir dir;
        ExposureSet set = SetDe(dir, caso.frames);
        RecorderChannel channel;
        const int result = Calcular(dir, set, caso.average, channel);
        EXPECT_EQ(set.ExpRelativas, caso.e) << caso.error;
        if (caso.error.empty()) {
            EXPECT_EQ(result, 1);
            continue;
        }
        EXPECT_EQ(result, -1);
        EXPECT_EQ(channel.log(), (std::vector<std::string>{"\nCalculating relative exposure...",
                                                           "img1.tiff: 1 (0EV)",
                                                           caso.error + " exposure gap", "DONE"}));
        ASSERT_EQ(channel.boxes().size(), 1u);
        EXPECT_EQ(channel.boxes()[0].title, "ERROR");
        EXPECT_EQ(channel.boxes()[0].text,
                  caso.error + " exposure gap between img1.tiff and img2.tiff");
        EXPECT_TRUE(Histogramas(dir).empty());
    }
}

// The step of one pair written as plainly as it is described: x outer, y inner, the neighbours
// tested one by one, ln(b / a) evaluated for every sample. Which samples count: the border ring
// never; the 8 neighbours of a pixel clipped in the brighter frame never; per channel, only
// 1024 < v < 58982 in both frames; brighter samples weigh more in the median. `share` is the
// read-out's percentage of the samples taken.
double PasoIngenuo(const Frame& a, const Frame& b, bool average, double e_previa,
                   double* share = nullptr) {
    const int dxs[] = {-1, 0, 1, -1, 1, -1, 0, 1};
    const int dys[] = {-1, -1, -1, 0, 0, 1, 1, 1};
    double sa = 0;
    double sb = 0;
    std::vector<int64_t> bins(8192, 0);
    double taken = 0;
    for (int x = 1; x <= a.width - 2; ++x) {
        for (int y = 1; y <= a.height - 2; ++y) {
            bool clipped = false;
            for (int i = 0; i < 8 && !clipped; ++i) {
                const uint16_t* p = b.at(x + dxs[i], y + dys[i]);
                clipped = p[0] >= 58982 || p[1] >= 58982 || p[2] >= 58982;
            }
            for (int c = 0; c < 3 && !clipped; ++c) {
                const int va = a.at(x, y)[c];
                const int vb = b.at(x, y)[c];
                if (va > 1024 && va < 58982 && vb > 1024 && vb < 58982) {
                    sa += va;
                    sb += vb;
                    taken += 1;
                    const double d =
                        std::nearbyint(std::log(static_cast<double>(vb) / va) * 1442.69504088896);
                    bins[static_cast<size_t>(std::max(0.0, std::min(8191.0, d)))] +=
                        1 + static_cast<int>(std::floor(16.0 * vb / 65535));
                }
            }
        }
    }
    if (share != nullptr) {
        *share = Redondear(1000.0 * taken / (3.0 * a.width * a.height)) / 10;
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

// Noisy frames over several row chunks, with clipped pixels and samples on both edges of the
// valid window: the plain loop's result, and the same log, on one thread and on all.
TEST(RelativeExposure, MatchesThePlainLoopOnAnyThreadCount) {
    std::mt19937 rng(2024);
    auto frame = [&](double gain) {
        std::uniform_real_distribution<double> spread(0.8, 1.25);
        return MakeFrame(73, 141, [&](int x, int y, int c) -> uint16_t {
            const uint16_t edges[] = {1024, 1025, 58981, 58982};
            if ((x + 2 * y + c) % 13 == 0) {
                return edges[(x + y) % 4];
            }
            const double scene = 300.0 * std::exp2(8.0 * x / 73 + 0.5 * c) * (1 + y % 3);
            return static_cast<uint16_t>(std::min(65535.0, scene * gain * spread(rng)));
        });
    };
    const std::vector<Frame> frames = {frame(1), frame(2.3), frame(5.1)};
    for (bool average : {true, false}) {
        double share = 0;
        const double e2 = PasoIngenuo(frames[0], frames[1], average, 1.0, &share);
        const double e3 = PasoIngenuo(frames[1], frames[2], average, e2);
        std::vector<std::string> logs[2];
        for (int threads : {1, 0}) {
            TempDir dir;
            ExposureSet set = SetDe(dir, frames);
            RecorderChannel channel;
            ASSERT_EQ(Calcular(dir, set, average, channel, threads), 1);
            EXPECT_EQ(set.ExpRelativas, (std::vector<double>{1.0, e2, e3})) << average;
            const std::string lev = "(" + TextoNumero(share) + "% lev)";
            EXPECT_TRUE(channel.log()[2].ends_with(lev)) << channel.log()[2] << " " << lev;
            logs[threads == 0] = channel.log();
            logs[threads == 0].resize(4);  // up to the last read-out line
        }
        EXPECT_EQ(logs[0], logs[1]);
    }
}

TEST(RelativeExposure, CancelOrUnequalFrames) {
    TempDir dir;
    ExposureSet set = SetDe(dir, {Escalon(20, 200, 0), Escalon(20, 200, 1)});
    set.ExpRelativas = {1.0, 0.25};
    RecorderChannel cancelled;
    cancelled.Cancelar();
    EXPECT_THROW(Calcular(dir, set, false, cancelled), Cancelled);
    EXPECT_EQ(set.ExpRelativas, (std::vector<double>{1.0, 0.25}));
    EXPECT_TRUE(Histogramas(dir).empty());

    ExposureSet unequal = SetDe(dir, {Escalon(6, 6, 0), Escalon(7, 6, 1)});
    RecorderChannel channel;
    EXPECT_EQ(Calcular(dir, unequal, false, channel), -1);
    EXPECT_NE(test::OnlyBox(channel).find("module CalcularExpRelativas "), std::string::npos);
}

}  // namespace
}  // namespace brimsal
