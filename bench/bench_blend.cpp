// FusionarImagenes on five 6000x4000 frames already in memory: colour at gamma 1.0, colour at
// gamma 2.2 with three bracketed outputs, B&W with ETTR; against the floor of writing one LZW
// TIFF of that size, measured in the same run; then the contact sheet. Prints medians, each
// blend's steps (last run) and the peak resident memory of the runs.
// Usage: bench_blend [runs] [width] [height] [threads] [case 0..2]
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "BenchUtil.h"
#include "base/Parallel.h"
#include "base/QtRuntime.h"
#include "blend/Blend.h"
#include "blend/BlendSettings.h"
#include "bwtest/ContactSheet.h"
#include "image/Picture.h"
#include "image/TiffIO.h"
#include "road/Session.h"
#include "support/RecorderChannel.h"

namespace {

using namespace brimsal;

constexpr int kFrameCount = 5;
constexpr double kThreshold = 58982.0;

// Radiance on the scale of frame 1: a smooth ramp over four decades with some texture.
double Radiance(int x, int y, int w, int h, int c) {
    const double t = (static_cast<double>(x) / w + static_cast<double>(y) / h) / 2.0;
    return std::pow(10.0, 0.7 + 4.0 * t) * (1.0 - 0.2 * c) * (1.0 + 0.05 * std::sin(x * 0.05));
}

// Five frames two EV apart with read noise, the map of the brightest unclipped frame with a
// transition band at each border (levels between two frames), and the level table.
void MakeSession(int w, int h, const std::string& dir, Session& session) {
    ClearUpperVectorState();  // the set-up's pow and sin run after Qt's start-up
    ExposureSet& set = session.set;
    set.AnchoImagen = w;
    set.AltoImagen = h;
    std::vector<uint8_t> levels(static_cast<size_t>(w) * h);
    for (int k = 1; k <= kFrameCount; ++k) {
        set.Imagenes.emplace_back(w, h);
        set.ArchivosTIFF.push_back(dir + "/IMG_" + std::to_string(k) + ".tiff");
        set.ExpRelativas.push_back(std::pow(0.25, k - 1));
    }
    std::mt19937 rng(11);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int chosen = 1;
            for (int k = 1; k <= kFrameCount; ++k) {
                bool valid = true;
                for (int c = 0; c < 3; ++c) {
                    const double v = Radiance(x, y, w, h, c) / set.ExpRelativas[k - 1] +
                                     static_cast<double>(rng() & 31);
                    const double word = std::min(65535.0, std::nearbyint(v));
                    set.Imagenes[static_cast<size_t>(k - 1)].at(x, y)[c] =
                        static_cast<uint16_t>(word);
                    valid = valid && word <= kThreshold;
                }
                if (valid) {
                    chosen = k;
                }
            }
            const int level = static_cast<int>(
                std::nearbyint((chosen - kFrameCount) * 255.0 / (1 - kFrameCount)));
            // Every 16th column of a zone mixes toward the darker neighbour.
            levels[static_cast<size_t>(y) * w + x] =
                static_cast<uint8_t>(chosen > 1 && x % 16 == 0 ? level + 20 : level);
        }
    }
    set.TIFFMasOscuro = set.ArchivosTIFF.front();
    set.TIFFsCargados = true;
    for (int level = 0; level < 256; ++level) {
        session.map.IndicePorNivel[static_cast<size_t>(level)] =
            static_cast<float>(kFrameCount + (1 - kFrameCount) * level / 255.0);
    }
    for (int k = 1; k <= kFrameCount; ++k) {
        session.map.IndicePorNivel[static_cast<size_t>(
            std::nearbyint((k - kFrameCount) * 255.0 / (1 - kFrameCount)))] = static_cast<float>(k);
    }
    session.map.map_path = dir + "/Map_120000.png";
    Picture map;
    map.SetGreyLevels(w, h, levels.data());
    map.SaveToFile(session.map.map_path);
}

// A channel that notes when each log line arrives, to show where a blend spends its time.
class TimedChannel : public SilentChannel {
  public:
    void AnadirLog(const std::string& line, bool append) override {
        if (!append) {
            marks_.clear();
            start_ = std::chrono::steady_clock::now();
        }
        marks_.push_back(
            {line,
             std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count()});
    }
    void Print() const {
        for (size_t i = 0; i + 1 < marks_.size(); ++i) {
            std::string line = marks_[i].first;
            if (!line.empty() && line[0] == '\n') {
                line.erase(0, 1);
            }
            std::printf("    %6.2f s  %s\n", marks_[i + 1].second - marks_[i].second, line.c_str());
        }
    }

