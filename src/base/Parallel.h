// One parallel helper for every kernel: a range of rows (or any index range) cut into fixed
// chunks that worker threads take in turn. Chunk boundaries do not depend on the thread count,
// so a kernel that keeps one partial result per chunk and merges the partials in chunk order
// gives the same result with 1 thread or with all of them.
#pragma once

#include <cstdint>
#include <functional>

namespace brimsal {

// Threads to use when a caller passes 0: the hardware's count, at least 1.
int AvailableThreads();

// Clears the upper halves of the AVX registers of the calling thread (nothing on other CPUs).
// Qt's image routines leave them in use; from then on the SSE code of that thread, and of every
// thread it starts, pays a state-transition penalty (libm's pow runs about 15 times slower).
// ParallelFor calls it before every chunk; serial code that follows picture work may call it.
void ClearUpperVectorState();

// Number of chunks ParallelFor cuts [0, count) into with this grain.
int64_t NumChunks(int64_t count, int64_t grain);

// Runs body(chunk, begin, end) for every chunk [begin, end) of [0, count), chunk = 0, 1, ...,
// each chunk `grain` long except the last. `threads` <= 0 means AvailableThreads().
// The first exception thrown by a body stops the remaining chunks and is rethrown here.
void ParallelFor(int64_t count, int64_t grain,
                 const std::function<void(int64_t chunk, int64_t begin, int64_t end)>& body,
                 int threads = 0);

}  // namespace brimsal
