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

// Deletes the TIFF a job is about to produce from `ruta_raw`. A TIFF that cannot be deleted
// would later pass for the new development, so that is an error; so is a RAW path that is its
// own TIFF path, which would delete the very file to develop.
void BorrarTIFF(const std::string& tiff, const std::string& ruta_raw) {
    if (tiff == ruta_raw) {
        throw RunTimeError(kErrFileAccess,
                           "'" + ruta_raw + "' is a TIFF file: developing it would delete it");
    }
    std::error_code error;
    std::filesystem::remove(tiff, error);
    if (error) {
        throw RunTimeError(kErrFileAccess,
                           "Cannot delete '" + tiff + "' before developing: " + error.message());
    }
}

// The report of a failed dcraw run: log line, "DONE", error box.
void InformarFallo(const std::string& nombre, const ResultadoDcraw& resultado,
                   UserChannel& channel) {
    std::string linea = "Error developing " + nombre + " (" + resultado.Motivo() + ")";
    if (!resultado.ultima_linea.empty()) {
        linea += ": " + resultado.ultima_linea;
    }
    channel.AnadirLog(linea, true);
    channel.AnadirLog("DONE", true);
    channel.MensajeError("DCRAW could not develop " + nombre + ": " + resultado.Motivo() +
                         (resultado.ultima_linea.empty() ? "" : "\n" + resultado.ultima_linea));
}

// The failure to report from a run: the first job, in list order, that failed by itself (not
// stopped because another one failed).
std::optional<size_t> PrimerFallo(const std::vector<ResultadoDcraw>& resultados) {
    std::optional<size_t> detenido;
    for (size_t i = 0; i < resultados.size(); ++i) {
        const FinDcraw fin = resultados[i].fin;
        if (fin == FinDcraw::kHecho) {
            continue;
        }
        if (fin != FinDcraw::kDetenido && fin != FinDcraw::kNoIniciado) {
            return i;
        }
        if (!detenido) {
            detenido = i;
        }
    }
    return detenido;
}

// The end of a batch or highlight-recovery run: "DONE", the quick line back in lblDCRAW, beep.
ResultadoRevelado TerminarLote(int num_revelados, const DevelopSettings& settings,
                               UserChannel& channel) {
    ResultadoRevelado resultado;
    resultado.terminado = true;
    resultado.NumArchivosRevelar = num_revelados;
    resultado.habilitar_ev = num_revelados >= 2;
    channel.AnadirLog("DONE", true);
    channel.MostrarLineaDCRAW(LineaRapida(settings));
    resultado.mostrar_linea_rapida = true;
    channel.Beep();
    return resultado;
}

// The RAW file of the darkest frame: the name of its TIFF with the set's extension. The set
// is listed without regard to the extension's case, so the RAW name is taken from the set when
// one of its files has that name.
std::string RAWDelTIFF(const std::string& tiff, const std::string& ruta,
                       const std::vector<std::string>& archivos_raw) {
    const std::string base = QuitarExtension(tiff);
    const std::string carpeta = CarpetaDeRuta(ruta);
    for (const std::string& archivo : archivos_raw) {
        if (carpeta + QuitarExtension(archivo) == base) {
            return carpeta + archivo;
        }
    }
    return base + "." + ExtensionArchivo(ruta);
}

}  // namespace

ResultadoRevelado ReveladoRapido(const std::string& ruta_raw, bool neutro,
                                 const DevelopSettings& settings, UserChannel& channel) {
    ResultadoRevelado resultado;
    try {
        const std::optional<std::string> programa = LocalizarDCRAW(channel);
        if (!programa) {
            return resultado;
        }
        const std::string nombre = NombreArchivo(ruta_raw);
        if (!ExisteArchivo(ruta_raw)) {
            channel.AnadirLog(nombre + " not found.", true);
            channel.AnadirLog("DONE", true);
            return resultado;
        }
        channel.AnadirLog("Quick developing " + nombre + "...", false);
        const std::string tiff = RutaTIFFDe(ruta_raw);
        BorrarTIFF(tiff, ruta_raw);
        if (!neutro) {
            channel.MostrarLineaDCRAW(LineaDCRAW(*programa, ComandoDCRAW(settings, true, false)));
        }
        const auto resultados = EjecutarDcraw(
            *programa, {{ArgumentosRapido(settings, neutro, ruta_raw), tiff}}, 1, channel);
        if (!resultados.front().Hecho()) {
            InformarFallo(nombre, resultados.front(), channel);
            return resultado;
        }
        if (neutro) {
            channel.AnadirLog(nombre + " neutral developed", true);
            channel.AnadirLog("DONE", true);
        }
        resultado.terminado = true;
        resultado.tiff = tiff;
        return resultado;
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception& error) {
        ErrorInesperado(channel, "ReveladoRapido", error);
        return ResultadoRevelado{};
    }
}

