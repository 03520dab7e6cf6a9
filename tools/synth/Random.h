// Deterministic random numbers for the synthetic sensor: one small generator per image row, so a
// series comes out the same whatever the number of threads that made it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace brimsal::synth {

// splitmix64's finaliser: turns any 64-bit value into a well-mixed one (seeding and hashing).
inline uint64_t Mix64(uint64_t value) {
    value += 0x9e3779b97f4a7c15ULL;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
    return value ^ (value >> 31);
}

// A hash of three integers (seed, column, row) to a uniform value in [0, 1).
inline double HashUniform(uint64_t a, uint64_t b, uint64_t c) {
    const uint64_t h = Mix64(a ^ Mix64(b ^ Mix64(c)));
    return static_cast<double>(h >> 11) * 0x1.0p-53;
}

// xoshiro256**: fast, small state, good statistics.
class Rng {
  public:
    // One independent stream per (seed, stream, substream), e.g. (seed, frame, row).
    Rng(uint64_t seed, uint64_t stream, uint64_t substream) {
        uint64_t x = Mix64(seed) ^ Mix64(stream * 0x2545f4914f6cdd1dULL + 1) ^
                     Mix64(substream * 0x9e3779b97f4a7c15ULL + 2);
        for (auto& word : state_) {
            x = Mix64(x);
            word = x;
        }
    }

    uint64_t Next() {
        const uint64_t result = Rotate(state_[1] * 5, 7) * 9;
        const uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = Rotate(state_[3], 45);
        return result;
    }

    // Uniform in [0, 1).
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

    // Standard normal (Box-Muller; the second value of each pair is kept for the next call).
    double Normal() {
        if (has_spare_) {
            has_spare_ = false;
            return spare_;
        }
        const double u1 = 1.0 - Uniform();  // (0, 1]: the logarithm stays finite
        const double u2 = Uniform();
        const double radius = std::sqrt(-2.0 * std::log(u1));
        const double angle = 2.0 * std::numbers::pi * u2;
        spare_ = radius * std::sin(angle);
        has_spare_ = true;
        return radius * std::cos(angle);
    }

    // A Poisson count with the given mean: exact (Knuth's product of uniforms) for small means,
    // where the count's skew matters; the rounded normal approximation above that.
    double Poisson(double mean) {
        if (mean <= 0) {
            return 0;
        }
        if (mean < kExactPoissonBelow) {
            const double limit = std::exp(-mean);
            double product = Uniform();
            int count = 0;
            while (product > limit) {
                ++count;
                product *= Uniform();
            }
            return count;
        }
        return std::max(0.0, std::nearbyint(mean + std::sqrt(mean) * Normal()));
    }

  private:
    static constexpr double kExactPoissonBelow = 30.0;
    static uint64_t Rotate(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t state_[4];
    double spare_ = 0;
    bool has_spare_ = false;
};

}  // namespace brimsal::synth
