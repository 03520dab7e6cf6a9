// The blend's arithmetic (kernel against a pixel-by-pixel reference, ETTR, contribution sums),
// then FusionarImagenes from the map file to the written outputs, variants and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "base/NumberText.h"
#include "base/UserChannel.h"
#include "blend/Blend.h"
#include "blend/BlendFixtures.h"
#include "blend/BlendKernel.h"
#include "blend/BlendMap.h"
#include "blend/BlendSettings.h"
#include "blend/Ettr.h"
#include "image/Picture.h"
#include "image/PngRows.h"
#include "image/TiffIO.h"
#include "maps/MapState.h"
#include "support/RecorderChannel.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {
namespace {

// The reference: every step written as the blend describes it, one pixel at a time.
uint16_t ReferenceWord(double v) {
    const double r = std::nearbyint(v);
    return static_cast<uint16_t>(std::clamp(r, 0.0, 65535.0));
}

std::vector<std::vector<uint16_t>> ReferenceBlend(const BlendData& d) {
    std::vector<std::vector<uint16_t>> outputs(d.output_factors.size(),
                                               std::vector<uint16_t>(d.width * d.height * 3));
    for (int x = 0; x < d.width; ++x) {
        for (int y = 0; y < d.height; ++y) {
            const float m = d.table[d.levels[y * d.width + x]].m;
            const int k = static_cast<int>(std::floor(m));
            double v[3];
            if (m == static_cast<float>(k)) {
                const uint16_t* c = d.images[k - 1]->at(x, y);
                for (int i = 0; i < 3; ++i) {
                    v[i] = c[i] * d.factors[k - 1];
                }
            } else {
                const float f = m - static_cast<float>(k);
                const uint16_t* c1 = d.images[k - 1]->at(x, y);
                const uint16_t* c2 = d.images[k]->at(x, y);
                for (int i = 0; i < 3; ++i) {
                    v[i] = c1[i] * d.factors[k - 1] * (1.0 - f) + c2[i] * d.factors[k] * f;
                }
            }
            if (d.transform.salida_bn) {
                const PesosMezcla& p = d.transform.weights;
                const double l = std::max(0.0, static_cast<double>(p.r) * v[0] +
                                                   static_cast<double>(p.g) * v[1] +
                                                   static_cast<double>(p.b) * v[2]);
                v[0] = v[1] = v[2] = l;
            }
            if (d.transform.gamma_inversa != 1.0f) {
                for (double& value : v) {
                    value = 65535 *
                            std::pow(value / 65535, static_cast<double>(d.transform.gamma_inversa));
                }
            }
            for (size_t b = 0; b < outputs.size(); ++b) {
                for (int i = 0; i < 3; ++i) {
                    outputs[b][(y * d.width + x) * 3 + i] =
                        ReferenceWord(v[i] * d.output_factors[b]);
                }
            }
        }
    }
    return outputs;
}

std::vector<uint8_t> RandomLevels(int count, std::mt19937& random) {
    std::vector<uint8_t> levels(static_cast<size_t>(count));
    for (auto& level : levels) {
        level = static_cast<uint8_t>(random() & 0xFF);
    }
    return levels;
}

struct Case {
    std::vector<Frame> frames;
    std::vector<uint8_t> levels;
    BlendData data;
};

// Random frames (with clipped pixels), a map using every level of a 4-frame table plus two
// hand-set fractions, and exposure factors that are not powers of two.
Case RandomCase(bool bn, float gamma_inversa, std::vector<double> output_factors) {
    const int width = 61;
    const int height = 37;
    const int n = 4;
    Case test_case;
    std::mt19937 random(2024);
    for (int k = 0; k < n; ++k) {
        test_case.frames.push_back(test::MakeFrame(width, height, [&](int, int, int) {
            const uint32_t r = random() % 70000;
            return static_cast<uint16_t>(std::min<uint32_t>(r, 65535));
        }));
    }
    test_case.levels = RandomLevels(width * height, random);
    std::array<float, 256> index = BuildIndicePorNivel(n);
    index[17] = 2.25f;
    index[18] = 3.5f;
    BlendData& d = test_case.data;
    d.width = width;
    d.height = height;
    d.levels = test_case.levels.data();
    d.table = DecodeLevels(index, n);
    for (const Frame& f : test_case.frames) {
        d.images.push_back(&f);
    }
    d.factors = {1.7, 0.41, 0.1337, 0.029};
    d.transform = {bn, {0.33f, 0.33999994f, 0.33f}, gamma_inversa};
    d.output_factors = std::move(output_factors);
    return test_case;
}

// Computes the whole image in uneven bands, as the band writer may cut it.
std::vector<std::vector<uint16_t>> BlendInBands(const BlendData& data) {
    const RowBlender blend(data);
    std::vector<std::vector<uint16_t>> outputs(data.output_factors.size(),
                                               std::vector<uint16_t>(data.width * data.height * 3));
    const int cuts[] = {0, 1, 8, 9, 30, data.height};
    for (int i = 0; i + 1 < 6; ++i) {
        std::vector<uint16_t*> targets;
        for (auto& s : outputs) {
            targets.push_back(s.data() + cuts[i] * data.width * 3);
        }
        blend.ComputeRows(cuts[i], cuts[i + 1], targets.data());
    }
    return outputs;
}

TEST(BlendKernel, MatchesThePixelByPixelReference) {
    // Colour linear; colour through the curve (genuine pixels use the per-word table); B&W
    // through the curve.
    const float g22 = static_cast<float>(1.0 / 2.2);
    const struct {
        bool bn;
        float gamma_inversa;
        std::vector<double> output_factors;
    } cases[] = {
        {false, 1.0f, {1.0, 4.0}},
        {false, g22, {1.0, std::pow(4.0, double{g22}), std::pow(16.0, double{g22})}},
        {true, 0.33333334f, {1.0, 2.0}},
    };
    for (const auto& c : cases) {
        const Case test_case = RandomCase(c.bn, c.gamma_inversa, c.output_factors);
        const auto outputs = BlendInBands(test_case.data);
        EXPECT_EQ(outputs, ReferenceBlend(test_case.data)) << c.bn << " " << c.gamma_inversa;
    }
}

TEST(BlendOutputTransform, NegativeMixIsBlackNeverANaN) {
    // Weights 9 and 91 leave a float green a hair below zero: a green-only pixel mixes below
    // zero, which is 0 before the curve, never a NaN.
    const float r = 0.09f;
    const float b = 0.91f;
    ASSERT_LT((1.0f - r) - b, 0.0f);
    double w[3] = {0.0, 60000.0, 0.0};
    ApplyOutputTransform({true, {r, (1.0f - r) - b, b}, static_cast<float>(1.0 / 2.2)}, w);
    EXPECT_EQ(w[0], 0.0);
    EXPECT_EQ(w[2], 0.0);
}

// The settings' worked values, which the kernel takes as given. 0.33f is 11072963 x 2^-25 and
// 1 - 0.33f falls halfway between two floats, so green ends at 0.33999994f; the inverse gamma is
// the double quotient stored as a float (the float quotient would be 0.45454544).
TEST(BlendSettings, FloatWeightsInverseGammaBracketsAndNames) {
    const auto settings = [](int bwr, int bwb, int gamma10, int num = 1, int step = 2) {
        BlendSettings made;
        made.BWR = bwr;
        made.BWB = bwb;
        made.Gamma10 = gamma10;
        made.NumBracketing = num;
        made.PasoBracketing = step;
        return made;
    };
    EXPECT_EQ(PesoR(settings(33, 10, 22)), 0.33f);
    EXPECT_EQ(PesoB(settings(10, 33, 22)), 0.33f);
    EXPECT_EQ(PesoG(settings(33, 33, 22)), 0.33999994f);
    EXPECT_EQ(PesoG(settings(50, 50, 22)), 0.0f);
    EXPECT_EQ(GammaInversa(settings(0, 0, 22)), 0.45454547f);
    EXPECT_EQ(GammaInversa(settings(0, 0, 10)), 1.0f);
    for (int g10 = 10; g10 <= 30; ++g10) {
        std::string name = std::to_string(g10 / 10);
        if (g10 % 10 != 0) {
            name += '.';
            name += std::to_string(g10 % 10);
        }
        EXPECT_EQ(GammaNameText(GammaInversa(settings(0, 0, g10))), name);
    }
    EXPECT_EQ(FactorBracketing(settings(0, 0, 22, 3, 2), 1), 1.0);
    EXPECT_NEAR(FactorBracketing(settings(0, 0, 22, 3, 2), 2), 1.87786, 1e-5);  // 4 ^ 0.45454547
    EXPECT_EQ(BracketText(1, 2), "NO BRACKETING");
    EXPECT_EQ(BracketText(3, 4), "0 +4 +8");
    BlendSettings adobe = settings(33, 33, 18, 3, 4);
    adobe.Profile = "Adobe RGB";  // blanks leave the profile's name
    EXPECT_EQ(OutputBaseName(adobe, false, "143052") + BracketSuffix(adobe, 3),
              "BR_143052_AdobeRGB_g1.8_+8EV");
    // The output word rounds half to even and clamps; NaN is black.
    const std::pair<double, uint16_t> words[] = {{562.5, 562},     {563.5, 564},   {65534.5, 65534},
                                                 {65535.5, 65535}, {1e300, 65535}, {0.5, 0},
                                                 {std::nan(""), 0}};
    for (const auto& [value, word] : words) {
        EXPECT_EQ(OutputWord(value), word) << value;
    }
}

TEST(Ettr, CorrectionLineAndFactors) {
    const PesosMezcla thirds{0.33f, 0.33999994f, 0.33f};
    // A dark frame with one bright pixel (r, g, b) somewhere inside.
    auto dark = [](uint16_t r, uint16_t g, uint16_t b) {
        Frame frame = test::ConstantFrame(37, 23, 100, 200, 150);
        uint16_t* p = frame.at(30, 17);
        p[0] = r;
        p[1] = g;
        p[2] = b;
        return frame;
    };
    const struct {
        const char* name;
        Frame dark;
        bool bw;
        std::string line;  // the line after "Calculating ETTR correction..."
        double m;          // the brightest value the factors are scaled by; 0: factors unchanged
    } cases[] = {
        // 65535 / 32768 = 1.99997: C = 0.99998, logged +1EV; the largest channel counts.
        {"half scale", dark(1000, 32768, 20), false, "Histogram correction by +1EV", 32768},
        {"clipped", dark(0, 0, 65535), false, "Already clipped highlights", 0},
        {"all black", test::ConstantFrame(5, 4, 0, 0, 0), false, "No highlights to correct", 0},
        // B&W tests the mix: one clipped channel, 0.33 x 65535 = 21626.55 rounds to 21627, and
        // log2(65535 / 21627) = 1.5994.
        {"B&W one channel", dark(65535, 0, 0), true, "Histogram correction by +1.599EV", 21627},
        // All three clipped: the float weights add up to a hair below 1; the mix rounds back.
        {"B&W all clipped", dark(65535, 65535, 65535), true, "Already clipped highlights", 0},
    };
    const std::vector<double> relative = {1.0, 0.25, 0.0625};
    for (const auto& c : cases) {
        std::vector<double> factors = relative;
        RecorderChannel channel;
        EttrCorrection(c.dark, c.bw, thirds, relative, factors, channel, 2);
        EXPECT_EQ(channel.log(),
                  (std::vector<std::string>{"\nCalculating ETTR correction...", c.line}))
            << c.name;
        std::vector<double> expected = relative;
        if (c.m > 0) {
            EXPECT_EQ(EttrBrightest(c.dark, c.bw, thirds), c.m) << c.name;
            for (double& e : expected) {
                e = e * 65535 / c.m;  // E(i) x 65535 / M, left to right
            }
        }
        EXPECT_EQ(factors, expected) << c.name;
    }
}

// The contribution sums are taken per level; the pixel-by-pixel sum in the column-by-column
// scan (x outer, y inner) must give the same doubles bit for bit, and so must any thread count.
TEST(BlendMapContributions, PerLevelSumEqualsPixelScanBitForBit) {
    const int width = 211;
    const int height = 97;
    const int n = 7;
    std::array<float, 256> index = BuildIndicePorNivel(n);
    index[3] = 1.1f;  // odd fractions with long mantissas
    index[4] = 6.9999995f;
    std::mt19937 random(12345);
    const std::vector<uint8_t> levels = RandomLevels(width * height, random);
    std::vector<double> expected(n, 0.0);
    int64_t progressive = 0;
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            const float m = index[levels[static_cast<size_t>(y) * width + x]];
            const int k = static_cast<int>(std::floor(m));
            const float f = m - static_cast<float>(k);
            expected[k - 1] += f == 0.0f ? 1.0 : 1.0 - static_cast<double>(f);
            if (f != 0.0f) {
                expected[k] += f;
                ++progressive;
            }
        }
    }
    const LevelTable table = DecodeLevels(index, n);
    for (int threads : {1, 2, 5}) {
        const MapContribution c =
            ComputeContributions(CountLevels(levels.data(), width * height, threads), table, n);
        EXPECT_EQ(c.Contribuciones, expected) << threads;
        EXPECT_EQ(c.PixelesProgresivos, progressive);
    }
}

