// What the benchmark programs share: aligned buffers of deterministic samples,
// the three sizes every operation is measured at, and the throughput counters.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#ifdef ZRCALC_HAVE_VOLK
#include <volk/volk.h>
#endif

namespace zrbench {

constexpr std::size_t kAlignment = 64;

// A 64-byte aligned buffer; from VOLK's allocator when VOLK is present, so that
// both libraries see the same memory. Floating-point samples lie in [low, high),
// integers cover their whole range. A 64-bit linear congruential sequence fills
// it: cheap enough that the 16 Mi buffers take no longer to fill than to measure.
template <class T>
class Buffer {
public:
    explicit Buffer(std::size_t count, unsigned seed = 1, double low = -1.0, double high = 1.0)
    {
        std::size_t bytes = (count * sizeof(T) + kAlignment - 1) / kAlignment * kAlignment;
        if (bytes == 0) bytes = kAlignment;
#ifdef ZRCALC_HAVE_VOLK
        data_ = static_cast<T*>(volk_malloc(bytes, kAlignment));
#else
        data_ = static_cast<T*>(std::aligned_alloc(kAlignment, bytes));
#endif
        if (!data_) throw std::bad_alloc();
        std::uint64_t state = 0x9e3779b97f4a7c15u * (seed + 1u);
        for (std::size_t i = 0; i < count; ++i) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            if constexpr (std::is_floating_point_v<T>)
                data_[i] = static_cast<T>(low + (high - low) * (static_cast<double>(state >> 11) * 0x1.0p-53));
            else
                data_[i] = static_cast<T>(state >> 32);
        }
    }
    ~Buffer()
    {
#ifdef ZRCALC_HAVE_VOLK
        volk_free(data_);
#else
        std::free(data_);
#endif
    }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    T* data() const { return data_; }

private:
    T* data_;
};

// 1 Ki (in cache), 64 Ki (in L2) and 16 Mi (in memory) elements.
inline void standard_sizes(benchmark::internal::Benchmark* b) { b->Arg(1 << 10)->Arg(1 << 16)->Arg(1 << 24); }

inline void set_throughput(benchmark::State& state, std::size_t items, std::size_t bytesPerItem)
{
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(items));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(items * bytesPerItem));
}

// A float given by its bits.
inline float from_bits(std::uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// A float-array function of one argument, output[i] = f(input[i]), on n inputs
// spread over [lo, hi].
using FloatArrayLoop = void (*)(const float* input, float* output, std::uint32_t count);
inline void float_array_loop(benchmark::State& state, FloatArrayLoop loop, double lo, double hi)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<float> x(n, 1, lo, hi), y(n, 2);
    for (auto _ : state) {
        loop(x.data(), y.data(), static_cast<std::uint32_t>(n));
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, 2 * sizeof(float));
}

}  // namespace zrbench
