#include "develop/RawFileSet.h"
#include "base/Paths.h"
#include "base/UserChannel.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace brimsal {

namespace {

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
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
std::string NonUtf8Name(const std::string& name) {
    std::string shown;
    bool invalid = false;
    for (size_t i = 0; i < name.size();) {
        const size_t largo = LargoUtf8(name, i);
        if (largo == 0) {
            static const char kHex[] = "0123456789ABCDEF";
            const auto byte = static_cast<unsigned char>(name[i]);
            shown += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 0xF];
            invalid = true;
            ++i;
        } else {
            shown.append(name, i, largo);
            i += largo;
        }
    }
    return invalid ? shown : std::string();
}

// Why the set cannot be developed, or "" when it can. Checked before anything is deleted:
// developing writes name.tiff beside each RAW file after deleting the old one.
std::string RefusalReason(const std::string& ruta, const std::vector<std::string>& names) {
    const std::string extension = ExtensionArchivo(ruta);
    if (EqualIgnoringCase(extension, "tif") || EqualIgnoringCase(extension, "tiff")) {
        // Its TIFF name is the file itself (or its sibling): developing would delete it.
        std::string reason = "'";  // appended: "'" + std::string makes GCC 12 warn falsely
        reason += NombreArchivo(ruta);
        reason +=
            "' is a TIFF file, not a RAW file: choose one of the RAW files it was "
            "developed from";
        return reason;
    }
    if (const std::string shown = NonUtf8Name(ruta); !shown.empty()) {
        return "The path '" + shown +
               "' is not valid UTF-8: rename the file or its folder to pass it to dcraw";
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (const std::string shown = NonUtf8Name(names[i]); !shown.empty()) {
            return "The file name '" + shown +
                   "' is not valid UTF-8: rename it to pass it to dcraw";
        }
        for (size_t j = i + 1; j < names.size(); ++j) {
            if (EqualIgnoringCase(names[i], names[j])) {
                return "'" + names[i] + "' and '" + names[j] +
                       "' differ only in letter case and would be developed into one TIFF: "
                       "rename or move one of them";
            }
        }
    }
    return "";
}

}  // namespace

bool LeerArchivosRAW(std::string& ruta, std::vector<std::string>& raw_files, UserChannel& channel) {
    return TrapUnexpected(channel, "LeerArchivosRAW", false, [&] {
        const std::string folder = CarpetaDeRuta(ruta);
        const std::string extension = ExtensionArchivo(ruta);
        std::vector<std::string> names;
        // An entry that cannot be examined (a dangling link, a file without permissions) is
        // not one of the photographs: it is left out rather than ending the listing.
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file(ignored)) {
                continue;
            }
            const std::string name = entry.path().filename().string();
            // Hidden files (".name", such as the "._" companions another system leaves on a
            // card) are not photographs; the reference itself is always taken.
            if (name.front() == '.' && name != NombreArchivo(ruta)) {
                continue;
            }
            if (name.find('.') != std::string::npos &&
                EqualIgnoringCase(ExtensionArchivo(name), extension)) {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        const bool too_many = static_cast<int>(names.size()) > kMaxRawFiles;
        if (too_many) {
            names.resize(kMaxRawFiles);
        }
        if (const std::string reason = RefusalReason(ruta, names); !reason.empty()) {
            channel.AnadirLog(reason, false);
            channel.AnadirLog("DONE", true);
            channel.MensajeError(reason);
            return false;
        }
        raw_files = names;
        channel.AnadirLog(std::to_string(raw_files.size()) + " RAW files selected in path", false);
        if (too_many) {
            ruta = folder + raw_files.back();
            const std::string limit = std::to_string(kMaxRawFiles);
            channel.MensajeError("No more than " + limit +
                                 " RAW files allowed.  Only the current " + limit +
                                 " files are selected");
        }
        return true;
    });
}

}  // namespace brimsal