void RapidoMostrado(const std::string& ruta_raw, UserChannel& channel) {
    channel.AnadirLog(NombreArchivo(ruta_raw) + " developed and displayed", true);
    channel.AnadirLog("DONE", true);
    channel.Beep();
}

ResultadoRevelado Revelado(const std::string& ruta, std::vector<std::string>& archivos_raw,
                           int threads, const DevelopSettings& settings, UserChannel& channel,
                           const std::function<void(const std::string&)>& tiff_ready) {
    ResultadoRevelado resultado;
    try {
        const std::optional<std::string> programa = LocalizarDCRAW(channel);
        if (!programa) {
            return resultado;
        }
        channel.AnadirLog(std::to_string(archivos_raw.size()) + " RAW files selected in path",
                          false);
        const std::string carpeta = CarpetaDeRuta(ruta);
        std::vector<TrabajoDcraw> trabajos;
        std::vector<std::string> nombres;
        for (const std::string& nombre : archivos_raw) {
            const std::string ruta_raw = carpeta + nombre;
            if (!ExisteArchivo(ruta_raw)) {
                channel.AnadirLog("file " + nombre + " not found. Skipped", true);
                continue;
            }
            const std::string tiff = RutaTIFFDe(ruta_raw);
            BorrarTIFF(tiff, ruta_raw);
            // One dcraw per file, so the files develop side by side.
            trabajos.push_back({ArgumentosLote(settings, {ruta_raw}), tiff});
            nombres.push_back(nombre);
        }
        // A skipped file's old TIFF, left from an earlier development with other settings,
        // must not join the set: from here on the set is the files developed now.
        archivos_raw = nombres;
        const int num_revelados = static_cast<int>(trabajos.size());
        resultado.NumArchivosRevelar = num_revelados;
        channel.AnadirLog(std::to_string(num_revelados) + " RAW files found now", true);
        if (num_revelados < 1) {
            channel.AnadirLog("Not files to develop", true);
            channel.AnadirLog("\nDONE", true);
            channel.Beep();
            return resultado;
        }
        channel.AnadirLog("\nDeveloping " + std::to_string(num_revelados) + " RAW files...", true);
        channel.AnadirLog("PLEASE WAIT", true);
        const auto resultados =
            EjecutarDcraw(*programa, trabajos, threads, channel, [&](size_t job) {
                if (tiff_ready) {
                    tiff_ready(trabajos[job].tiff);
                }
            });
        if (const auto fallo = PrimerFallo(resultados)) {
            InformarFallo(nombres[*fallo], resultados[*fallo], channel);
            return resultado;
        }
        if (!settings.hlRecovery) {
            return TerminarLote(num_revelados, settings, channel);
        }
        // Every TIFF is complete once its process has ended: the line stays, the wait does not.
        channel.AnadirLog("Waiting to save last TIFF...", true);
        channel.AnadirLog("\nDONE", true);
        resultado.hl_pendiente = true;
        return resultado;
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception& error) {
        ErrorInesperado(channel, "Revelado", error);
        return ResultadoRevelado{};
    }
}

ResultadoRevelado ReveladoHLRecovery(const std::string& tiff_oscuro, const std::string& ruta,
                                     const std::vector<std::string>& archivos_raw,
                                     const DevelopSettings& settings, int num_revelados,
                                     UserChannel& channel) {
    ResultadoRevelado resultado;
    resultado.NumArchivosRevelar = num_revelados;
    try {
        const std::optional<std::string> programa = LocalizarDCRAW(channel);
        if (!programa) {
            return resultado;
        }
        const std::string tiff = QuitarExtension(tiff_oscuro) + ".tiff";
        const std::string ruta_raw = RAWDelTIFF(tiff_oscuro, ruta, archivos_raw);
        BorrarTIFF(tiff_oscuro, ruta_raw);
        const std::string nombre = NombreArchivo(ruta_raw);
        channel.AnadirLog("\nHighlight recovery on " + nombre + "...", true);
        const auto resultados = EjecutarDcraw(
            *programa, {{ArgumentosHLRecovery(settings, ruta_raw), tiff}}, 1, channel);
        if (!resultados.front().Hecho()) {
            InformarFallo(nombre, resultados.front(), channel);
            return resultado;
        }
        return TerminarLote(num_revelados, settings, channel);
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception& error) {
        ErrorInesperado(channel, "ReveladoHLRecovery", error);
        return resultado;
    }
}

}  // namespace brimsal
