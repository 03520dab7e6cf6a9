#include "develop/DcrawCommand.h"
#include "base/Paths.h"
#include "base/UserChannel.h"
#include "develop/DevelopSettings.h"
#include "whitebalance/WhiteBalance.h"

#include <unistd.h>

#include <cstdlib>

namespace brimsal {

namespace {

void Anadir(std::vector<std::string>& lista, std::initializer_list<std::string> elementos) {
    lista.insert(lista.end(), elementos);
}

// The user's options, split on blanks (the clean-up has left single blanks only, but a text
// that was not cleaned must not give empty arguments either).
void AnadirOpcionesUsuario(std::vector<std::string>& lista, const std::string& texto) {
    size_t from = 0;
    while (from < texto.size()) {
        const size_t blank = texto.find(' ', from);
        const size_t end = blank == std::string::npos ? texto.size() : blank;
        if (end > from) {
            lista.push_back(texto.substr(from, end - from));
        }
        from = end + 1;
    }
}

// A multiplier as dcraw reads it: the decimal comma the user may have typed becomes a point.
std::string Multiplicador(const std::string& texto) {
    return ReemplazarTodo(texto, ",", ".");
}

}  // namespace

std::vector<std::string> ComandoDCRAW(const DevelopSettings& settings, bool rapido, bool neutro) {
    std::vector<std::string> lista = {"-v", "-4", "-T"};
    if (neutro) {
        Anadir(lista, {"-r", "1", "1", "1", "1"});
    } else if (settings.wb.mode == WBMode::kCamera) {
        lista.push_back("-w");
    } else {
        const auto& txt = settings.wb.txtWB;
        // dcraw's fourth multiplier is the second green: the green text again.
        Anadir(lista, {"-r", Multiplicador(txt[0]), Multiplicador(txt[1]), Multiplicador(txt[2]),
                       Multiplicador(txt[1])});
    }
    // Headroom: dcraw divides the same multipliers by their largest instead of their smallest,
    // so no channel clips before the sensor does. The highlight-recovery job's later "-H 2"
    // overrides it and divides by the largest as well.
    if (HeadroomActive(settings)) {
        Anadir(lista, {"-H", "1"});
    }
    if (!settings.txtSat.empty()) {
        Anadir(lista, {"-S", settings.txtSat});
    }
    Anadir(lista, {"-q", std::to_string(settings.quality)});
    Anadir(lista, {"-o", neutro ? std::string("0") : std::to_string(settings.profile)});
    if (rapido) {
        Anadir(lista, {"-t", "0", "-h"});
    }
    AnadirOpcionesUsuario(lista, settings.txtDCRAW);
    return lista;
}

std::vector<std::string> ArgumentosRapido(const DevelopSettings& settings, bool neutro,
                                          const std::string& ruta_raw) {
    std::vector<std::string> lista = ComandoDCRAW(settings, true, neutro);
    lista.push_back(ruta_raw);
    return lista;
}

std::vector<std::string> ArgumentosLote(const DevelopSettings& settings,
                                        const std::vector<std::string>& rutas_raw) {
    std::vector<std::string> lista = ComandoDCRAW(settings, false, false);
    lista.insert(lista.end(), rutas_raw.begin(), rutas_raw.end());
    return lista;
}

std::vector<std::string> ArgumentosHLRecovery(const DevelopSettings& settings,
                                              const std::string& ruta_raw) {
    std::vector<std::string> lista = ComandoDCRAW(settings, false, false);
    Anadir(lista, {"-H", "2", ruta_raw});
    return lista;
}

std::string LineaDCRAW(const std::string& programa, const std::vector<std::string>& argumentos) {
    auto citado = [](const std::string& elemento) {
        return elemento.find(' ') == std::string::npos ? elemento : "\"" + elemento + "\"";
    };
    std::string linea = citado(programa);
    for (const std::string& argumento : argumentos) {
        linea += ' ';
        linea += citado(argumento);
    }
    return linea;
}

std::string LineaRapida(const DevelopSettings& settings, bool neutro) {
    const std::optional<std::string> programa = BuscarDCRAW(RutaBusquedaDCRAW());
    return LineaDCRAW(programa.value_or(kProgramaDCRAW), ComandoDCRAW(settings, true, neutro));
}

ReaccionRevelado ReaccionCambioRevelado(const DevelopSettings& settings,
                                        const std::string& linea_mostrada, bool con_deshabilitar,
                                        bool imagen_mostrada) {
    ReaccionRevelado reaccion;
    reaccion.linea = LineaRapida(settings);
    if (reaccion.linea == linea_mostrada) {
        return reaccion;
    }
    reaccion.cambio = true;
    reaccion.deshabilitar = con_deshabilitar;
    reaccion.revelar_de_nuevo = imagen_mostrada;
    return reaccion;
}

std::string RutaTIFFDe(const std::string& ruta_raw) {
    return QuitarExtension(ruta_raw) + ".tiff";
}

std::string RutaBusquedaDCRAW() {
    const char* path = std::getenv("PATH");
    return path != nullptr ? path : "";
}

std::optional<std::string> BuscarDCRAW(const std::string& path) {
    size_t from = 0;
    while (from <= path.size()) {
        const size_t colon = path.find(':', from);
        const size_t end = colon == std::string::npos ? path.size() : colon;
        // An empty entry would mean the current folder; dcraw is never run from there by
        // accident.
        if (end > from) {
            std::string folder = path.substr(from, end - from);
            if (folder.back() != '/') {
                folder += '/';
            }
            const std::string candidate = folder + kProgramaDCRAW;
            if (ExisteArchivo(candidate) && ::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (colon == std::string::npos) {
            break;
        }
        from = colon + 1;
    }
    return std::nullopt;
}

void ComprobarDCRAW(UserChannel& channel, const std::string& path) {
    channel.MensajeError("DCRAW not found in '" + path + "'");
}

std::optional<std::string> LocalizarDCRAW(UserChannel& channel) {
    const std::string path = RutaBusquedaDCRAW();
    std::optional<std::string> programa = BuscarDCRAW(path);
    if (!programa) {
        ComprobarDCRAW(channel, path);
    }
    return programa;
}

}  // namespace brimsal