using test::ConstantFrame;
using test::FixtureSession;
using test::MakeFrame;
using test::OutputsInLog;
using Lines = std::vector<std::string>;

BlendSettings Linear() {
    BlendSettings settings;
    settings.Gamma10 = 10;
    return settings;
}

int Blend(FixtureSession& run, RecorderChannel& channel, const BlendSettings& settings,
          bool bw = false, int threads = 2) {
    return FusionarImagenes(run.session.Ruta, bw, settings, run.session.set, run.session.map,
                            channel, threads);
}

// Three constant frames 4 x 2 (frame 1 = (100, 200, 300), frame 2 = (1000, 2000, 4000), frame 3
// = (3000, 6000, 12000)) with factors 1, 0.5, 0.25; map: three pixels of frame 1, two of frame
// 2, two of frame 3 and pixel (3, 1) at level 100, which the table sets to 2.25.
std::unique_ptr<FixtureSession> WithTransition() {
    auto run =
        std::make_unique<FixtureSession>(std::vector<Frame>{ConstantFrame(4, 2, 100, 200, 300),
                                                            ConstantFrame(4, 2, 1000, 2000, 4000),
                                                            ConstantFrame(4, 2, 3000, 6000, 12000)},
                                         std::vector<double>{1.0, 0.5, 0.25},
                                         std::vector<uint8_t>{255, 255, 255, 128, 128, 0, 0, 100});
    run->session.map.IndicePorNivel[100] = 2.25f;
    return run;
}

