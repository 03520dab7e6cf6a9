#include "base/NewFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "base/TemporaryFiles.h"
#include "base/UserChannel.h"

namespace brimsal {

std::string NewFileName::name() const {
    return counter <= 1 ? base + extension : base + "_" + std::to_string(counter) + extension;
}

namespace {

// Bytes copied at a time when the finished file is copied into its claimed name.
constexpr size_t kCopyChunk = size_t{1} << 20;

// True when anything, even a dangling link, has this name.
bool NameTaken(const std::string& ruta) {
    struct stat info {};
    return ::lstat(ruta.c_str(), &info) == 0;
}

// A file system that cannot sync (some FUSE mounts) says so with these; they are no failure.
bool SyncUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EROFS || error == ENOTSUP ||
           error == EOPNOTSUPP;
}

// What one way of putting a file under a name came to.
enum class Placed { kDone, kTaken, kFailed };

// The ways tried, the reasons of those that failed ("link: Function not implemented").
using Failures = std::vector<std::string>;

Placed Outcome(int result, const char* call, Failures& failures) {
    if (result == 0) {
        return Placed::kDone;
    }
    if (errno == EEXIST) {
        return Placed::kTaken;
    }
    failures.push_back(std::string(call) + ": " + std::strerror(errno));
    return Placed::kFailed;
}

// fsync through the table; true when done or when the file system cannot sync.
bool Sync(const PublicationCalls& calls, int fd) {
    return calls.fsync(fd) == 0 || SyncUnsupported(errno);
}

Placed RenameNoReplace(const PublicationCalls& calls, const std::string& from,
                       const std::string& to, Failures& failures) {
    return Outcome(calls.rename_noreplace(from.c_str(), to.c_str()), "rename", failures);
}

// A hard link fails on an existing name as well; the temporary name then goes.
Placed LinkThenUnlink(const PublicationCalls& calls, const std::string& from, const std::string& to,
                      Failures& failures) {
    const Placed placed = Outcome(calls.link(from.c_str(), to.c_str()), "link", failures);
    if (placed == Placed::kDone) {
        calls.unlink(from.c_str());
    }
    return placed;
}

// The whole of `from` written into `fd` and synced; false with errno set on failure.
bool CopyInto(const PublicationCalls& calls, const std::string& from, int fd) {
    const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) {
        return false;
    }
    std::vector<char> buffer(kCopyChunk);
    bool copied = true;
    for (;;) {
        const ssize_t got = ::read(source, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            copied = got == 0;
            break;
        }
        for (ssize_t done = 0; copied && done < got;) {
            const ssize_t put =
                calls.write(fd, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            copied = put > 0;
            done += put;
        }
        if (!copied) {
            break;
        }
    }
    const int saved = errno;
    ::close(source);
    errno = saved;
    return copied && Sync(calls, fd);
}

// The name claimed by an exclusive create (which fails on an existing name too), then the file
// renamed over the claim or, where renames fail, copied into it. A claim that is not filled is
// removed: no empty file stays under the name.
Placed ClaimThenFill(const PublicationCalls& calls, const std::string& from, const std::string& to,
                     Failures& failures) {
    const int fd = calls.open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return Outcome(-1, "create", failures);
    }
    if (calls.rename(from.c_str(), to.c_str()) == 0) {
        ::close(fd);
        return Placed::kDone;
    }
    failures.push_back(std::string("rename over the claim: ") + std::strerror(errno));
    if (CopyInto(calls, from, fd)) {
        ::close(fd);
        calls.unlink(from.c_str());
        return Placed::kDone;
    }
    failures.push_back(std::string("copy: ") + std::strerror(errno));
    ::close(fd);
    calls.unlink(to.c_str());
    return Placed::kFailed;
}

