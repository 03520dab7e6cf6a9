// Load + absolute-exposure sort of five 6000x4000 16-bit TIFFs, against the floor of reading the
// same files' bytes. Usage: bench_exposure_set [runs] [width] [height]
#include <tiffio.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>

#include "BenchUtil.h"
#include "base/QtRuntime.h"
#include "maps/ExposureSet.h"
#include "support/RecorderChannel.h"

namespace {

// Writes an uncompressed 16-bit RGB TIFF as dcraw does, with a gradient scaled by `gain`.
void WriteDevelopedTiff(const std::string& path, int w, int h, double gain) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, h);
    std::vector<uint16_t> line(static_cast<size_t>(w) * 3);
    std::mt19937 rng(7);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double v = gain * (200.0 + 60000.0 * x / w * y / h) + (rng() & 63);
            for (int c = 0; c < 3; ++c) {
                line[static_cast<size_t>(x) * 3 + c] = static_cast<uint16_t>(std::min(65535.0, v));
            }
        }
        TIFFWriteScanline(tiff, line.data(), static_cast<uint32_t>(y), 0);
    }
    TIFFClose(tiff);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace brimsal;
    QtRuntime qt(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const int width = argc > 2 ? std::atoi(argv[2]) : 6000;
    const int height = argc > 3 ? std::atoi(argv[3]) : 4000;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("brimsal-bench-set-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::vector<std::string> raws;
    const double gains[] = {0.25, 1.0, 0.0625, 0.5, 0.125};  // names not in exposure order
    for (int i = 0; i < 5; ++i) {
        const std::string name = "IMG_" + std::to_string(i);
        std::ofstream((dir / (name + ".CR2")).string()).flush();
        WriteDevelopedTiff((dir / (name + ".tiff")).string(), width, height, gains[i]);
        raws.push_back(name + ".CR2");
    }
    const std::string ruta = (dir / raws.front()).string();

    SilentChannel channel;
    const double load_sort = bench::MedianSeconds(runs, [&] {
        ExposureSet set;
        if (CargarTIFFs(ruta, raws, set, channel) != 5 ||
            !OrdenarPorExposicion(true, set, channel)) {
            std::cerr << "load failed\n";
            std::exit(1);
        }
    });
    // The floor holds the five files' bytes in fresh memory, as any loader must.
    const double floor = bench::MedianSeconds(runs, [&] {
        std::vector<std::unique_ptr<char[]>> buffers;
        for (int i = 0; i < 5; ++i) {
            const auto path = dir / ("IMG_" + std::to_string(i) + ".tiff");
            const auto size = std::filesystem::file_size(path);
            buffers.emplace_back(new char[size]);
            std::ifstream in(path.string(), std::ios::binary);
            in.read(buffers.back().get(), static_cast<std::streamsize>(size));
        }
    });
    std::filesystem::remove_all(dir);
    std::printf("frames: 5 x %dx%d 16-bit RGB, uncompressed TIFF, %d runs\n", width, height, runs);
    std::printf("load + absolute-exposure sort (median): %.3f s\n", load_sort);
    std::printf("floor, reading the same files' bytes (median): %.3f s\n", floor);
    std::printf("ratio: %.2f\n", load_sort / floor);
    std::printf("peak memory: %.0f MiB\n", bench::PeakMemoryMiB());
    return 0;
}