// The worked example, then the same set under a comma locale.
TEST(BlendRun, TransitionPixelInStatisticsOutputAndProgressiveMap) {
    auto run = WithTransition();
    RecorderChannel channel;
    ASSERT_EQ(Blend(*run, channel, Linear()), 1);
    const auto names = OutputsInLog(channel.log());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(channel.log(),
              (Lines{"Loading blending map...", "Image contribution...", "IMG_1.tiff: 37.5%",
                     "IMG_2.tiff: 34.4%", "IMG_3.tiff: 28.1%", "87.5% genuine pixels",
                     "Saving PNG progressive map as Map_120000_PB.png...", "\nBlending images...",
                     "Building output file...", "Saving image as " + names[0], "DONE"}));
    EXPECT_EQ(channel.beeps(), 1);
    EXPECT_TRUE(channel.boxes().empty());
    const Frame out = run->Output(names[0]);
    // Genuine pixels: c x F(k). The transition: 0.75 x 1000 x 0.5 + 0.25 x 3000 x 0.25 = 562.5,
    // written 562 (half to even); green 750 + 375; blue 1500 + 750.
    EXPECT_EQ(out.at(0, 0)[2], 300);
    EXPECT_EQ(out.at(0, 1)[0], 500);
    EXPECT_EQ(out.at(2, 1)[2], 3000);
    EXPECT_EQ((std::vector<uint16_t>(out.at(3, 1), out.at(3, 1) + 3)),
              (std::vector<uint16_t>{562, 1125, 2250}));
    // The progressive map: genuine red, the transition in the map's grey.
    Picture pb;
    pb.LoadFromFile(run->dir.file("Map_120000_PB.png"));
    EXPECT_EQ(pb.GetPixelColor(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(pb.GetPixelColor(2, 1), RGB(255, 0, 0));
    EXPECT_EQ(pb.GetPixelColor(3, 1), RGB(100, 100, 100));
    // Numbers in log lines follow the user's decimal separator; numbers in file names never do.
    test::NumericLocale comma("de_DE.UTF-8");
    if (comma.available()) {
        run->session.set.Imagenes[0].at(0, 0)[0] = 43690;
        BlendSettings settings;  // gamma 2.2
        settings.ETTR = true;
        settings.NumBracketing = 2;
        RecorderChannel local;
        ASSERT_EQ(Blend(*run, local, settings), 1);
        EXPECT_TRUE(local.logContains("IMG_2.tiff: 34,4%"));
        EXPECT_TRUE(local.logContains("87,5% genuine pixels"));
        EXPECT_TRUE(local.logContains("Histogram correction by +0,585EV"));
        const auto local_names = OutputsInLog(local.log());
        ASSERT_EQ(local_names.size(), 2u);
        EXPECT_NE(local_names[0].find("_sRGB_g2.2_0EV.tif"), std::string::npos) << local_names[0];
        EXPECT_NE(local_names[1].find("_sRGB_g2.2_+2EV.tif"), std::string::npos) << local_names[1];
    }
}

// Every failure leaves the folder as it was; all but the two map checks end in the report of an
// unexpected error.
TEST(BlendRun, FailuresWriteNothing) {
    const struct {
        const char* name;
        std::function<void(FixtureSession&)> prepare;
        std::string box;  // a part of the box text
        Lines log;
    } cases[] = {
        {"map one pixel narrower",
         [](FixtureSession& p) {
             test::WriteMap(p.session.map.map_path, 3, 2, std::vector<uint8_t>(6, 255));
         },
         "ERROR: Map dimensions do not match image dimensions",
         {"Loading blending map...", "Map dimensions mismatch", "DONE"}},
        // A table built for five frames: level 0 stands for frame 5 of a set of 3.
        {"level outside the set",
         [](FixtureSession& p) { p.session.map.IndicePorNivel = BuildIndicePorNivel(5); },
         "module FusionarImagenes \nError number 9, described as 'Subscript out of range",
         {"An unexpected error occurred"}},
        {"missing map file",
         [](FixtureSession& p) { p.session.map.map_path = p.dir.file("Map_999999.png"); },
         "module FusionarImagenes \nError number 53",
         {"An unexpected error occurred"}},
        // The map records the set size it was built for: its levels would name other frames.
        {"map of a 5-frame set",
         [](FixtureSession& p) {
             Picture map;
             map.LoadFromFile(p.session.map.map_path);
             map.SetText(kMapFramesKey, "5");
             map.SaveToFile(p.session.map.map_path);
         },
         "ERROR: The map was built for a set of 5 images; this set has 3. Build the map again.",
         {"Loading blending map...", "Map built for 5 images", "DONE"}},
        {"darkest TIFF gone",
         [](FixtureSession& p) {
             p.session.set.Imagenes[0].release();
             p.session.set.TIFFMasOscuro = p.dir.file("gone.tiff");
         },
         "module gflLoadBitmap [",
         {"An unexpected error occurred"}},
    };
    for (const auto& c : cases) {
        auto run = WithTransition();
        c.prepare(*run);
        const auto before = run->Files();
        RecorderChannel channel;
        EXPECT_EQ(Blend(*run, channel, Linear()), -1) << c.name;
        EXPECT_NE(test::OnlyBox(channel).find(c.box), std::string::npos) << test::OnlyBox(channel);
        EXPECT_EQ(channel.log(), c.log) << c.name;
        EXPECT_EQ(run->Files(), before) << c.name;
    }
}

// The progressive map's file cannot be created (its name is too long for the file system): the
// outputs are still written and a warning says what is missing.
TEST(BlendRun, ProgressiveMapThatCannotBeWrittenCostsNoOutput) {
    auto run = WithTransition();
    const std::string longer = run->dir.file(std::string(246, 'm') + ".png");
    std::filesystem::rename(run->session.map.map_path, longer);
    run->session.map.map_path = longer;
    RecorderChannel channel;
    ASSERT_EQ(Blend(*run, channel, Linear()), 1);
    ASSERT_EQ(channel.boxes().size(), 1u);
    EXPECT_EQ(channel.boxes()[0].title, "WARNING");
    EXPECT_EQ(channel.boxes()[0].text.rfind("The progressive map " + std::string(246, 'm'), 0), 0u);
    EXPECT_EQ(run->Output(OutputsInLog(channel.log()).at(0)).at(3, 1)[0], 562);
    EXPECT_EQ(run->Files().size(), 4u);  // ref, darkest TIFF, map, output
}

// Cancelled once the progressive map is started: neither the outputs nor that map are left.
TEST(BlendRun, CancelLeavesNoOutputFileNorProgressiveMap) {
    class CancelAfterProgressiveMap : public RecorderChannel {
      public:
        bool CancelRequested() const override {
            return logContains("Saving PNG progressive map as Map_120000_PB.png...");
        }
    };
    auto run = WithTransition();
    const auto before = run->Files();
    CancelAfterProgressiveMap channel;
    EXPECT_THROW(Blend(*run, channel, Linear()), Cancelled);
    EXPECT_EQ(run->Files(), before);
}

// The second output of a bracketed set cannot be put in place (its finished file vanished): the
// box names it, no output stays under its final name, and the other finished outputs are kept
// aside under names that say so (the progressive map of a failed blend goes).
TEST(BlendRun, BracketedSetIsPlacedWholeOrNotAtAll) {
    class LoseSecondOutput : public RecorderChannel {
      public:
        explicit LoseSecondOutput(std::string folder) : folder_(std::move(folder)) {}
        void ShowProgress(const std::string& text) override {
            RecorderChannel::ShowProgress(text);
            for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
                if (text == "100%" &&
                    entry.path().filename().string().find("_+2EV.tif.part") != std::string::npos) {
                    std::filesystem::remove(entry.path());
                }
            }
        }

      private:
        std::string folder_;
    };
    auto run = WithTransition();
    const auto before = run->Files();
    BlendSettings settings = Linear();
    settings.NumBracketing = 3;
    LoseSecondOutput channel(run->dir.path());
    EXPECT_EQ(Blend(*run, channel, settings), -1);
    EXPECT_NE(test::OnlyBox(channel).find("_+2EV.tif"), std::string::npos)
        << test::OnlyBox(channel);
    std::vector<std::string> placed;
    for (const std::string& file : run->Files()) {
        if (std::find(before.begin(), before.end(), file) == before.end()) {
            placed.push_back(file.substr(file.find("_g1_")));
        }
    }
    // Nothing under a final name; the outputs that were finished are kept aside, named.
    EXPECT_EQ(placed, (std::vector<std::string>{"_g1_+4EV.tif.complete", "_g1_0EV.tif.complete"}));
    EXPECT_NE(test::OnlyBox(channel).find("_0EV.tif.complete"), std::string::npos);
}

// Headroom folds F into the factors (16-bit clamps, ETTR measures on the output's scale); float
// outputs are value / 65535 unclamped, and a pixel saturated in every channel of the darkest
// frame is neutral at 65535 x F(1) instead of the colour the channels stopped at.
TEST(BlendVariants, HeadroomFactorFloatOutputAndNeutralClip) {
    const DevelopScale headroom = HeadroomScale(WhiteBalanceSettings{});  // Daylight
    const double f = headroom.factor;
    const Frame saturated = MakeFrame(2, 1, [](int x, int, int c) {
        const uint16_t clip_words[3] = {65535, 30731, 45509};  // dcraw's -H 1 clip, Daylight
        const uint16_t plain[3] = {1000, 2000, 3000};
        return x == 0 ? clip_words[c] : plain[c];
    });
    const Frame brighter = ConstantFrame(2, 1, 10000, 5001, 7001);
    const struct {
        Frame one;
        bool headroom;
        bool ettr;
        bool float_output;
        std::array<double, 6> expected;  // pixels (0, 0) and (1, 0); floats: x 65535 / F
    } cases[] = {
        {saturated, true, false, false, {65535, 65533, 65535, 2132, 4265, 6397}},
        {saturated, true, false, true, {65535, 65535, 65535, 1000, 2000, 3000}},
        {saturated, false, false, true, {65535, 30731, 45509, 1000, 2000, 3000}},
        // M = 10000 x F on the output's scale: +1.62EV, 10000 reaches 65535 as without headroom.
        {brighter, true, true, false, {65535, 32774, 45881, 65535, 32774, 45881}},
    };
    for (const auto& test_case : cases) {
        FixtureSession fixture({test_case.one, ConstantFrame(2, 1, 0, 0, 0)}, {1.0, 0.5},
                               {255, 255});
        BlendSettings settings = Linear();
        settings.ETTR = test_case.ettr;
        settings.floatOutput = test_case.float_output;
        settings.scale = test_case.headroom ? headroom : DevelopScale{};
        RecorderChannel channel;
        ASSERT_EQ(Blend(fixture, channel, settings), 1);
        EXPECT_EQ(channel.logContains("\nSet developed with headroom: F = " + NumberText(f)),
                  test_case.headroom);
        EXPECT_EQ(channel.logContains("Histogram correction by +" + NumberText(1.62) + "EV"),
                  test_case.ettr);
        const std::string name = OutputsInLog(channel.log())[0];
        EXPECT_EQ(name.ends_with("_g1_float.tif"), test_case.float_output) << name;
        int width = 0;
        int height = 0;
        const std::vector<float> floats = test_case.float_output
                                              ? ReadFloatTiff(fixture.dir.file(name), width, height)
                                              : std::vector<float>();
        const Samples words = test_case.float_output ? Samples() : fixture.Output(name).pixels;
        for (size_t p = 0; p < 6; ++p) {
            if (test_case.float_output) {
                EXPECT_FLOAT_EQ(floats[p],
                                test_case.expected[p] * (test_case.headroom ? f : 1) / 65535)
                    << p;
            } else {
                EXPECT_EQ(words[p], test_case.expected[p]) << p;
            }
        }
    }
}

TEST(BlendState, ExistingFilesAreNeverOverwritten) {
    auto run = WithTransition();
    test::Touch(run->dir.file("Map_120000_PB.png"));
    // Occupy the output name of this second and the next few.
    const std::time_t now = std::time(nullptr);
    for (int s = 0; s < 5; ++s) {
        const std::time_t t = now + s;
        std::tm local{};
        localtime_r(&t, &local);
        char hhmmss[16];
        std::strftime(hhmmss, sizeof hhmmss, "%H%M%S", &local);
        test::Touch(run->dir.file(std::string("BR_") + hhmmss + "_sRGB_g1.tif"));
    }
    RecorderChannel channel;
    ASSERT_EQ(Blend(*run, channel, Linear()), 1);
    EXPECT_TRUE(channel.logContains("Saving PNG progressive map as Map_120000_PB_2.png..."));
    EXPECT_EQ(std::filesystem::file_size(run->dir.file("Map_120000_PB.png")), 0u);
    const std::string name = OutputsInLog(channel.log())[0];
    EXPECT_NE(name.find("_sRGB_g1_2.tif"), std::string::npos) << name;
    EXPECT_EQ(run->Output(name).at(0, 0)[0], 100);
}

// The levels Build map kept serve the blend while the map file is the one it wrote; a file
// changed since (edited by the user) is read instead.
TEST(BlendState, KeptLevelsServeOnlyWhileTheMapFileIsTheOneWritten) {
    auto run = WithTransition();
    MapState& map = run->session.map;
    const FileStamp written = StampOf(map.map_path).value();
    map.built = BuiltMap{NewPngHeader(4, 2, PngColour::kGrey), 3,
                         std::make_shared<std::vector<uint8_t>>(8, 255), map.map_path, written};
    const std::string progressive = "Saving PNG progressive map as Map_120000_PB.png...";
    RecorderChannel kept;
    ASSERT_EQ(Blend(*run, kept, Linear()), 1);
    EXPECT_FALSE(kept.logContains(progressive));  // every kept level is frame 1
    std::filesystem::last_write_time(map.map_path, written.written + std::chrono::seconds(1));
    RecorderChannel edited;
    ASSERT_EQ(Blend(*run, edited, Linear()), 1);
    EXPECT_TRUE(edited.logContains(progressive));  // the file's transition pixel
}

// Blends run one after the other (the darkest frame is never left holding an output) with 1, 2
// and 3 threads, the last with the darkest frame released and reloaded from its TIFF, give the
// same images under new names. (Gamma, B&W and ETTR words: the kernel's and ETTR's own tests.)
TEST(BlendState, BlendsInARowAndAnyThreadCountGiveTheSameImage) {
    const int width = 131;
    const int height = 150;  // more rows than one band of one thread
    std::vector<Frame> frames;
    for (int k = 0; k < 3; ++k) {
        frames.push_back(test::MakeFrame(width, height, [k](int x, int y, int c) {
            return static_cast<uint16_t>((x * 37 + y * 101 + c * 7 + k * 1000) * (k + 1) % 65536);
        }));
    }
    std::vector<uint8_t> levels(width * height);
    for (size_t i = 0; i < levels.size(); ++i) {
        levels[i] = static_cast<uint8_t>(i * 7 % 256);
    }
    FixtureSession run(std::move(frames), {1.0, 0.3, 0.07}, levels);
    BlendSettings settings;
    settings.NumBracketing = 3;
    std::vector<Lines> names;
    for (int threads : {1, 2, 3}) {
        if (threads == 3) {
            run.session.set.Imagenes[0].release();
        }
        RecorderChannel channel;
        ASSERT_EQ(Blend(run, channel, settings, false, threads), 1);
        names.push_back(OutputsInLog(channel.log()));
        ASSERT_EQ(names.back().size(), 3u);
    }
    EXPECT_NE(names[0], names[1]);  // never the same file twice
    for (size_t b = 0; b < 3; ++b) {
        const auto one = run.Output(names[0][b]).pixels;
        EXPECT_EQ(run.Output(names[1][b]).pixels, one);
        EXPECT_EQ(run.Output(names[2][b]).pixels, one);
    }
}

}  // namespace
}  // namespace brimsal