// Every way in turn until one places the file or finds the name taken.
Placed PlaceIfFree(const PublicationCalls& calls, const std::string& from, const std::string& to,
                   Failures& failures) {
    for (auto* way : {RenameNoReplace, LinkThenUnlink, ClaimThenFill}) {
        const Placed placed = way(calls, from, to, failures);
        if (placed != Placed::kFailed) {
            return placed;
        }
    }
    return Placed::kFailed;
}

// Places `from` under `target` or the next free counter; false when every way failed.
bool PlaceUnderFreeName(const PublicationCalls& calls, const std::string& from, NewFileName& target,
                        Failures& failures) {
    for (;;) {
        failures.clear();
        switch (PlaceIfFree(calls, from, target.path(), failures)) {
            case Placed::kDone:
                return true;
            case Placed::kTaken:
                ++target.counter;
                break;
            case Placed::kFailed:
                return false;
        }
    }
}

// The file's data on disk before its name changes; `shown` names it in the error.
void MakeDurable(const PublicationCalls& calls, const std::string& path, const std::string& shown) {
    const int fd = calls.open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) {
        return;  // a missing file is reported by the move
    }
    const bool synced = Sync(calls, fd);
    const int saved = errno;
    ::close(fd);
    if (!synced) {
        calls.unlink(path.c_str());  // what the disk did not take is no finished file
        throw RunTimeError(kErrFileAccess, "'" + shown + "': cannot write the file to disk (" +
                                               std::strerror(saved) + ")");
    }
}

// The folder's entries on disk too, so the new name survives a power cut; best effort.
void SyncFolder(const PublicationCalls& calls, const std::string& folder) {
    const int fd = calls.open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY, 0);
    if (fd >= 0) {
        calls.fsync(fd);
        ::close(fd);
    }
}

std::string Joined(const Failures& failures) {
    std::string text;
    for (const std::string& failure : failures) {
        text += (text.empty() ? "" : "; ") + failure;
    }
    return text;
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
    const PublicationCalls& calls = PublicationCallsInUse();
    MakeDurable(calls, temporary, target.path());
    Failures failures;
    if (PlaceUnderFreeName(calls, temporary, target, failures)) {
        SyncFolder(calls, target.folder);
        return;
    }
    std::string message =
        "'" + target.path() + "': cannot put the finished file in place (" + Joined(failures) + ")";
    if (NameTaken(temporary)) {
        NewFileName kept = FirstFreeName(target.folder, target.name(), kKeptExtension);
        Failures ignored;
        std::string kept_path = temporary;
        if (PlaceUnderFreeName(calls, temporary, kept, ignored)) {
            kept_path = kept.path();
            SyncFolder(calls, target.folder);
        } else {
            ForgetTemporary(temporary);
        }
        message += "; the complete file is kept as '" + kept_path + "'";
    }
    throw RunTimeError(kErrFileAccess, message);
}

void PutInPlace(const std::string& temporary, const std::string& path) {
    const PublicationCalls& calls = PublicationCallsInUse();
    MakeDurable(calls, temporary, path);
    if (calls.rename(temporary.c_str(), path.c_str()) != 0) {
        throw RunTimeError(kErrFileAccess, "'" + path + "': cannot rename the finished file (" +
                                               std::strerror(errno) + ")");
    }
}

PublicationCalls SystemPublicationCalls() {
    PublicationCalls calls;
    calls.rename_noreplace = [](const char* from, const char* to) {
        return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
    };
    calls.link = [](const char* from, const char* to) { return ::link(from, to); };
    calls.rename = [](const char* from, const char* to) { return ::rename(from, to); };
    calls.unlink = [](const char* path) { return ::unlink(path); };
    calls.open = [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); };
    calls.write = [](int fd, const void* data, size_t size) { return ::write(fd, data, size); };
    calls.fsync = [](int fd) { return ::fsync(fd); };
    return calls;
}

PublicationCalls& PublicationCallsInUse() {
    static PublicationCalls calls = SystemPublicationCalls();
    return calls;
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
