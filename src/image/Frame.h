// Frame: one developed 16-bit RGB image in memory.
// Samples are interleaved R, G, B, rows stored top to bottom (y = 0 is the top row), no padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace brimsal {

// The full scale of a sample: the value of a saturated 16-bit channel word, and the scale every
// step measures levels, thresholds, gammas and float outputs against.
inline constexpr int kFullScale = 65535;
// Near saturation: 90 % of kFullScale, rounded. The limit of the exposure comparison (Calc EV)
// and of the WB patch.
inline constexpr int kClipLevel = 58982;

// Frame samples come from whole pages of their own (huge pages where the system grants them:
// a 24 MP frame is then mapped in a few dozen page faults instead of tens of thousands), and
// are not zeroed when a size alone is given: a reader fills them. Sizes with a value given are
// filled with it as usual.
void* AllocateSamples(size_t bytes);
void ReleaseSamples(void* samples, size_t bytes) noexcept;

template <typename T>
struct SampleAllocator {
    using value_type = T;
    SampleAllocator() = default;
    template <typename U>
    SampleAllocator(const SampleAllocator<U>&) noexcept {}
    T* allocate(size_t n) { return static_cast<T*>(AllocateSamples(n * sizeof(T))); }
    void deallocate(T* p, size_t n) noexcept { ReleaseSamples(p, n * sizeof(T)); }
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    friend bool operator==(const SampleAllocator&, const SampleAllocator&) { return true; }
};

using Samples = std::vector<uint16_t, SampleAllocator<uint16_t>>;

struct Frame {
    int width = 0;
    int height = 0;
    Samples pixels;  // width * height * 3 samples

    Frame() = default;
    Frame(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 3, 0) {}
    // A frame whose samples are left for a reader to fill.
    static Frame Unfilled(int w, int h) {
        Frame frame;
        frame.width = w;
        frame.height = h;
        frame.pixels.resize(static_cast<size_t>(w) * h * 3);
        return frame;
    }

    bool empty() const { return pixels.empty(); }
    size_t sampleCount() const { return pixels.size(); }

    uint16_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * width * 3; }
    const uint16_t* row(int y) const { return pixels.data() + static_cast<size_t>(y) * width * 3; }
    uint16_t* at(int x, int y) { return row(y) + static_cast<size_t>(x) * 3; }
    const uint16_t* at(int x, int y) const { return row(y) + static_cast<size_t>(x) * 3; }

    // LiberarGflBitmap: the pixel data is released; the frame can be loaded again. Releasing an
    // empty frame does nothing.
    void release() {
        pixels = Samples();
        width = 0;
        height = 0;
    }
};

// CanalALong: a 16-bit channel word as the value 0..kFullScale it holds.
inline int32_t CanalALong(uint16_t word) {
    return word;
}

// LongACanal: a non-negative value as a channel word, clamped at kFullScale. The caller's
// variable is clamped in place, as it would be when the value was handed over by reference.
inline uint16_t LongACanal(int64_t& value) {
    if (value > kFullScale) {
        value = kFullScale;
    }
    return static_cast<uint16_t>(value < 0 ? 0 : value);
}

}  // namespace brimsal
