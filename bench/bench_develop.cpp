// Development of a five-frame 24 MP series with the real dcraw: one dcraw per file, as many at
// once as there are cores (what Develop does), against one dcraw run over all files.
// Usage: bench_develop [runs] [DNG folder]
// Without a folder the series is made with brimsal-synth (--size 24mp --frames 5) in a
// temporary folder, removed at the end.
#include <unistd.h>
#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/QtRuntime.h"
#include "develop/DcrawCommand.h"
#include "develop/DcrawProcess.h"
#include "develop/DevelopSettings.h"
#include "support/RecorderChannel.h"

namespace {

using namespace brimsal;
namespace fs = std::filesystem;

std::vector<std::string> Dngs(const fs::path& folder) {
    std::vector<std::string> paths;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.size() > 4 &&
            (name.ends_with(".dng") || name.ends_with(".DNG"))) {
            paths.push_back(entry.path().string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

void DeleteTiffs(const std::vector<std::string>& raws) {
    for (const std::string& raw : raws) {
        fs::remove(TiffPathOf(raw));
    }
}

// Median wall time of `runs` calls of fn, each after the TIFFs are deleted.
double Median(int runs, const std::vector<std::string>& raws, const std::function<bool()>& fn) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        DeleteTiffs(raws);
        const auto start = std::chrono::steady_clock::now();
        if (!fn()) {
            std::fprintf(stderr, "a development failed\n");
            std::exit(1);
        }
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        std::printf("  run %d: %.2f s\n", i + 1, times.back());
        std::fflush(stdout);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool AllDone(const std::vector<DcrawResult>& results) {
    return std::all_of(results.begin(), results.end(),
                       [](const DcrawResult& r) { return r.Done(); });
}

}  // namespace

int main(int argc, char** argv) {
    QtRuntime qt(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    SilentChannel channel;
    const std::optional<std::string> dcraw = FindDcraw(DcrawSearchPath());
    if (!dcraw) {
        std::fprintf(stderr, "dcraw is not on PATH\n");
        return 1;
    }

    fs::path folder;
    bool temporary = false;
    if (argc > 2) {
        folder = argv[2];
    } else {
        folder = fs::temp_directory_path() / ("brimsal-bench-develop-" + std::to_string(getpid()));
        temporary = true;
        std::printf("making five 24 MP frames with brimsal-synth in %s ...\n",
                    folder.string().c_str());
        std::fflush(stdout);
        const int status = QProcess::execute(
            BRIMSAL_SYNTH_PATH, {"--out", QString::fromStdString(folder.string()), "--size", "24mp",
                                 "--frames", "5", "--no-radiance"});
        if (status != 0) {
            std::fprintf(stderr, "brimsal-synth failed (%d)\n", status);
            return 1;
        }
    }
    const std::vector<std::string> raws = Dngs(folder);
    if (raws.empty()) {
        std::fprintf(stderr, "no DNG files in %s\n", folder.string().c_str());
        return 1;
    }
    const DevelopSettings settings;  // the start values: Daylight, AHD, sRGB
    const int cores = AvailableThreads();
    std::printf("%zu frames, dcraw %s, %d cores, %d runs each\n", raws.size(), dcraw->c_str(),
                cores, runs);

    std::printf("one dcraw per file, %d at once:\n", cores);
    std::vector<DcrawJob> per_file;
    for (const std::string& raw : raws) {
        per_file.push_back({BatchArguments(settings, {raw}), TiffPathOf(raw)});
    }
    const double parallel =
        Median(runs, raws, [&] { return AllDone(RunDcraw(*dcraw, per_file, cores, channel)); });

    std::printf("one dcraw run over all files:\n");
    const std::vector<DcrawJob> single = {
        {BatchArguments(settings, raws), TiffPathOf(raws.back())}};
    const double serial = Median(runs, raws, [&] {
        return AllDone(RunDcraw(*dcraw, single, 1, channel)) &&
               std::all_of(raws.begin(), raws.end(),
                           [](const std::string& raw) { return ExisteArchivo(TiffPathOf(raw)); });
    });

    std::printf("median, one dcraw per file (parallel): %.2f s\n", parallel);
    std::printf("median, one dcraw over all files:      %.2f s\n", serial);
    std::printf("ratio (one run / parallel):            %.2f\n", serial / parallel);
    DeleteTiffs(raws);
    if (temporary) {
        fs::remove_all(folder);
    }
    return 0;
}
