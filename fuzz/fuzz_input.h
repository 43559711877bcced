// What every fuzz target shares: inputs shaped within the contract from the
// fuzzer's bytes, and host memory that the sanitizers watch.
//
// A target is one file, `<name>_fuzz.cpp`, with LLVMFuzzerTestOneInput: it draws
// counts, codes and sizes through Input (bounded so that every array the contract
// asks for is allocated), fills arrays with samples of every kind (ordinary,
// zero, subnormal, huge, infinite, NaN), calls the library and checks what is
// cheap to check: a refused call writes nothing. Each array lives in its own heap
// block of exactly its length, so AddressSanitizer reports one element read or
// written past either end.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace zrfuzz {

class Input : public FuzzedDataProvider {
public:
    using FuzzedDataProvider::FuzzedDataProvider;

    template <class T>
    T in(T lo, T hi) { return ConsumeIntegralInRange<T>(lo, hi); }

    // A floating-point value: mostly moderate, sometimes one that tests the edges.
    template <class T>
    T value()
    {
        using L = std::numeric_limits<T>;
        static const T edges[] = {T(0), -T(0), T(1), T(-1), L::denorm_min(), L::min(), L::max(), L::lowest(),
                                  L::infinity(), -L::infinity(), L::quiet_NaN(), T(1e10), T(-1e10)};
        switch (ConsumeIntegralInRange<int>(0, 7)) {
        case 0: return edges[ConsumeIntegralInRange<std::size_t>(0, std::size(edges) - 1)];
        case 1: return ConsumeFloatingPoint<T>();  // anywhere in the finite range
        default: return ConsumeFloatingPointInRange<T>(T(-1000), T(1000));
        }
    }

    template <class T>
    T integer() { return ConsumeIntegral<T>(); }
};

// An array in its own heap block of exactly `count` elements (a zero-length
// block is still a distinct allocation), filled by the fuzzer.
template <class T>
class Array {
public:
    explicit Array(std::size_t count) : count_(count), p_(static_cast<T*>(std::malloc(count * sizeof(T) + !count)))
    {
        std::memset(static_cast<void*>(p_), 0, count * sizeof(T));
    }
    Array(Input& input, std::size_t count) : Array(count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            if constexpr (std::is_floating_point_v<T>)
                p_[i] = input.value<T>();
            else
                p_[i] = input.integer<T>();
        }
    }
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;
    ~Array() { std::free(p_); }
    T* data() const { return p_; }
    std::size_t size() const { return count_; }
    T& operator[](std::size_t i) const { return p_[i]; }
    std::vector<unsigned char> bytes() const
    {
        const auto* b = reinterpret_cast<const unsigned char*>(p_);
        return {b, b + count_ * sizeof(T)};
    }

private:
    std::size_t count_;
    T* p_;
};

// Stops the run with a finding when a stated result does not hold.
#define ZRFUZZ_CHECK(condition)                                                                   \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: stated result broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)

}  // namespace zrfuzz
