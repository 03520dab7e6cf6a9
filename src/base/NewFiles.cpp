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

std::string NewFileName::name() const {
    return counter <= 1 ? base + extension : base + "_" + std::to_string(counter) + extension;
}

namespace {

// True when anything, even a dangling link, has this name.
bool NameTaken(const std::string& ruta) {
    struct stat info {};
    return ::lstat(ruta.c_str(), &info) == 0;
}

// Renames `from` to `to` unless `to` exists; false with errno EEXIST when it does.
bool MoveIfFree(const std::string& from, const std::string& to) {
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

NewFileName FirstFreeName(const std::string& folder, const std::string& base,
                          const std::string& extension) {
    NewFileName fresh{folder, base, extension};
    while (NameTaken(fresh.path())) {
        ++fresh.counter;
    }
    return fresh;
}

std::string FreeFileName(const std::string& folder, const std::string& base,
                         const std::string& extension) {
    return FirstFreeName(folder, base, extension).name();
}

void PublishWithoutReplacing(const std::string& temporary, NewFileName& target) {
    while (!MoveIfFree(temporary, target.path())) {
        if (errno != EEXIST) {
            throw RunTimeError(kErrFileAccess, "'" + target.path() +
                                                   "': cannot put the finished file in place (" +
                                                   std::strerror(errno) + ")");
        }
        ++target.counter;
    }
}

std::string TimeHHMMSS() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%H%M%S", &local);
    return buffer;
}

}  // namespace brimsal
