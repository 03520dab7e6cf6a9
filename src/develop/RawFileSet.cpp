#include "develop/RawFileSet.h"
#include "base/Paths.h"
#include "base/UserChannel.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

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

// Length of the UTF-8 sequence starting at `text[i]`, or 0 when it is not valid UTF-8
// (overlong forms, surrogates and code points above U+10FFFF included).
size_t LargoUtf8(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        return 1;
    }
    size_t largo = 0;
    unsigned char min_second = 0x80;
    unsigned char max_second = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        largo = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        largo = 3;
        min_second = lead == 0xE0 ? 0xA0 : 0x80;
        max_second = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        largo = 4;
        min_second = lead == 0xF0 ? 0x90 : 0x80;
        max_second = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + largo > text.size() || byte(i + 1) < min_second || byte(i + 1) > max_second) {
        return 0;
    }
    for (size_t k = i + 2; k < i + largo; ++k) {
        if (byte(k) < 0x80 || byte(k) > 0xBF) {
            return 0;
        }
    }
    return largo;
}

// The name as it can be shown: every byte that is not part of valid UTF-8 written as "\xNN".
// Empty when the whole name is valid UTF-8.
std::string NombreNoUtf8(const std::string& nombre) {
    std::string mostrado;
    bool invalido = false;
    for (size_t i = 0; i < nombre.size();) {
        const size_t largo = LargoUtf8(nombre, i);
        if (largo == 0) {
            static const char kHex[] = "0123456789ABCDEF";
            const auto byte = static_cast<unsigned char>(nombre[i]);
            mostrado += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 0xF];
            invalido = true;
            ++i;
        } else {
            mostrado.append(nombre, i, largo);
            i += largo;
        }
    }
    return invalido ? mostrado : std::string();
}

// Why the set cannot be developed, or "" when it can. Checked before anything is deleted:
// developing writes name.tiff beside each RAW file after deleting the old one.
std::string MotivoRechazo(const std::string& ruta, const std::vector<std::string>& nombres) {
    const std::string extension = ExtensionArchivo(ruta);
    if (IgualSinMayusculas(extension, "tif") || IgualSinMayusculas(extension, "tiff")) {
        // Its TIFF name is the file itself (or its sibling): developing would delete it.
        std::string reason = "'";  // appended: "'" + std::string makes GCC 12 warn falsely
        reason += NombreArchivo(ruta);
        reason +=
            "' is a TIFF file, not a RAW file: choose one of the RAW files it was "
            "developed from";
        return reason;
    }
    if (const std::string mostrado = NombreNoUtf8(ruta); !mostrado.empty()) {
        return "The path '" + mostrado +
               "' is not valid UTF-8: rename the file or its folder to pass it to dcraw";
    }
    for (size_t i = 0; i < nombres.size(); ++i) {
        if (const std::string mostrado = NombreNoUtf8(nombres[i]); !mostrado.empty()) {
            return "The file name '" + mostrado +
                   "' is not valid UTF-8: rename it to pass it to dcraw";
        }
        for (size_t j = i + 1; j < nombres.size(); ++j) {
            if (IgualSinMayusculas(nombres[i], nombres[j])) {
                return "'" + nombres[i] + "' and '" + nombres[j] +
                       "' differ only in letter case and would be developed into one TIFF: "
                       "rename or move one of them";
            }
        }
    }
    return "";
}

}  // namespace

bool LeerArchivosRAW(std::string& ruta, std::vector<std::string>& archivos_raw,
                     UserChannel& channel) {
    try {
        const std::string carpeta = CarpetaDeRuta(ruta);
        const std::string extension = ExtensionArchivo(ruta);
        std::vector<std::string> nombres;
        // An entry that cannot be examined (a dangling link, a file without permissions) is
        // not one of the photographs: it is left out rather than ending the listing.
        std::error_code ignorado;
        for (const auto& entry : std::filesystem::directory_iterator(carpeta)) {
            if (!entry.is_regular_file(ignorado)) {
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
        if (const std::string motivo = MotivoRechazo(ruta, nombres); !motivo.empty()) {
            channel.AnadirLog(motivo, false);
            channel.AnadirLog("DONE", true);
            channel.MensajeError(motivo);
            return false;
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
