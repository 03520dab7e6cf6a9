#include "maps/ExposureSet.h"

#include <cstdint>
#include <exception>
#include <optional>

#include "base/NumberText.h"
#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/UserChannel.h"
#include "image/TiffIO.h"
#include "maps/FramePreload.h"

namespace brimsal {

void ExposureSet::Release() {
    for (Frame& frame : Imagenes) {
        frame.release();
    }
    rgb_sums.clear();
    TIFFsCargados = false;
}

namespace {

// One TIFF of the set as the parallel load left it.
struct LoadedTiff {
    bool exists = false;
    SummedFrame loaded;
    std::optional<std::string> error;  // the reader's message when the file could not be read
};

std::string TiffPath(const std::string& folder, const std::string& raw_file) {
    return folder + QuitarExtension(raw_file) + ".tiff";
}

// Releases the set after a failed load, keeping the first `count` entries (all empty).
void ReleaseAfter(ExposureSet& set, int count) {
    set.ArchivosTIFF.resize(static_cast<size_t>(count));
    set.Imagenes.resize(static_cast<size_t>(count));
    set.Release();
}

uint64_t SumRgb(const Frame& frame, int threads) {
    const int64_t rows = frame.height;
    constexpr int64_t kRowsPerChunk = 64;
    std::vector<uint64_t> partial(static_cast<size_t>(NumChunks(rows, kRowsPerChunk)), 0);
    ParallelFor(
        rows, kRowsPerChunk,
        [&](int64_t chunk, int64_t begin, int64_t end) {
            uint64_t sum = 0;
            for (int64_t y = begin; y < end; ++y) {
                const uint16_t* row = frame.row(static_cast<int>(y));
                const size_t samples = static_cast<size_t>(frame.width) * 3;
                for (size_t s = 0; s < samples; ++s) {
                    sum += row[s];
                }
            }
            partial[static_cast<size_t>(chunk)] = sum;
        },
        threads);
    uint64_t total = 0;
    for (uint64_t sum : partial) {
        total += sum;
    }
    return total;
}

}  // namespace

int CargarTIFFs(const std::string& ruta, const std::vector<std::string>& raw_files,
                ExposureSet& set, UserChannel& channel, int threads, FramePreloader* preloaded) {
    const int total_raw = static_cast<int>(raw_files.size());
    if (total_raw < 2) {
        channel.AnadirLog("\nInsufficient TIFF files", true);
        channel.AnadirLog("DONE", true);
        channel.Beep();
        return 0;
    }
    const auto load = [&] {
        int count = 0;
        channel.AnadirLog("Loading " + std::to_string(total_raw) + " TIFF files...", false);
        if (set.TIFFsCargados) {
            set.Release();
        }
        set.ArchivosTIFF.clear();
        set.Imagenes.clear();
        set.rgb_sums.clear();

        // Load every existing TIFF in parallel; report in list order afterwards, so the log
        // reads as a one-by-one load would write it.
        const std::string folder = CarpetaDeRuta(ruta);
        std::vector<std::string> paths;
        std::vector<LoadedTiff> loaded(static_cast<size_t>(total_raw));
        for (const std::string& file : raw_files) {
            paths.push_back(TiffPath(folder, file));
        }
        ParallelFor(
            total_raw, 1,
            [&](int64_t i, int64_t, int64_t) {
                LoadedTiff& entry = loaded[static_cast<size_t>(i)];
                entry.exists = ExisteArchivo(paths[static_cast<size_t>(i)]);
                if (!entry.exists || channel.CancelRequested()) {
                    return;
                }
                const std::string& path = paths[static_cast<size_t>(i)];
                if (preloaded != nullptr) {
                    if (std::optional<SummedFrame> frame = preloaded->Take(path)) {
                        entry.loaded = std::move(*frame);
                        return;
                    }
                }
                try {
                    entry.loaded.frame = ReadTiff(path);
                    ClearUpperVectorState();
                    entry.loaded.rgb_sum = SumRGB(entry.loaded.frame);
                } catch (const ImageError& error) {
                    entry.error = error.what();
                }
            },
            threads);
        ThrowIfCancelled(channel);

        for (int i = 0; i < total_raw; ++i) {
            LoadedTiff& entry = loaded[static_cast<size_t>(i)];
            if (!entry.exists) {
                channel.AnadirLog(
                    "file " + NombreArchivo(paths[static_cast<size_t>(i)]) + " not found. Skipped",
                    true);
                continue;
            }
            ++count;
            set.ArchivosTIFF.push_back(paths[static_cast<size_t>(i)]);
            if (entry.error) {
                // A TIFF that exists but cannot be read ends the load.
                ReleaseAfter(set, count);
                ReportLoadFailure(channel, *entry.error);
                return -1;
            }
            set.Imagenes.push_back(std::move(entry.loaded.frame));
            set.rgb_sums.push_back(entry.loaded.rgb_sum);
            const Frame& frame = set.Imagenes.back();
            if (count == 1) {
                set.AnchoImagen = frame.width;
                set.AltoImagen = frame.height;
            } else if (frame.width != set.AnchoImagen || frame.height != set.AltoImagen) {
                channel.AnadirLog("Image dimensions mismatch", true);
                channel.AnadirLog("DONE", true);
                ReleaseAfter(set, count);
                channel.MensajeError("Image dimensions mismatch between " +
                                     NombreArchivo(set.ArchivosTIFF.front()) + " and " +
                                     NombreArchivo(set.ArchivosTIFF.back()));
                return -1;
            }
        }
        if (count >= 2) {
            set.TIFFsCargados = true;
            return count;
        }
        channel.AnadirLog("\nInsufficient TIFF files", true);
        channel.AnadirLog("DONE", true);
        channel.Beep();
        ReleaseAfter(set, count);
        return count;
    };
    return TrapUnexpected(
        channel, "CargarTIFFs", -1, load,
        {.on_cancel = [&] { ReleaseAfter(set, 0); },
         .after_report = [&] { ReleaseAfter(set, static_cast<int>(set.Imagenes.size())); }});
}

bool OrdenarPorExposicion(bool recargar, ExposureSet& set, UserChannel& channel, int threads) {
    return TrapUnexpected(channel, "OrdenarPorExposicion", false, [&] {
        const int n = set.N();
        channel.AnadirLog("\nCalculating absolute exposure...", true);
        std::vector<double> exposure(static_cast<size_t>(n), 0.0);
        for (int i = 0; i < n; ++i) {
            ThrowIfCancelled(channel);
            const Frame& frame = set.Imagenes[static_cast<size_t>(i)];
            // The integer sum is exact; as a double it is exact below 2^53.
            const bool measured = set.rgb_sums.size() == static_cast<size_t>(n);
            const double s = static_cast<double>(measured ? set.rgb_sums[static_cast<size_t>(i)]
                                                          : SumRgb(frame, threads));
            exposure[static_cast<size_t>(i)] = s;
            const double p =
                RoundHalfEven(s / 3 / kFullScale / set.AnchoImagen / set.AltoImagen * 1000) / 10;
            channel.AnadirLog(NombreArchivo(set.ArchivosTIFF[static_cast<size_t>(i)]) + ": " +
                                  NumberText(p) + "%",
                              true);
        }
        channel.AnadirLog("Sorting images by exposure...", true);

        // Selection from the brightest position down; a later image replaces the choice only
        // when strictly brighter, so equal images end in reverse load order.
        std::vector<int> order(static_cast<size_t>(n), 0);  // position -> load index
        std::vector<bool> placed(static_cast<size_t>(n), false);
        for (int k = n - 1; k >= 0; --k) {
            int chosen = -1;
            for (int j = 0; j < n; ++j) {
                if (placed[static_cast<size_t>(j)]) {
                    continue;
                }
                if (chosen < 0 ||
                    exposure[static_cast<size_t>(j)] > exposure[static_cast<size_t>(chosen)]) {
                    chosen = j;
                }
            }
            placed[static_cast<size_t>(chosen)] = true;
            order[static_cast<size_t>(k)] = chosen;
        }
        set.TIFFMasOscuro = set.ArchivosTIFF[static_cast<size_t>(order[0])];

        if (!recargar) {
            set.Release();
            return true;
        }
        channel.AnadirLog("Reloading sorted images...", true);
        // The frames are already in memory: permuting them gives the state a reload from disk
        // in sorted order would give.
        std::vector<std::string> files(static_cast<size_t>(n));
        std::vector<Frame> images(static_cast<size_t>(n));
        std::vector<uint64_t> sums;
        for (int k = 0; k < n; ++k) {
            if (set.rgb_sums.size() == static_cast<size_t>(n)) {
                sums.push_back(set.rgb_sums[static_cast<size_t>(order[static_cast<size_t>(k)])]);
            }
            files[static_cast<size_t>(k)] =
                std::move(set.ArchivosTIFF[static_cast<size_t>(order[static_cast<size_t>(k)])]);
            images[static_cast<size_t>(k)] =
                std::move(set.Imagenes[static_cast<size_t>(order[static_cast<size_t>(k)])]);
        }
        set.ArchivosTIFF = std::move(files);
        set.Imagenes = std::move(images);
        set.rgb_sums = std::move(sums);
        return true;
    });
}

}  // namespace brimsal
