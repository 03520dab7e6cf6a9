#include "blend/Blend.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "base/NewFiles.h"
#include "base/NumberText.h"
#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/Progress.h"
#include "base/UserChannel.h"
#include "blend/BlendKernel.h"
#include "blend/BlendMap.h"
#include "blend/BlendSettings.h"
#include "blend/Ettr.h"
#include "blend/ProgressiveMapWriter.h"
#include "blend/PublishOutputs.h"
#include "image/Picture.h"
#include "image/PngRows.h"
#include "image/TiffIO.h"
#include "maps/BlendingMap.h"
#include "maps/MapState.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

namespace {

constexpr const char* kProcedure = "FusionarImagenes";
// Rows one worker computes at a time, and chunks per worker in one band: a band is small
// (a few rows per thread per output) yet long enough to keep every core busy.
constexpr int kRowsPerChunk = 8;
constexpr int kChunksPerThread = 4;
// The band buffers of all outputs (two sets: one computed, one being written) stay below this,
// however many cores and outputs there are.
constexpr size_t kBandBytes = size_t{64} << 20;
constexpr int kPercent = 100;

// Frames 2..N must be loaded with the set's size (frame 1 is checked after its reload), and
// the per-frame lists must have one entry per frame.
void CheckSet(const ExposureSet& set) {
    const int n = set.N();
    if (n < 1 || set.ExpRelativas.size() != static_cast<size_t>(n) ||
        set.ArchivosTIFF.size() != static_cast<size_t>(n)) {
        throw RunTimeError(kErrSubscript, "Subscript out of range (the exposure set is not ready)");
    }
    for (int i = 2; i <= n; ++i) {
        const Frame& image = set.Imagenes[static_cast<size_t>(i - 1)];
        if (image.width != set.AnchoImagen || image.height != set.AltoImagen || image.empty()) {
            throw RunTimeError(kErrSubscript, "Subscript out of range (image " + std::to_string(i) +
                                                  " is not loaded with the set's size)");
        }
    }
}

// Joins the writer threads of a band, also when the computing side leaves by an exception.
template <typename Writer, typename Sample>
class WritesInFlight {
  public:
    explicit WritesInFlight(size_t outputs) : errors_(outputs) {}
    ~WritesInFlight() { Join(); }
    WritesInFlight(const WritesInFlight&) = delete;
    WritesInFlight& operator=(const WritesInFlight&) = delete;

    // Writes `rows` rows of each output's buffer to its writer, one thread per output.
    void Start(std::vector<std::unique_ptr<Writer>>& writers,
               const std::vector<std::vector<Sample>>& buffers, int rows) {
        for (size_t b = 0; b < writers.size(); ++b) {
            threads_.emplace_back(
                [this, b, rows, writer = writers[b].get(), data = buffers[b].data()] {
                    try {
                        writer->WriteRows(data, rows);
                    } catch (...) {
                        errors_[b] = std::current_exception();
                    }
                });
        }
    }

    // Waits for the band's writes and rethrows the first failure.
    void Wait() {
        Join();
        for (auto& error : errors_) {
            if (error) {
                std::rethrow_exception(std::exchange(error, nullptr));
            }
        }
    }

  private:
    void Join() {
        for (auto& thread : threads_) {
            thread.join();
        }
        threads_.clear();
    }

