#include "develop/DevelopJobs.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "base/Paths.h"
#include "base/UserChannel.h"
#include "develop/DcrawCommand.h"
#include "develop/DcrawProcess.h"

namespace brimsal {

namespace {

// Deletes the TIFF a job is about to produce from `raw_path`. A TIFF that cannot be deleted
// would later pass for the new development, so that is an error; so is a RAW path that is its
// own TIFF path, which would delete the very file to develop.
void DeleteTiffBeforeDeveloping(const std::string& tiff, const std::string& raw_path) {
    if (tiff == raw_path) {
        throw RunTimeError(kErrFileAccess,
                           "'" + raw_path + "' is a TIFF file: developing it would delete it");
    }
    std::error_code error;
    std::filesystem::remove(tiff, error);
    if (error) {
        throw RunTimeError(kErrFileAccess,
                           "Cannot delete '" + tiff + "' before developing: " + error.message());
    }
}

// The report of a failed dcraw run: log line, "DONE", error box.
void ReportFailure(const std::string& name, const DcrawResult& result, UserChannel& channel) {
    std::string line = "Error developing " + name + " (" + result.Reason() + ")";
    if (!result.last_line.empty()) {
        line += ": " + result.last_line;
    }
    channel.AnadirLog(line, true);
    channel.AnadirLog("DONE", true);
    channel.MensajeError("DCRAW could not develop " + name + ": " + result.Reason() +
                         (result.last_line.empty() ? "" : "\n" + result.last_line));
}

// The failure to report from a run: the first job, in list order, that failed by itself (not
// stopped because another one failed).
std::optional<size_t> FirstFailure(const std::vector<DcrawResult>& results) {
    std::optional<size_t> stopped;
    for (size_t i = 0; i < results.size(); ++i) {
        const DcrawEnd end = results[i].end;
        if (end == DcrawEnd::kDone) {
            continue;
        }
        if (end != DcrawEnd::kStopped && end != DcrawEnd::kNeverStarted) {
            return i;
        }
        if (!stopped) {
            stopped = i;
        }
    }
    return stopped;
}

// The end of a batch or highlight-recovery run: "DONE", the quick line back in lblDCRAW, beep.
DevelopResult FinishBatch(int developed_count, const DevelopSettings& settings,
                          UserChannel& channel) {
    DevelopResult result;
    result.finished = true;
    result.NumArchivosRevelar = developed_count;
    result.enable_ev = developed_count >= 2;
    channel.AnadirLog("DONE", true);
    channel.MostrarLineaDCRAW(QuickLine(settings));
    result.show_quick_line = true;
    channel.Beep();
    return result;
}

// The RAW file of the darkest frame: the name of its TIFF with the set's extension. The set
// is listed without regard to the extension's case, so the RAW name is taken from the set when
// one of its files has that name.
std::string RawOfTiff(const std::string& tiff, const std::string& ruta,
                      const std::vector<std::string>& raw_files) {
    const std::string base = QuitarExtension(tiff);
    const std::string folder = CarpetaDeRuta(ruta);
    for (const std::string& file : raw_files) {
        if (folder + QuitarExtension(file) == base) {
            return folder + file;
        }
    }
    return base + "." + ExtensionArchivo(ruta);
}

}  // namespace

DevelopResult ReveladoRapido(const std::string& raw_path, bool neutro,
                             const DevelopSettings& settings, UserChannel& channel) {
    return TrapUnexpected(channel, "ReveladoRapido", DevelopResult{}, [&] {
        DevelopResult result;
        const std::optional<std::string> program = LocateDcraw(channel);
        if (!program) {
            return result;
        }
        const std::string name = NombreArchivo(raw_path);
        if (!ExisteArchivo(raw_path)) {
            channel.AnadirLog(name + " not found.", true);
            channel.AnadirLog("DONE", true);
            return result;
        }
        channel.AnadirLog("Quick developing " + name + "...", false);
        const std::string tiff = TiffPathOf(raw_path);
        DeleteTiffBeforeDeveloping(tiff, raw_path);
        if (!neutro) {
            channel.MostrarLineaDCRAW(DcrawLine(*program, ComandoDCRAW(settings, true, false)));
        }
        const auto results =
            RunDcraw(*program, {{QuickArguments(settings, neutro, raw_path), tiff}}, 1, channel);
        if (!results.front().Done()) {
            ReportFailure(name, results.front(), channel);
            return result;
        }
        if (neutro) {
            channel.AnadirLog(name + " neutral developed", true);
            channel.AnadirLog("DONE", true);
        }
        result.finished = true;
        result.tiff = tiff;
        return result;
    });
}

void QuickShown(const std::string& raw_path, UserChannel& channel) {
    channel.AnadirLog(NombreArchivo(raw_path) + " developed and displayed", true);
    channel.AnadirLog("DONE", true);
    channel.Beep();
}

DevelopResult Revelado(const std::string& ruta, std::vector<std::string>& raw_files, int threads,
                       const DevelopSettings& settings, UserChannel& channel,
                       const std::function<void(const std::string&)>& tiff_ready) {
    return TrapUnexpected(channel, "Revelado", DevelopResult{}, [&] {
        DevelopResult result;
        const std::optional<std::string> program = LocateDcraw(channel);
        if (!program) {
            return result;
        }
        channel.AnadirLog(std::to_string(raw_files.size()) + " RAW files selected in path", false);
        const std::string folder = CarpetaDeRuta(ruta);
        std::vector<DcrawJob> jobs;
        std::vector<std::string> names;
        for (const std::string& name : raw_files) {
            const std::string raw_path = folder + name;
            if (!ExisteArchivo(raw_path)) {
                channel.AnadirLog("file " + name + " not found. Skipped", true);
                continue;
            }
            const std::string tiff = TiffPathOf(raw_path);
            DeleteTiffBeforeDeveloping(tiff, raw_path);
            // One dcraw per file, so the files develop side by side.
            jobs.push_back({BatchArguments(settings, {raw_path}), tiff});
            names.push_back(name);
        }
        // A skipped file's old TIFF, left from an earlier development with other settings,
        // must not join the set: from here on the set is the files developed now.
        raw_files = names;
        const int developed_count = static_cast<int>(jobs.size());
        result.NumArchivosRevelar = developed_count;
        channel.AnadirLog(std::to_string(developed_count) + " RAW files found now", true);
        if (developed_count < 1) {
            channel.AnadirLog("Not files to develop", true);
            channel.AnadirLog("\nDONE", true);
            channel.Beep();
            return result;
        }
        channel.AnadirLog("\nDeveloping " + std::to_string(developed_count) + " RAW files...",
                          true);
        channel.AnadirLog("PLEASE WAIT", true);
        const auto results = RunDcraw(*program, jobs, threads, channel, [&](size_t job) {
            if (tiff_ready) {
                tiff_ready(jobs[job].tiff);
            }
        });
        if (const auto failure = FirstFailure(results)) {
            ReportFailure(names[*failure], results[*failure], channel);
            return result;
        }
        if (!settings.hlRecovery) {
            return FinishBatch(developed_count, settings, channel);
        }
        // Every TIFF is complete once its process has ended: the line stays, the wait does not.
        channel.AnadirLog("Waiting to save last TIFF...", true);
        channel.AnadirLog("\nDONE", true);
        result.hl_pending = true;
        return result;
    });
}

DevelopResult ReveladoHLRecovery(const std::string& darkest_tiff, const std::string& ruta,
                                 const std::vector<std::string>& raw_files,
                                 const DevelopSettings& settings, int developed_count,
                                 UserChannel& channel) {
    DevelopResult result;
    result.NumArchivosRevelar = developed_count;
    return TrapUnexpected(channel, "ReveladoHLRecovery", result, [&] {
        const std::optional<std::string> program = LocateDcraw(channel);
        if (!program) {
            return result;
        }
        const std::string tiff = QuitarExtension(darkest_tiff) + ".tiff";
        const std::string raw_path = RawOfTiff(darkest_tiff, ruta, raw_files);
        DeleteTiffBeforeDeveloping(darkest_tiff, raw_path);
        const std::string name = NombreArchivo(raw_path);
        channel.AnadirLog("\nHighlight recovery on " + name + "...", true);
        const auto results = RunDcraw(
            *program, {{HighlightRecoveryArguments(settings, raw_path), tiff}}, 1, channel);
        if (!results.front().Done()) {
            ReportFailure(name, results.front(), channel);
            return result;
        }
        return FinishBatch(developed_count, settings, channel);
    });
}

}  // namespace brimsal
