#include "develop/RawFileSet.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/Misc.h"

namespace brimsal {

namespace {

bool IgualSinMayusculas(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// The extension of a file name, or "" when it has none.
std::string ExtensionDe(const std::string& nombre) {
    const size_t dot = nombre.rfind('.');
    return dot == std::string::npos ? std::string() : nombre.substr(dot + 1);
}

}  // namespace

bool LeerArchivosRAW(std::string& ruta, std::vector<std::string>& archivos_raw,
                     UserChannel& channel) {
    try {
        const std::string carpeta = CarpetaDeRuta(ruta);
        const std::string extension = ExtensionArchivo(ruta);
        std::vector<std::string> nombres;
        for (const auto& entry : std::filesystem::directory_iterator(carpeta)) {
            if (!entry.is_regular_file()) {
                continue;
            }
            const std::string nombre = entry.path().filename().string();
            // Hidden files (".name", such as the "._" companions another system leaves on a
            // card) are not photographs; the reference itself is always taken.
            if (nombre.front() == '.' && nombre != NombreArchivo(ruta)) {
                continue;
            }
            if (IgualSinMayusculas(ExtensionDe(nombre), extension)) {
                nombres.push_back(nombre);
            }
        }
        std::sort(nombres.begin(), nombres.end());
        const bool demasiados = static_cast<int>(nombres.size()) > kMaxArchivosRAW;
        if (demasiados) {
            nombres.resize(kMaxArchivosRAW);
        }
        archivos_raw = nombres;
        channel.AnadirLog(std::to_string(archivos_raw.size()) + " RAW files selected in path",
                          false);
        if (demasiados) {
            ruta = carpeta + archivos_raw.back();
            const std::string limite = std::to_string(kMaxArchivosRAW);
            channel.MensajeError("No more than " + limite +
                                 " RAW files allowed.  Only the current " + limite +
                                 " files are selected");
        }
        return true;
    } catch (const std::exception& error) {
        ErrorInesperado(channel, "LeerArchivosRAW", error);
        return false;
    }
}

}  // namespace brimsal
