// Files the system creates: a name no existing entry has (a counter before the extension when the
// time-stamped name is taken), put in place complete, on disk and without replacing anything.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace brimsal {

// The name of a file the system creates in `folder` (ending in "/"): base + extension, or, when
// that is taken, base + "_2" + extension, base + "_3" + extension, ... No file the system writes
// ever replaces an existing one.
struct NewFileName {
    std::string folder;
    std::string base;
    std::string extension;  // with its "."
    int counter = 1;        // 1: no counter
    std::string name() const;
    std::string path() const { return folder + name(); }
};

// The first name no entry of the folder has now, counting from 1.
NewFileName FirstFreeName(const std::string& folder, const std::string& base,
                          const std::string& extension);
// FirstFreeName(...).name().
std::string FreeFileName(const std::string& folder, const std::string& base,
                         const std::string& extension);

// What is added to a finished file's name when it cannot be put in place: the file kept as
// "<name>.complete" beside it.
inline constexpr const char* kKeptExtension = ".complete";

// Moves the complete file `temporary` (in target.folder) to target's name without replacing
// anything. The file is first made durable (fsync), so a power cut after the move never leaves
// an empty file under the name. File systems differ in what they allow, so every way is tried
// in turn, whatever the error of the one before: an atomic rename that refuses to replace, a
// hard link then the temporary's removal, the name claimed by an exclusive create and then the
// temporary renamed over the claim or, failing that, copied into it. When another run has
// taken the name since it was chosen, the next free counter is used and `target` updated, so
// the caller can name the file actually written.
// When every way fails, the complete file is kept under target's name + kKeptExtension (or,
// when not even that is possible, under `temporary`) and RunTimeError 75 names where it is; the
// caller must not remove `temporary` then. A file the disk refuses to sync is removed and
// reported. No empty or partial file is left under target's name.
void PublishWithoutReplacing(const std::string& temporary, NewFileName& target);

// Puts the complete file `temporary` in place as `path`, replacing what `path` held, after
// making it durable. Throws RunTimeError 75 naming `path` when it cannot; `temporary` then
// stays for the caller to remove.
void PutInPlace(const std::string& temporary, const std::string& path);

// The file-system calls the publication makes, in one table so that tests can play a file
// system that refuses some of them (no renameat2 in a sandbox, no links on a FUSE mount or a
// FAT card, a full disk). Each behaves as the system call of its name: -1 and errno on failure.
struct PublicationCalls {
    std::function<int(const char* from, const char* to)> rename_noreplace;
    std::function<int(const char* from, const char* to)> link;
    std::function<int(const char* from, const char* to)> rename;
    std::function<int(const char* path)> unlink;
    std::function<int(const char* path, int flags, mode_t mode)> open;
    std::function<ssize_t(int fd, const void* data, size_t size)> write;
    std::function<int(int fd)> fsync;
};
// The system's calls.
PublicationCalls SystemPublicationCalls();
// The table in use: the system's calls unless a test replaced some.
PublicationCalls& PublicationCallsInUse();

// Local time of day as "hhmmss".
std::string TimeHHMMSS();

}  // namespace brimsal