  private:
    std::chrono::steady_clock::time_point start_;
    std::vector<std::pair<std::string, double>> marks_;
};

// Removes everything the blend wrote (outputs and progressive maps).
void Clean(const std::string& dir) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("BR_", 0) == 0 || name.find("_PB") != std::string::npos ||
            name.rfind("floor", 0) == 0) {
            std::filesystem::remove(entry.path());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    QtRuntime qt(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    const int w = argc > 2 ? std::atoi(argv[2]) : 6000;
    const int h = argc > 3 ? std::atoi(argv[3]) : 4000;
    const int threads = argc > 4 ? std::atoi(argv[4]) : 0;
    const int only_case = argc > 5 ? std::atoi(argv[5]) : -1;  // run only this case (0..2)
    const std::string dir = (std::filesystem::temp_directory_path() /
                             ("brimsal-bench-blend-" + std::to_string(getpid())))
                                .string();
    std::filesystem::create_directories(dir);
    Session session;
    session.Ruta = dir + "/IMG_1.CR2";
    session.threads = threads;
    MakeSession(w, h, dir, session);
    std::printf("%d frames %dx%d, %d threads, %d runs\n", kFrameCount, w, h,
                threads > 0 ? threads : AvailableThreads(), runs);

    // From here on the peak is the runs' own: frames, map, bands and pictures.
    std::ofstream("/proc/self/clear_refs") << "5";
    const double base = bench::PeakMemoryMiB();
    const double frames = kFrameCount * static_cast<double>(w) * h * 6 / (1 << 20);
    std::printf("resident before the runs %.0f MiB (frames %.0f MiB)\n", base, frames);
    const double floor = bench::MedianSeconds(runs, [&] {
        WriteTiff(session.set.Imagenes.front(), dir + "/floor.tif");
        Clean(dir);
    });
    std::printf("floor: one LZW TIFF written       %7.2f s\n", floor);

    struct Case {
        const char* name;
        bool bn;
        BlendSettings settings;
    };
    BlendSettings lineal;
    lineal.Gamma10 = 10;
    BlendSettings bracketing;
    bracketing.Gamma10 = 22;
    bracketing.NumBracketing = 3;
    BlendSettings bn_ettr;
    bn_ettr.ETTR = true;
    const Case cases[] = {{"colour, gamma 1.0, 1 output ", false, lineal},
                          {"colour, gamma 2.2, 3 outputs", false, bracketing},
                          {"B&W, gamma 2.2, ETTR, 1 output", true, bn_ettr}};
    for (const Case& test_case : cases) {
        if (only_case >= 0 && &test_case != &cases[only_case]) {
            continue;
        }
        TimedChannel channel;
        const double t = bench::MedianSeconds(runs, [&] {
            if (FusionarImagenes(session.Ruta, test_case.bn, test_case.settings, session.set,
                                 session.map, channel, session.threads) != 1) {
                std::fprintf(stderr, "blend failed\n");
                std::exit(1);
            }
            Clean(dir);
        });
        std::printf("%-32s %7.2f s  (%.2f x floor)\n", test_case.name, t, t / floor);
        channel.Print();  // the last run, step by step
    }
    if (only_case < 0) {
        SilentChannel channel;
        const double t = bench::MedianSeconds(runs, [&] {
            if (TestImagenesBN(session.Ruta, session.set, session.map, channel, session.threads) !=
                1) {
                std::fprintf(stderr, "contact sheet failed\n");
                std::exit(1);
            }
            for (const auto& entry : std::filesystem::directory_iterator(dir)) {
                if (entry.path().filename().string().rfind("BWTest_", 0) == 0) {
                    std::filesystem::remove(entry.path());
                }
            }
        });
        std::printf("%-32s %7.2f s\n", "contact sheet (66 cells)", t);
    }
    const double peak = bench::PeakMemoryMiB();
    std::printf("peak during the runs %.0f MiB (%.0f MiB over the resident set before them)\n",
                peak, peak - base);
    std::filesystem::remove_all(dir);
    return 0;
}
