#include "base/Parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace brimsal {

#if defined(__x86_64__) || defined(__i386__)
namespace {
__attribute__((target("avx"))) void ZeroUpperHalves() {
    _mm256_zeroupper();
}
}  // namespace
#endif

void ClearUpperVectorState() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx = (__builtin_cpu_init(), __builtin_cpu_supports("avx"));
    if (avx) {
        ZeroUpperHalves();
    }
#endif
}

int AvailableThreads() {
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware == 0 ? 1 : static_cast<int>(hardware);
}

int64_t NumChunks(int64_t count, int64_t grain) {
    if (count <= 0) {
        return 0;
    }
    grain = std::max<int64_t>(1, grain);
    return (count + grain - 1) / grain;
}

void ParallelFor(int64_t count, int64_t grain,
                 const std::function<void(int64_t, int64_t, int64_t)>& body, int threads) {
    grain = std::max<int64_t>(1, grain);
    const int64_t chunks = NumChunks(count, grain);
    if (chunks == 0) {
        return;
    }
    if (threads <= 0) {
        threads = AvailableThreads();
    }
    const int workers = static_cast<int>(std::min<int64_t>(threads, chunks));
    if (workers <= 1) {
        for (int64_t c = 0; c < chunks; ++c) {
            ClearUpperVectorState();
            body(c, c * grain, std::min(count, (c + 1) * grain));
        }
        return;
    }

    std::atomic<int64_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr first_error;
    std::mutex error_mutex;
    auto work = [&] {
        for (;;) {
            const int64_t c = next.fetch_add(1);
            if (c >= chunks || failed.load()) {
                return;
            }
            try {
                ClearUpperVectorState();
                body(c, c * grain, std::min(count, (c + 1) * grain));
            } catch (...) {
                std::lock_guard lock(error_mutex);
                if (!first_error) {
                    first_error = std::current_exception();
                }
                failed = true;
                return;
            }
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(static_cast<size_t>(workers - 1));
    try {
        for (int t = 1; t < workers; ++t) {
            pool.emplace_back(work);
        }
    } catch (...) {
        // No thread to be had (the system's limit): the started ones stop at their next
        // chunk and are joined before the failure is reported.
        failed = true;
        for (auto& thread : pool) {
            thread.join();
        }
        throw;
    }
    work();
    for (auto& thread : pool) {
        thread.join();
    }
    if (first_error) {
        std::rethrow_exception(first_error);
    }
}

}  // namespace brimsal
