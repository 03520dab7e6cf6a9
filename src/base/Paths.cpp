#include "base/Paths.h"

#include <sys/stat.h>

#include "base/UserChannel.h"

namespace brimsal {

namespace {

// Position of the last "/" or throws: a path without a folder is an invalid argument.
size_t LastSlash(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        throw RunTimeError(kErrInvalidArgument, "Invalid path (no folder): '" + path + "'");
    }
    return slash;
}

// Position of the extension's "." inside the last component, or throws.
size_t ExtensionDot(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        throw RunTimeError(kErrInvalidArgument, "File name without extension: '" + path + "'");
    }
    return dot;
}

}  // namespace

bool ExisteArchivo(const std::string& path) {
    if (path.empty() || path.back() == '/') {
        return false;
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string QuitarExtension(const std::string& path) {
    return path.substr(0, ExtensionDot(path));
}

std::string ExtensionArchivo(const std::string& path) {
    return path.substr(ExtensionDot(path) + 1);
}

std::string NombreArchivo(const std::string& path) {
    return path.substr(LastSlash(path) + 1);
}

std::string CarpetaDeRuta(const std::string& path) {
    return path.substr(0, LastSlash(path) + 1);
}

std::string ReemplazarTodo(const std::string& text, const std::string& searched,
                           const std::string& replacement) {
    if (searched.empty()) {
        return text;
    }
    if (replacement.find(searched) != std::string::npos) {
        // Restarting from the beginning would never end; one left-to-right pass instead.
        std::string result;
        size_t from = 0;
        for (size_t hit = text.find(searched); hit != std::string::npos;
             hit = text.find(searched, from)) {
            result.append(text, from, hit - from);
            result += replacement;
            from = hit + searched.size();
        }
        return result.append(text, from, std::string::npos);
    }
    // Replace the first occurrence, then search again from the start of the new text, so an
    // occurrence formed by a replacement and its neighbours is replaced too.
    std::string result = text;
    for (size_t hit = result.find(searched); hit != std::string::npos;
         hit = result.find(searched)) {
        result.replace(hit, searched.size(), replacement);
    }
    return result;
}

}  // namespace brimsal