    std::vector<std::thread> threads_;
    std::vector<std::exception_ptr> errors_;
};

// One pass over the frames: each band of rows is computed on all cores into one buffer per
// output, then handed to the writers, which compress it while the next band is computed.
// Nothing in the result depends on the schedule: every word is a function of its pixel only.
template <typename Writer, typename Sample>
void WriteInBands(const RowBlender& blend, std::vector<std::unique_ptr<Writer>>& writers,
                  UserChannel& channel, int threads) {
    const int thread_count = threads > 0 ? threads : AvailableThreads();
    const int width = blend.width();
    const int height = blend.height();
    const size_t row_samples = static_cast<size_t>(width) * 3;
    const size_t outputs = writers.size();
    const size_t row_bytes = 2 * outputs * row_samples * sizeof(Sample);
    const int rows_in_memory = std::max(
        kRowsPerChunk, static_cast<int>(std::min<size_t>(kBandBytes / row_bytes, 1 << 20)));
    const int band_rows =
        std::min({height, kRowsPerChunk * kChunksPerThread * thread_count, rows_in_memory});
    std::vector<std::vector<Sample>> bands[2];
    for (auto& band : bands) {
        band.assign(outputs, std::vector<Sample>(row_samples * band_rows));
    }
    WritesInFlight<Writer, Sample> writing(outputs);
    int last_percent = -1;
    int turn = 0;
    for (int y0 = 0; y0 < height; y0 += band_rows, turn ^= 1) {
        ThrowIfCancelled(channel);
        const int rows = std::min(band_rows, height - y0);
        std::vector<std::vector<Sample>>& band = bands[turn];
        ParallelFor(
            rows, kRowsPerChunk,
            [&](int64_t, int64_t begin, int64_t end) {
                std::vector<Sample*> targets(outputs);
                for (size_t b = 0; b < outputs; ++b) {
                    targets[b] = band[b].data() + static_cast<size_t>(begin) * row_samples;
                }
                blend.ComputeRows(y0 + static_cast<int>(begin), y0 + static_cast<int>(end),
                                  targets.data());
            },
            threads);
        writing.Wait();
        writing.Start(writers, band, rows);
        const int percent = static_cast<int>(static_cast<int64_t>(y0 + rows) * kPercent / height);
        if (percent != last_percent) {
            last_percent = percent;
            channel.ShowProgress(ProgressText(percent));
        }
    }
    writing.Wait();
}

// Writes every output (`names`) in one pass, waits for the progressive map, then puts the
// outputs in place with their log lines.
template <typename Writer, typename Sample>
void WriteOutputs(const RowBlender& blend, std::vector<NewFileName>& names,
                  ProgressiveMapWriter& progressive, UserChannel& channel, int threads) {
    std::vector<std::unique_ptr<Writer>> writers;
    for (const NewFileName& name : names) {
        writers.push_back(
            std::make_unique<Writer>(name.path(), blend.width(), blend.height(), threads));
    }
    WriteInBands<Writer, Sample>(blend, writers, channel, threads);
    progressive.Wait(channel);
    std::vector<TiffStripWriter*> finished;
    for (const auto& writer : writers) {
        finished.push_back(writer.get());
    }
    PublishOutputs(finished, names, channel);
    progressive.Keep();
}

// The word at which a developed channel saturates, `share` of 65535: dcraw truncates its
// scaled samples, and its float conversion to the output colour space can take a word or two
// more off a saturated value.
int SaturationLevel(double share) {
    constexpr int kSlack = 2;
    return static_cast<int>(std::floor(kFullScale * share)) - kSlack;
}

int Blend(const std::string& ruta, bool salida_bn, const BlendSettings& settings, ExposureSet& set,
          const MapState& map_state, UserChannel& channel, int threads) {
    const int n = set.N();
    const int width = set.AnchoImagen;
    const int height = set.AltoImagen;
    channel.AnadirLog("Loading blending map...", false);
    CheckSet(set);

    // Map: size check, levels, statistics.
    Picture map;
    const std::shared_ptr<const std::vector<uint8_t>> map_levels =
        MapLevels(map_state, width, height, n, map, channel);
    if (!map_levels) {
        return kBlendFailed;
    }
    const std::vector<uint8_t>& levels = *map_levels;
    const LevelTable table = DecodeLevels(map_state.IndicePorNivel, n);
    const int64_t pixels = static_cast<int64_t>(width) * height;
    const LevelHistogram histogram = CountLevels(levels.data(), pixels, threads);
    const MapContribution contribution = ComputeContributions(histogram, table, n);
    channel.AnadirLog("Image contribution...", true);
    RecordContributions(contribution, pixels, set.ArchivosTIFF, channel);
    ThrowIfCancelled(channel);
    ProgressiveMapWriter progressive;
    if (contribution.PixelesProgresivos > 0) {
        // Without the picture read, the levels are those Build map kept.
        PngRowsHeader header = map.empty() ? map_state.built->header : PngRowsHeader{};
        progressive.Start(std::move(map), levels, std::move(header), table, histogram,
                          map_state.map_path, channel);
    }
    map = Picture();

    // The darkest frame is never overwritten by an output; it is loaded again only when the
    // set's frame was released.
    Frame& darkest = set.Imagenes.front();
    if (darkest.empty() && !CargarGflBitmap(set.TIFFMasOscuro, darkest, channel)) {
        return kBlendFailed;
    }
    if (darkest.width != width || darkest.height != height) {
        throw RunTimeError(kErrSubscript, "Subscript out of range (the darkest image '" +
                                              set.TIFFMasOscuro + "' has another size)");
    }

    // FactoresExposicion. A headroom development's frames are F times darker than the normal
    // ones: F folds into the factors, so the output has the normal scale and colour.
    const DevelopScale& scale = settings.scale;
    const std::vector<double> base_factors = HeadroomFactors(set.ExpRelativas, scale);
    std::vector<double> factors = base_factors;
    const PesosMezcla weights{PesoR(settings), PesoG(settings), PesoB(settings)};
    if (settings.ETTR) {
        EttrCorrection(darkest, salida_bn, weights, base_factors, factors, channel, threads,
                       scale.factor);
    }
    if (scale.headroom) {
        channel.AnadirLog("\nSet developed with headroom: F = " + NumberText(scale.factor), true);
    }

    channel.AnadirLog("\nBlending images...", true);
    BlendData data;
    data.width = width;
    data.height = height;
    data.levels = levels.data();
    data.table = table;
    for (const Frame& image : set.Imagenes) {
        data.images.push_back(&image);
    }
    data.factors = factors;
    if (settings.floatOutput) {
        // The highest level the darkest frame tells is where its last channel saturates; its
        // pixel then shows the colour every saturated camera channel develops to.
        const std::array<double, 3> clip_colour = ClipColour(scale);
        for (size_t c = 0; c < 3; ++c) {
            data.darkest_saturation[c] = SaturationLevel(clip_colour[c]);
        }
        data.neutral_level = kFullScale * factors.front();
    }
    data.transform = {salida_bn, weights, GammaInversa(settings)};
    const int output_count = std::max(1, settings.NumBracketing);
    for (int b = 1; b <= output_count; ++b) {
        data.output_factors.push_back(FactorBracketing(settings, b));
    }
    const RowBlender blend(std::move(data));

    channel.AnadirLog(output_count == 1 ? "Building output file..." : "Building output files...",
                      true);
    const std::string base = OutputBaseName(settings, salida_bn, TimeHHMMSS());
    const std::string folder = CarpetaDeRuta(ruta);
    std::vector<NewFileName> names;
    for (int b = 1; b <= output_count; ++b) {
        names.push_back(FirstFreeName(
            folder, base + BracketSuffix(settings, b) + FloatSuffix(settings), ".tif"));
    }
    if (settings.floatOutput) {
        WriteOutputs<TiffFloatWriter, float>(blend, names, progressive, channel, threads);
    } else {
        WriteOutputs<TiffStripWriter, uint16_t>(blend, names, progressive, channel, threads);
    }
    channel.AnadirLog("DONE", true);
    channel.Beep();
    return kBlendDone;
}

}  // namespace

int FusionarImagenes(const std::string& ruta, bool salida_bn, const BlendSettings& settings,
                     ExposureSet& set, const MapState& map, UserChannel& channel, int threads) {
    return TrapUnexpected(channel, kProcedure, kBlendFailed, [&] {
        try {
            return Blend(ruta, salida_bn, settings, set, map, channel, threads);
        } catch (const ImageError& error) {
            // Only the output writers throw ImageError here: a failed save.
            ReportSaveFailure(channel, error.what());
            return kBlendFailed;
        }
    });
}

}  // namespace brimsal
