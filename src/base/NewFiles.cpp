#include "base/NewFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/UserChannel.h"

namespace brimsal {

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

std::string HoraHHMMSS() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%H%M%S", &local);
    return buffer;
}

}  // namespace brimsal
