#include "app/Misc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace brimsal {

std::string TextoErrorInesperado(const std::string& module, int number,
                                 const std::string& description) {
    return "Unexpected error occurred in module " + module + " \nError number " +
           std::to_string(number) + ", described as '" + description +
           "'\nPlease report giving all possible details to: " + kContactAddress;
}

void ErrorInesperado(UserChannel& channel, const std::string& module, int number,
                     const std::string& description) {
    channel.MensajeError(TextoErrorInesperado(module, number, description));
    channel.AnadirLog("An unexpected error occurred", false);
}

void ErrorInesperado(UserChannel& channel, const std::string& module, const std::exception& error) {
    if (const auto* runtime = dynamic_cast<const RunTimeError*>(&error)) {
        ErrorInesperado(channel, module, runtime->number(), runtime->what());
    } else if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        ErrorInesperado(channel, module, 7, "Out of memory");
    } else {
        ErrorInesperado(channel, module, kErrInvalidArgument, error.what());
    }
}

void ComprobarCancelacion(const UserChannel& channel) {
    if (channel.Cancelado()) {
        throw Cancelled();
    }
}

// ---- Paths ----

namespace {

// Position of the last "/" or throws: a path without a folder is an invalid argument.
size_t UltimaBarra(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        throw RunTimeError(kErrInvalidArgument, "Invalid path (no folder): '" + path + "'");
    }
    return slash;
}

// Position of the extension's "." inside the last component, or throws.
size_t PuntoExtension(const std::string& path) {
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
    return path.substr(0, PuntoExtension(path));
}

std::string ExtensionArchivo(const std::string& path) {
    return path.substr(PuntoExtension(path) + 1);
}

std::string NombreArchivo(const std::string& path) {
    return path.substr(UltimaBarra(path) + 1);
}

std::string CarpetaDeRuta(const std::string& path) {
    return path.substr(0, UltimaBarra(path) + 1);
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

// ---- Numbers ----

double MinDbl(double a, double b) {
    return a < b ? a : b;
}
double MaxDbl(double a, double b) {
    return a > b ? a : b;
}
int64_t MinLng(int64_t a, int64_t b) {
    return a < b ? a : b;
}
int64_t MaxLng(int64_t a, int64_t b) {
    return a > b ? a : b;
}
int ByteBajo(int64_t value) {
    return static_cast<int>(static_cast<uint64_t>(value) & 0xFFu);
}

double Redondear(double value) {
    return std::nearbyint(value);
}

std::string TextoNumero(double value, std::string_view decimal_separator) {
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "NaN" : (value > 0 ? "Infinity" : "-Infinity");
    }
    if (value == 0.0) {
        return "0";
    }
    // Round to 15 significant digits first: "d.dddddddddddddde+XX".
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    std::string text(buffer, result.ptr);
    const bool negative = text[0] == '-';
    if (negative) {
        text.erase(0, 1);
    }
    const size_t e = text.find('e');
    const int exponent = std::stoi(text.substr(e + 1));
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);  // 15 digits, no point
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    std::string whole;
    std::string fraction;
    if (exponent < 0) {
        whole = "0";
        fraction = std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else if (static_cast<size_t>(exponent) + 1 >= digits.size()) {
        whole = digits + std::string(static_cast<size_t>(exponent) + 1 - digits.size(), '0');
    } else {
        whole = digits.substr(0, static_cast<size_t>(exponent) + 1);
        fraction = digits.substr(static_cast<size_t>(exponent) + 1);
    }
    std::string out = negative ? "-" : "";
    out += whole;
    if (!fraction.empty()) {
        out += decimal_separator;
        out += fraction;
    }
    return out;
}

std::string SeparadorDecimal() {
    const std::lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr ||
        conventions->decimal_point[0] == '\0') {
        return ".";
    }
    return conventions->decimal_point;
}

std::string TextoNumero(double value) {
    return TextoNumero(value, SeparadorDecimal());
}

std::string NombreNuevo::nombre() const {
    return contador <= 1 ? base + extension : base + "_" + std::to_string(contador) + extension;
}

namespace {

// True when anything, even a dangling link, has this name.
bool NombreOcupado(const std::string& ruta) {
    struct stat info {};
    return ::lstat(ruta.c_str(), &info) == 0;
}

// Renames `from` to `to` unless `to` exists; false with errno EEXIST when it does.
bool MoverSiLibre(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return false;
    }
    // A file system without the atomic form: a hard link fails on an existing name too.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) {
        return false;
    }
    // Nor links (FAT cards): claim the name with an exclusive create, then move over the claim.
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

NombreNuevo PrimerNombreLibre(const std::string& carpeta, const std::string& base,
                              const std::string& extension) {
    NombreNuevo nuevo{carpeta, base, extension};
    while (NombreOcupado(nuevo.ruta())) {
        ++nuevo.contador;
    }
    return nuevo;
}

std::string NombreSinSobrescribir(const std::string& carpeta, const std::string& base,
                                  const std::string& extension) {
    return PrimerNombreLibre(carpeta, base, extension).nombre();
}

void PublicarSinReemplazar(const std::string& temporal, NombreNuevo& destino) {
    while (!MoverSiLibre(temporal, destino.ruta())) {
        if (errno != EEXIST) {
            throw RunTimeError(kErrFileAccess, "'" + destino.ruta() +
                                                   "': cannot put the finished file in place (" +
                                                   std::strerror(errno) + ")");
        }
        ++destino.contador;
    }
}

namespace {

// The names of files being written, for RemoveTemporariesAtAbruptExit: a ring of fixed slots a
// signal handler reads without allocating; a slot being filled is not ready.
struct TemporarySlot {
    std::atomic<bool> ready{false};
    char path[4096];
};
constexpr unsigned kTemporarySlots = 64;
TemporarySlot g_temporaries[kTemporarySlots];
std::atomic<unsigned> g_temporary_count{0};

}  // namespace

std::string TemporaryNameBeside(const std::string& path, const char* tag) {
    const unsigned number = g_temporary_count.fetch_add(1);
    std::string name = path + tag + std::to_string(::getpid()) + "-" + std::to_string(number);
    TemporarySlot& slot = g_temporaries[number % kTemporarySlots];
    slot.ready.store(false);
    if (name.size() < sizeof slot.path) {
        std::memcpy(slot.path, name.c_str(), name.size() + 1);
        slot.ready.store(true);
    }
    return name;
}

void RemoveTemporariesAtAbruptExit() {
    for (TemporarySlot& slot : g_temporaries) {
        if (slot.ready.load()) {
            ::unlink(slot.path);
        }
    }
}

std::string HoraHHMMSS() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%H%M%S", &local);
    return buffer;
}

}  // namespace brimsal
