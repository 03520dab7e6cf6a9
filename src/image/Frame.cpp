#include "image/Frame.h"

#include <sys/mman.h>

#include <cstdlib>

namespace brimsal {

namespace {

// Below this a block comes from the heap: mapping pages of its own gains nothing.
constexpr size_t kMappedFrom = size_t{1} << 21;

}  // namespace

void* AllocateSamples(size_t bytes) {
    if (bytes < kMappedFrom) {
        void* block = std::malloc(bytes == 0 ? 1 : bytes);
        if (block == nullptr) {
            throw std::bad_alloc();
        }
        return block;
    }
    void* block =
        ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        throw std::bad_alloc();
    }
    // Advice only: where huge pages are not available the block stays as it is.
    ::madvise(block, bytes, MADV_HUGEPAGE);
    return block;
}

void ReleaseSamples(void* samples, size_t bytes) noexcept {
    if (samples == nullptr) {
        return;
    }
    if (bytes < kMappedFrom) {
        std::free(samples);
    } else {
        ::munmap(samples, bytes);
    }
}

}  // namespace brimsal
