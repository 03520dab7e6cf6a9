// The readers take paths: each fuzz input is handed over as a file held in memory.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace brimsal::fuzz {

// Replaces the content of one in-memory file with `data` and returns its path.
inline std::string AsFile(const uint8_t* data, size_t size) {
    static const int fd = ::memfd_create("brimsal-fuzz-input", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace brimsal::fuzz
