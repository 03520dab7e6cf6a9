// Calc EV (Average and Median) and Build map (radii 0+3, 10+10, 50+50) on five synthetic
// 6000x4000 frames one EV apart, made in memory. Prints the median of each.
// Usage: bench_maps [runs] [width] [height]
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "BenchUtil.h"
#include "base/Parallel.h"
#include "base/QtRuntime.h"
#include "maps/BlendingMap.h"
#include "maps/RelativeExposure.h"
#include "maps/Thresholds.h"
#include "support/RecorderChannel.h"

namespace {

using namespace brimsal;

// A scene spanning about 12 stops left to right with wavy zone borders and fine noise; frame i
// gets 2^i times the light, clipped at 65535.
Frame TestScene(int w, int h, int stops) {
    Frame frame(w, h);
    ParallelFor(h, 32, [&](int64_t, int64_t begin, int64_t end) {
        for (int y = static_cast<int>(begin); y < static_cast<int>(end); ++y) {
            uint16_t* p = frame.row(y);
            for (int x = 0; x < w; ++x, p += 3) {
                const double wave = 0.4 * std::sin(y * 0.01) + 0.2 * std::sin(x * 0.013);
                const double radiance = 8 * std::exp2(12.0 * x / w + wave);
                const unsigned hash = (x * 7919u + y * 104729u + stops * 31u) * 2654435761u;
                for (int c = 0; c < 3; ++c) {
                    const double noise = static_cast<int>((hash >> (8 * c)) & 63) - 32;
                    const double v = radiance * (1 + 0.15 * c) * std::exp2(stops) + noise;
                    p[c] = static_cast<uint16_t>(std::clamp(v, 0.0, 65535.0));
                }
            }
        }
    });
    return frame;
}

}  // namespace

int main(int argc, char** argv) {
    QtRuntime qt(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    const int width = argc > 2 ? std::atoi(argv[2]) : 6000;
    const int height = argc > 3 ? std::atoi(argv[3]) : 4000;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("brimsal-bench-maps-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string ruta = (dir / "IMG_0.CR2").string();

    ExposureSet set;
    set.AnchoImagen = width;
    set.AltoImagen = height;
    for (int i = 0; i < 5; ++i) {
        set.Imagenes.push_back(TestScene(width, height, i));
        set.ArchivosTIFF.push_back((dir / ("IMG_" + std::to_string(i) + ".tiff")).string());
    }
    set.TIFFsCargados = true;
    std::cout << "five " << width << "x" << height << " frames, " << AvailableThreads()
              << " threads, median of " << runs << " runs\n";

    RecorderChannel channel;
    for (bool average : {true, false}) {
        RelativeExposureSettings settings;
        settings.average = average;
        const double t = bench::MedianSeconds(runs, [&] {
            if (CalcularExpRelativas(ruta, settings, set, channel) != 1) {
                for (const auto& line : channel.log())
                    std::cerr << line << "\n";
                std::cerr << "Calc EV failed\n";
                std::exit(1);
            }
        });
        std::cout << "Calc EV " << (average ? "Average" : "Median ") << "      " << t << " s\n";
    }

    WhiteBalanceSettings wb;
    wb.mode = WBMode::kCamera;
    // The parts of a run, for the record.
    MapPlane indices;
    const double pixel_map = bench::MedianSeconds(
        runs, [&] { indices = IndexMap(set, CameraClip(OptimizarUmbrales(MapSettings{}, wb))); });
    std::cout << "  pixel map            " << pixel_map << " s\n";
    for (int r : {3, 20, 100}) {
        const double t = bench::MedianSeconds(runs, [&] { AntiGhostPass(indices, r, channel); });
        std::cout << "  anti-ghosting r=" << r << "  \t" << t << " s\n";
    }
    for (int r : {3, 10, 50}) {
        const double t =
            bench::MedianSeconds(runs, [&] { ProgressivePass(indices, 5, r, channel); });
        std::cout << "  progressive r=" << r << "   \t" << t << " s\n";
    }
    for (auto [antighost, progressive] : {std::pair{0, 3}, std::pair{10, 10}, std::pair{50, 50}}) {
        MapSettings settings;
        settings.antighost = antighost;
        settings.progressive = progressive;
        MapState map;
        const double t = bench::MedianSeconds(runs, [&] {
            if (!GenerarMapa(ruta, settings, wb, set, map, channel)) {
                std::cerr << "Build map failed\n";
                std::exit(1);
            }
        });
        std::cout << "Build map " << antighost << "+" << progressive << "    \t" << t << " s\n";
    }
    std::cout << "peak memory " << bench::PeakMemoryMiB() << " MiB\n";
    std::filesystem::remove_all(dir);
}
