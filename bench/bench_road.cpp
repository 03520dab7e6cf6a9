// The whole road side by side with its floor and its peer, on one RAW series (by default five
// 24 MP frames 2 EV apart made with brimsal-synth):
//   merge  brimsal-cli --no-develop (load ... blend, every file written) against the I/O floor:
//          the five TIFFs read + `tiffcp -c lzw` of one TIFF;
//   road   brimsal-cli from the RAW files against a raw-domain merge of the same DNGs (hdrmerge,
//          when installed) plus one dcraw development of one frame;
//   memory the merge's peak resident memory against the five frames' own size.
// Every figure is the median of the runs; the ratios are printed with the machine's load.
// Usage: bench_road [runs] [DNG folder]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/Parallel.h"
#include "develop/DcrawCommand.h"
#include "develop/DevelopSettings.h"
#include "image/TiffIO.h"

extern char** environ;

namespace {

using namespace brimsal;
namespace fs = std::filesystem;

struct Run {
    double seconds = 0;
    double cpu_seconds = 0;  // user + system time of the process and the children it waited for
    double peak_mib = 0;     // the process's own peak resident memory
};

double CpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs `args` (args[0] looked up on PATH) with stdout and stderr discarded; exits on failure.
Run Execute(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    rusage usage{};
    if (status != 0 || wait4(pid, &status, 0, &usage) < 0 || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", args[0].c_str());
        std::exit(1);
    }
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            CpuSeconds(usage), usage.ru_maxrss / 1024.0};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// True when `program` is found on PATH.
bool Installed(const std::string& program) {
    return std::system(("command -v " + program + " > /dev/null 2>&1").c_str()) == 0;
}

// Removes every file the road and the peers wrote into `folder`.
void Clean(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("BR_") || name.starts_with("Map_") || name.starts_with("His_") ||
            name.starts_with("peer")) {
            fs::remove(entry.path());
        }
    }
}

double LoadAverage() {
    double load = 0;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path().parent_path();
    const std::string cli = (bin / "src/cli/brimsal-cli").string();
    fs::path folder;
    bool temporary = false;
    if (argc > 2) {
        folder = argv[2];
    } else {
        folder = fs::temp_directory_path() / ("brimsal-bench-road-" + std::to_string(getpid()));
        temporary = true;
        std::printf("making five 24 MP frames 2 EV apart with brimsal-synth in %s ...\n",
                    folder.string().c_str());
        std::fflush(stdout);
        Execute({(bin / "tools/synth/brimsal-synth").string(), "--out", folder.string(), "--size",
                 "24mp", "--frames", "5", "--ev-step", "2", "--no-radiance"});
    }
    Clean(folder);
    std::vector<std::string> raws;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".dng") || name.ends_with(".DNG")) {
            raws.push_back(entry.path().string());
        }
    }
    std::sort(raws.begin(), raws.end());
    if (raws.size() < 2) {
        std::fprintf(stderr, "fewer than two DNG files in %s\n", folder.string().c_str());
        return 1;
    }
    const std::string reference = raws.front();
    const bool peer = Installed("hdrmerge") && Installed("dcraw");
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    // Wall times, and the CPU time of the same runs (on a busy machine the wall times mostly
    // measure the other processes; the CPU times show the work itself).
    std::vector<double> road, merge, peak, floor_read, floor_write, peer_merge, peer_develop;
    std::vector<double> road_cpu, merge_cpu, floor_cpu, peer_cpu;
    double frames_mib = 0;
    std::printf("%zu frames, %d cores, %d runs; load average before: %.2f\n", raws.size(),
                AvailableThreads(), runs, LoadAverage());
    for (int run = 1; run <= runs; ++run) {
        Clean(folder);
        const Run whole = Execute({cli, reference});
        road.push_back(whole.seconds);
        road_cpu.push_back(whole.cpu_seconds);
        Clean(folder);
        const Run merged = Execute({cli, "--no-develop", reference});
        merge.push_back(merged.seconds);
        merge_cpu.push_back(merged.cpu_seconds);
        peak.push_back(merged.peak_mib);
        Clean(folder);

        // The floor: the frames read as the load reads them, one TIFF written by tiffcp.
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        auto start = std::chrono::steady_clock::now();
        frames_mib = 0;
        for (const std::string& raw : raws) {
            const Frame frame = ReadTiff(TiffPathOf(raw));
            frames_mib += static_cast<double>(frame.sampleCount()) * 2 / (1 << 20);
        }
        floor_read.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        const std::string copy = (folder / "peer_lzw.tif").string();
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        const Run copied = Execute({"tiffcp", "-c", "lzw", TiffPathOf(reference), copy});
        floor_write.push_back(copied.seconds);
        floor_cpu.push_back(CpuSeconds(after) - CpuSeconds(before) + copied.cpu_seconds);
        Clean(folder);

        if (peer) {
            std::vector<std::string> hdrmerge = {"hdrmerge", "-o",
                                                 (folder / "peer_merged.dng").string()};
            hdrmerge.insert(hdrmerge.end(), raws.begin(), raws.end());
            const Run peer_run = Execute(hdrmerge);
            peer_merge.push_back(peer_run.seconds);
            std::vector<std::string> dcraw = {"dcraw"};
            const std::vector<std::string> args = BatchArguments(DevelopSettings{}, {reference});
            dcraw.insert(dcraw.end(), args.begin(), args.end());
            const Run developed = Execute(dcraw);
            peer_develop.push_back(developed.seconds);
            peer_cpu.push_back(peer_run.cpu_seconds + developed.cpu_seconds);
            Clean(folder);
        }
        std::printf(
            "  run %d: road %.2f s, merge %.2f s (%.0f MiB), floor %.2f + %.2f s, peer %.2f + "
            "%.2f s\n",
            run, road.back(), merge.back(), peak.back(), floor_read.back(), floor_write.back(),
            peer ? peer_merge.back() : 0.0, peer ? peer_develop.back() : 0.0);
        std::fflush(stdout);
    }

    const double floor = Median(floor_read) + Median(floor_write);
    std::printf("load average after: %.2f\n", LoadAverage());
    std::printf(
        "merge (--no-develop)       %7.2f s  floor (read %.2f s + tiffcp %.2f s) %.2f s  "
        "ratio %.2f\n",
        Median(merge), Median(floor_read), Median(floor_write), floor, Median(merge) / floor);
    if (peer) {
        const double peer_total = Median(peer_merge) + Median(peer_develop);
        std::printf(
            "road from the RAW files    %7.2f s  peer (hdrmerge %.2f s + dcraw %.2f s) "
            "%.2f s  ratio %.2f\n",
            Median(road), Median(peer_merge), Median(peer_develop), peer_total,
            Median(road) / peer_total);
    } else {
        std::printf("road from the RAW files    %7.2f s  (hdrmerge or dcraw not installed)\n",
                    Median(road));
    }
    std::printf("CPU time: merge %.2f s, floor %.2f s (ratio %.2f); road %.2f s", Median(merge_cpu),
                Median(floor_cpu), Median(merge_cpu) / Median(floor_cpu), Median(road_cpu));
    if (peer) {
        std::printf(", peer %.2f s (ratio %.2f)", Median(peer_cpu),
                    Median(road_cpu) / Median(peer_cpu));
    }
    std::printf("\n");
    std::printf("merge peak memory          %7.0f MiB  frames %.0f MiB  ratio %.2f\n", Median(peak),
                frames_mib, Median(peak) / frames_mib);
    Clean(folder);
    if (temporary) {
        fs::remove_all(folder);
    }
    return 0;
}
