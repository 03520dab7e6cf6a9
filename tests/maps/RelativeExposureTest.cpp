// Calc EV: CargarTIFFs and OrdenarPorExposicion over a folder of RAW stand-ins with TIFFs
// beside them, then the relative exposures, their log and histogram, against a plain loop.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "base/NewFiles.h"
#include "base/NumberText.h"
#include "base/Paths.h"
#include "base/UserChannel.h"
#include "image/Picture.h"
#include "image/TiffIO.h"
#include "maps/ExposureSet.h"
#include "maps/FramePreload.h"
#include "maps/RelativeExposure.h"
#include "support/Fixtures.h"
#include "support/RecorderChannel.h"

namespace brimsal {
namespace {

using Lines = std::vector<std::string>;

// A folder of RAW stand-ins with developed TIFFs beside them.
class ExposureSetTest : public ::testing::Test {
  protected:
    // Writes name.cr2 and, when `frame` is not empty, name.tiff.
    void Add(const std::string& name, const Frame& frame) {
        test::Touch(dir_.file(name + ".cr2"));
        raws_.push_back(name + ".cr2");
        if (!frame.empty()) {
            WriteTiff(frame, Tiff(name));
        }
    }
    std::string Ruta() const { return dir_.file(raws_.front()); }
    std::string Tiff(const std::string& name) const { return dir_.file(name + ".tiff"); }

