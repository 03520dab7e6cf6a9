#include "base/TemporaryFiles.h"

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>

namespace brimsal {

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

void ForgetTemporary(const std::string& path) {
    for (TemporarySlot& slot : g_temporaries) {
        if (slot.ready.load() && path == slot.path) {
            slot.ready.store(false);
        }
    }
}

void RemoveTemporariesAtAbruptExit() {
    for (TemporarySlot& slot : g_temporaries) {
        if (slot.ready.load()) {
            ::unlink(slot.path);
        }
    }
}

}  // namespace brimsal