    test::TempDir dir_;
    Lines raws_;
    ExposureSet set_;
    RecorderChannel channel_;
};

// Loads that end early: the result, the log, the box, and a set left released. Files: 'f' a
// 10 x 6 TIFF, 'n' a narrower one, 'x' a file that is no TIFF, '-' no TIFF at all.
TEST_F(ExposureSetTest, LoadsThatDoNotGiveASet) {
    const struct {
        const char* kinds;  // of the TIFFs beside a.cr2, b.cr2, ...
        int result;
        Lines log;
        std::string box;
    } cases[] = {
        // One RAW file: no load, the log goes on.
        {"f", 0, {"earlier line", "\nInsufficient TIFF files", "DONE"}, "<0 boxes>"},
        {"f-",
         1,
         {"Loading 2 TIFF files...", "file b.tiff not found. Skipped", "\nInsufficient TIFF files",
          "DONE"},
         "<0 boxes>"},
        // "d" is never looked at: the load stops at the mismatch.
        {"ffn-",
         -1,
         {"Loading 4 TIFF files...", "Image dimensions mismatch", "DONE"},
         "ERROR: Image dimensions mismatch between a.tiff and c.tiff"},
        {"fxf",
         -1,
         {"An unexpected error occurred"},
         "ERROR: Unexpected error occurred in module gflLoadBitmap ['"},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        Lines raws;
        for (const char* kind = c.kinds; *kind != '\0'; ++kind) {
            const std::string name(1, static_cast<char>('a' + (kind - c.kinds)));
            test::Touch(dir.file(name + ".cr2"));
            raws.push_back(name + ".cr2");
            if (*kind == 'x') {
                test::WriteBytes(dir.file(name + ".tiff"), {'n', 'o', 't', ' ', 'a', ' ', 't'});
            } else if (*kind != '-') {
                WriteTiff(test::ConstantFrame(*kind == 'n' ? 9 : 10, 6, 100, 100, 100),
                          dir.file(name + ".tiff"));
            }
        }
        ExposureSet set;
        RecorderChannel channel;
        channel.AnadirLog("earlier line", false);
        EXPECT_EQ(CargarTIFFs(dir.file("a.cr2"), raws, set, channel), c.result);
        EXPECT_EQ(channel.log(), c.log);
        EXPECT_EQ(test::OnlyBox(channel).rfind(c.box, 0), 0u) << test::OnlyBox(channel);
        EXPECT_EQ(channel.beeps(), c.result >= 0 ? 1 : 0);
        EXPECT_FALSE(set.TIFFsCargados);
        for (const Frame& f : set.Imagenes) {
            EXPECT_TRUE(f.empty());
        }
    }
}

// Mean levels 12.34 %, 50 %, 4 %, an identical pair at 25 % and black, summed here in bands of
// rows (a set held in memory): equal sums end in reverse load order, the black frame is darkest.
TEST_F(ExposureSetTest, SortLogsAndOrdersDarkestFirst) {
    const Frame same = test::MakeFrame(10, 70, [](int x, int y, int c) {
        return static_cast<uint16_t>(16384 + (x - 5) * 3 + (y % 2 ? c : -c));
    });
    set_ = test::SetOf({test::ConstantFrame(10, 70, 8087, 8087, 8087),
                        test::ConstantFrame(10, 70, 32768, 32767, 32768),
                        test::ConstantFrame(10, 70, 2621, 2622, 2621), same, same,
                        test::ConstantFrame(10, 70, 0, 0, 0)},
                       dir_.file("i"));
    ASSERT_TRUE(OrdenarPorExposicion(true, set_, channel_, 2));
    EXPECT_EQ(channel_.log(),
              (Lines{"\nCalculating absolute exposure...", "i1.tiff: 12.3%", "i2.tiff: 50%",
                     "i3.tiff: 4%", "i4.tiff: 25%", "i5.tiff: 25%", "i6.tiff: 0%",
                     "Sorting images by exposure...", "Reloading sorted images..."}));
    EXPECT_EQ(set_.ArchivosTIFF,
              (Lines{Tiff("i6"), Tiff("i3"), Tiff("i1"), Tiff("i5"), Tiff("i4"), Tiff("i2")}));
    EXPECT_EQ(set_.TIFFMasOscuro, Tiff("i6"));
    EXPECT_EQ(set_.Imagenes[1].at(0, 0)[1], 2622);
}

// One thread or many, or frames read while the development ran, make the same set, log and sort;
// a TIFF rewritten after it was handed over is read again. A cancelled load leaves the set
// released.
TEST_F(ExposureSetTest, SameSetWithOneThreadManyOrPreloadedFramesAndCancelReleases) {
    for (int i = 0; i < 5; ++i) {
        Add("f" + std::to_string(i), test::MakeFrame(33, 17, [i](int x, int y, int c) {
                return static_cast<uint16_t>((x * 131 + y * 71 + c * 13) * (5 - i) % 60000);
            }));
    }
    FramePreloader preloaded;
    for (int i = 0; i < 4; ++i) {
        preloaded.Submit(Tiff("f" + std::to_string(i)));
    }
    WriteTiff(test::ConstantFrame(33, 17, 9, 9, 9), Tiff("f2"));
    ExposureSet sets[3];
    Lines logs[3];
    for (int run = 0; run < 3; ++run) {
        RecorderChannel channel;
        const int threads = run == 0 ? 1 : 4;
        ASSERT_EQ(CargarTIFFs(Ruta(), raws_, sets[run], channel, threads,
                              run == 2 ? &preloaded : nullptr),
                  5);
        ASSERT_TRUE(OrdenarPorExposicion(true, sets[run], channel, threads));
        logs[run] = channel.log();
    }
    EXPECT_EQ(sets[0].TIFFMasOscuro, Tiff("f2"));
    for (int run = 1; run < 3; ++run) {
        EXPECT_EQ(logs[run], logs[0]);
        EXPECT_EQ(sets[run].ArchivosTIFF, sets[0].ArchivosTIFF);
        EXPECT_EQ(sets[run].rgb_sums, sets[0].rgb_sums);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(sets[run].Imagenes[i].pixels, sets[0].Imagenes[i].pixels) << run << " " << i;
        }
    }
    // A second load into a loaded set replaces its frames.
    WriteTiff(test::ConstantFrame(33, 17, 7, 7, 7), Tiff("f0"));
    ASSERT_EQ(CargarTIFFs(Ruta(), raws_, sets[0], channel_), 5);
    EXPECT_EQ(sets[0].Imagenes[0].at(32, 16)[0], 7);
    channel_.Cancel();
    EXPECT_THROW(CargarTIFFs(Ruta(), raws_, set_, channel_), Cancelled);
    EXPECT_FALSE(set_.TIFFsCargados);
    EXPECT_EQ(set_.N(), 0);
}

using test::ConstantFrame;
using test::MakeFrame;
using test::TempDir;

constexpr uint32_t kRed = RGB(255, 0, 0);
constexpr uint32_t kGrey = RGB(192, 192, 192);

// A set in memory, its TIFF names in `dir` (the files themselves are not needed).
ExposureSet SetOf(const TempDir& dir, std::vector<Frame> frames) {
    return test::SetOf(std::move(frames), dir.file("img"));
}

// One run of Calc EV over `frames` in `dir`.
int Compute(const TempDir& dir, ExposureSet& set, bool average, RecorderChannel& channel,
            int threads = 1, int32_t green_clip = kClipLevel) {
    RelativeExposureSettings settings;
    settings.average = average;
    settings.clip[1] = green_clip;
    return CalcularExpRelativas(dir.file("ref.CR2"), settings, set, channel, threads);
}

// Frame `stops` EV above a linear base well inside the valid window.
Frame StepWedge(int w, int h, int stops) {
    return MakeFrame(w, h, [stops](int x, int y, int c) {
        return static_cast<uint16_t>((2000 + 97 * x + 53 * y + 311 * c) << stops);
    });
}

// Frames 0, 0, 1, 2 and 3 EV above one base: E = 1, 1, 1/2, 1/4, 1/8 (b / a = 2 puts every
// sample in bin Round(ln 2 x 1000 / ln 2) = 1000). Interior pixels (7 x 7 of 9 x 9) give three
// samples each: 147 / 243 = 60.5 %. The Median method's histogram has one 128-row band per pair,
// the red line at x = 0 for the identical pair and x = 125 (the 1 EV grid line) for the others,
// and never replaces a file already there. The identical pair is no bracket step: the log says so
// after the read-out.
TEST(RelativeExposure, StepsLogAndHistogramBands) {
    TempDir dir;
    const std::string taken = dir.file("His_" + TimeHHMMSS() + ".gif");
    test::Touch(taken);
    std::vector<Frame> frames;
    for (int stops : {0, 0, 1, 2, 3}) {
        frames.push_back(StepWedge(9, 9, stops));
    }
    ExposureSet set = SetOf(dir, std::move(frames));
    RecorderChannel channel;
    ASSERT_EQ(Compute(dir, set, false, channel), 1);
    EXPECT_EQ(set.ExpRelativas, (std::vector<double>{1, 1, 0.5, 0.25, 0.125}));
    EXPECT_EQ(std::filesystem::file_size(taken), 0u);
    std::filesystem::remove(taken);
    const auto gifs = test::FilesLike(dir.path(), "His_");
    ASSERT_EQ(gifs.size(), 1u);
    EXPECT_EQ(channel.log(),
              (Lines{"\nCalculating relative exposure...", "img1.tiff: 1 (0EV)",
                     "img2.tiff: 1 (+0EV) (60.5% lev)", "img3.tiff: 2 (+1EV) (60.5% lev)",
                     "img4.tiff: 4 (+2EV) (60.5% lev)", "img5.tiff: 8 (+3EV) (60.5% lev)",
                     "Not a bracket: 1 of 4 exposure steps under 0.17EV, the smallest +0EV from "
                     "img1.tiff to img2.tiff",
                     "\nSaving exposure histogram as " + NombreArchivo(gifs[0]) + "...", "DONE"}));
    EXPECT_EQ(channel.beeps(), 1);
    Picture gif;
    gif.LoadFromFile(gifs[0]);
    EXPECT_EQ(gif.GetWidth(), 1024);
    EXPECT_EQ(gif.GetHeight(), 512);
    for (int band = 0; band < 4; ++band) {
        const int red = band == 0 ? 0 : 125;
        for (int y = 0; y < 128; ++y) {
            EXPECT_EQ(gif.GetPixelColor(red, band * 128 + y), kRed) << band << " " << y;
        }
        // Every sample lies in the column under the red line; its neighbour holds no bar.
        EXPECT_EQ(gif.GetPixelColor(band == 0 ? 1 : 124, band * 128 + 100), kWhite);
    }
    // The dotted grid at 2 EV: grey on even rows, white between.
    EXPECT_EQ(gif.GetPixelColor(250, 126), kGrey);
    EXPECT_EQ(gif.GetPixelColor(250, 127), kWhite);
}

// Green clips at 6000 in the brighter frame's right half, as a headroom development's green
// clips far below the fixed level: that level lets the clipped samples in and the Average step
// drifts; a green level below the clip keeps them out and the step at 1 EV.
TEST(RelativeExposure, PerChannelClipLevelsKeepClippedGreenOut) {
    const Frame brighter = MakeFrame(40, 10, [](int x, int y, int c) {
        const int v = (2000 + 97 * x + 53 * y + 311 * c) << 1;
        return static_cast<uint16_t>(c == 1 && x >= 20 ? std::min(v, 6000) : v);
    });
    for (bool average : {true, false}) {
        std::vector<double> e2;
        for (int32_t green_clip : {kClipLevel, 5999}) {
            TempDir dir;
            ExposureSet set = SetOf(dir, {StepWedge(40, 10, 0), brighter});
            RecorderChannel channel;
            ASSERT_EQ(Compute(dir, set, average, channel, 1, green_clip), 1);
            e2.push_back(set.ExpRelativas[1]);
        }
        if (average) {
            EXPECT_GT(e2[0], 0.5 + 0.01);  // the Median outvotes a third of bad samples
        }
        EXPECT_EQ(e2[1], 0.5) << average;
    }
}

// Gaps too wide or too narrow, frames of unequal size and a cancel: no histogram, and the
// exposures as given (a cancel or an unexpected error leaves the earlier ones).
TEST(RelativeExposure, GapErrorsUnequalFramesAndCancel) {
    const std::vector<Frame> wide = {StepWedge(10, 10, 0),
                                     ConstantFrame(10, 10, 60000, 58982, 65535)};
    // Summing more in the darker-sorted frame is too narrow for Average; the Median method has
    // no such test and puts the samples into bin 0 (then bin 1000 for the next pair), which is
    // no bracket step: a warning, and the exposures measured.
    const std::vector<Frame> narrow = {ConstantFrame(6, 6, 3001, 3001, 3001),
                                       ConstantFrame(6, 6, 3000, 3000, 3000),
                                       ConstantFrame(6, 6, 6000, 6000, 6000)};
    const std::vector<Frame> unequal = {StepWedge(6, 6, 0), StepWedge(7, 6, 1)};
    const std::string too = "ERROR: Too ";
    const std::string gap = " exposure gap between img1.tiff and img2.tiff";
    const std::string none = "<0 boxes>";
    const struct {
        const std::vector<Frame>* frames;
        bool average;
        bool cancel;
        std::string box;  // the start of the only box
        std::vector<double> e;
    } cases[] = {
        {&wide, true, false, too + "wide" + gap, {1, 0}},
        {&wide, false, false, too + "wide" + gap, {1, 0}},
        {&narrow, true, false, too + "narrow" + gap, {1, 0, 0}},
        {&narrow, false, false, "WARNING: These frames are not a bracket: 1 of 2 ", {1, 1, 0.5}},
        {&unequal,
         false,
         false,
         "ERROR: Unexpected error occurred in module CalcularExpRelativas ",
         {1, 0.25}},
        {&wide, false, true, none, {1, 0.25}},
    };
    for (const auto& test_case : cases) {
        const bool measured = !test_case.box.starts_with("ERROR") && !test_case.cancel;
        TempDir dir;
        ExposureSet set = SetOf(dir, *test_case.frames);
        set.ExpRelativas = {1, 0.25};
        RecorderChannel channel;
        if (test_case.cancel) {
            channel.Cancel();
            EXPECT_THROW(Compute(dir, set, false, channel), Cancelled);
        } else {
            EXPECT_EQ(Compute(dir, set, test_case.average, channel), measured ? 1 : -1);
        }
        EXPECT_EQ(set.ExpRelativas, test_case.e) << test_case.box;
        EXPECT_EQ(test::OnlyBox(channel).rfind(test_case.box, 0), 0u) << test::OnlyBox(channel);
        if (test_case.box.starts_with(too)) {
            EXPECT_EQ(channel.log(),
                      (Lines{"\nCalculating relative exposure...", "img1.tiff: 1 (0EV)",
                             test_case.box.substr(7, test_case.box.find(" between") - 7), "DONE"}));
        }
        EXPECT_EQ(test::FilesLike(dir.path(), "His_").size(), measured ? 1u : 0u);
    }
}

// The step of one pair written as plainly as it is described: x outer, y inner, the neighbours
// tested one by one, ln(b / a) evaluated for every sample. Which samples count: the border ring
// never; the 8 neighbours of a pixel clipped in the brighter frame never; per channel, only
// 1024 < v < 58982 in both frames; brighter samples weigh more in the median. `share` is the
// read-out's percentage of the samples taken.
double NaiveStep(const Frame& a, const Frame& b, bool average, double previous_exposure,
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
        *share = RoundHalfEven(1000.0 * taken / (3.0 * a.width * a.height)) / 10;
    }
    if (average) {
        return sa / sb * previous_exposure;
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
    return previous_exposure / std::pow(2.0, k / 1000.0);
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
        const double e2 = NaiveStep(frames[0], frames[1], average, 1.0, &share);
        const double e3 = NaiveStep(frames[1], frames[2], average, e2);
        std::vector<std::string> logs[2];
        for (int threads : {1, 0}) {
            TempDir dir;
            ExposureSet set = SetOf(dir, frames);
            RecorderChannel channel;
            ASSERT_EQ(Compute(dir, set, average, channel, threads), 1);
            EXPECT_EQ(set.ExpRelativas, (std::vector<double>{1.0, e2, e3})) << average;
            const std::string lev = "(" + NumberText(share) + "% lev)";
            EXPECT_TRUE(channel.log()[2].ends_with(lev)) << channel.log()[2] << " " << lev;
            EXPECT_EQ(test::FilesLike(dir.path(), "His_").size(),
                      average ? 0u : 1u);  // the Median method's only
            logs[threads == 0] = channel.log();
            logs[threads == 0].resize(4);  // up to the last read-out line
        }
        EXPECT_EQ(logs[0], logs[1]);
    }
}

}  // namespace
}  // namespace brimsal
