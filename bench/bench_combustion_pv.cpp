// PV plot mapping and in-place precision conversion: each operation beside a plain
// scalar loop of the same rule (the vector path's rule for the mappings). Sizes: 1
// Ki (in L1), 64 Ki (in L2) and 16 Mi elements (from memory). Items are values
// mapped or elements converted; bytes count what a call reads and writes.
//
// Narrowing in place destroys its input, so each of its passes first restores the
// 4 * count bytes that the previous pass overwrote (a memcpy, inside the time);
// RestoreOnly measures that copy alone. Widening in place needs no restoring: the
// floats it then reads (halves of its own doubles) stay normal numbers.
#include <benchmark/benchmark.h>
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

using zrbench::Buffer;
using zrbench::set_throughput;
constexpr auto sizes = zrbench::standard_sizes;

constexpr int32_t kLo = -2000, kHi = 2000;
constexpr float kScale = 1000.0f, kOffset = 7.25f, kDivisor = 3.5f;

// ------------------------------------------------------------------ mappings

using Mapping = void (*)(const float*, uint32_t, int32_t*);

void library_lin(const float* x, uint32_t n, int32_t* c) { zrcalcCAPV_lin(x, n, c, kLo, kHi, kScale, kOffset); }
void library_log(const float* x, uint32_t n, int32_t* c)
{
    zrcalcCAPV_log(x, n, c, kLo, kHi, kScale, kOffset, kDivisor);
}

// Nearest even (INT32_MIN for NaN and out of range), lowered to the maximum,
// raised to the minimum.
int32_t clamped(float y) { return std::max(std::min(_mm_cvtss_si32(_mm_set_ss(y)), kHi), kLo); }

void scalar_lin(const float* x, uint32_t n, int32_t* c)
{
    for (uint32_t i = 0; i < n; ++i) c[i] = clamped(std::fma(x[i], kScale, kOffset));
}

// The logarithm's core one value at a time: exponent plus a quartic in the
// significand, fused steps.
float log2_core(float q)
{
    uint32_t b;
    std::memcpy(&b, &q, sizeof b);
    const uint32_t mBits = (b & 0x7FFFFF) | 0x3F800000;
    float m;
    std::memcpy(&m, &mBits, sizeof m);
    const float e = static_cast<float>(static_cast<int32_t>(b >> 23 & 0xFF) - 127);
    const float cubic = std::fma(std::fma(std::fma(-0.107254423f, m, 0.688243866f), m, -1.75647175f), m, 2.61761045f);
    return std::fma(m - 1.0f, cubic, e);
}

void scalar_log(const float* x, uint32_t n, int32_t* c)
{
    for (uint32_t i = 0; i < n; ++i) {
        float q = x[i] / kDivisor;
        q = q > 9.99999972e-10f ? q : 9.99999972e-10f;
        c[i] = clamped(std::fma(log2_core(q) * kScale, 0.30103001f, kOffset));
    }
}

// Values in [-1, 1) for the linear axis, (0, 1000) for the logarithmic one.
void Map(benchmark::State& state, Mapping map, double low, double high)
{
    const auto n = static_cast<uint32_t>(state.range(0));
    Buffer<float> values(n, 1, low, high);
    Buffer<int32_t> coordinates(n);
    for (auto _ : state) {
        map(values.data(), n, coordinates.data());
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, sizeof(float) + sizeof(int32_t));
}

BENCHMARK_CAPTURE(Map, zrcalcCAPV_lin, library_lin, -1.0, 1.0)->Apply(sizes);
BENCHMARK_CAPTURE(Map, scalar_lin, scalar_lin, -1.0, 1.0)->Apply(sizes);
BENCHMARK_CAPTURE(Map, zrcalcCAPV_log, library_log, 0.0, 1000.0)->Apply(sizes);
BENCHMARK_CAPTURE(Map, scalar_log, scalar_log, 0.0, 1000.0)->Apply(sizes);

// ------------------------------------------------------------------ in-place conversions

using Conversion = void (*)(unsigned char*, uint32_t);

void library_narrow(unsigned char* b, uint32_t n) { zrcalcCADoubleArrToSingleArrInplace(b, n); }
void library_widen(unsigned char* b, uint32_t n) { zrcalcCASingleArrToDoubleArrInplace(b, n); }
void restore_only(unsigned char*, uint32_t) {}

void scalar_narrow(unsigned char* b, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) {
        double d;
        std::memcpy(&d, b + 8 * std::size_t(i), sizeof d);
        const float f = static_cast<float>(d);
        std::memcpy(b + 4 * std::size_t(i), &f, sizeof f);
    }
}

void scalar_widen(unsigned char* b, uint32_t n)
{
    for (uint32_t i = n; i-- > 0;) {
        float f;
        std::memcpy(&f, b + 4 * std::size_t(i), sizeof f);
        const double d = f;
        std::memcpy(b + 8 * std::size_t(i), &d, sizeof d);
    }
}

// A buffer of 8 * count bytes: doubles in [-1, 1), or for widening floats in
// [-1, 1) in its first half.
void Narrow(benchmark::State& state, Conversion convert)
{
    const auto n = static_cast<uint32_t>(state.range(0));
    Buffer<double> pristine(n, 2), buffer(n, 2);
    auto* bytes = reinterpret_cast<unsigned char*>(buffer.data());
    for (auto _ : state) {
        std::memcpy(bytes, pristine.data(), 4 * std::size_t(n));
        convert(bytes, n);
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, sizeof(double) + sizeof(float));
}

void Widen(benchmark::State& state, Conversion convert)
{
    const auto n = static_cast<uint32_t>(state.range(0));
    Buffer<float> buffer(2 * std::size_t(n), 3);
    auto* bytes = reinterpret_cast<unsigned char*>(buffer.data());
    for (auto _ : state) {
        convert(bytes, n);
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, sizeof(float) + sizeof(double));
}

BENCHMARK_CAPTURE(Narrow, zrcalcCADoubleArrToSingleArrInplace, library_narrow)->Apply(sizes);
BENCHMARK_CAPTURE(Narrow, scalar, scalar_narrow)->Apply(sizes);
BENCHMARK_CAPTURE(Narrow, RestoreOnly, restore_only)->Apply(sizes);
BENCHMARK_CAPTURE(Widen, zrcalcCASingleArrToDoubleArrInplace, library_widen)->Apply(sizes);
BENCHMARK_CAPTURE(Widen, scalar, scalar_widen)->Apply(sizes);

}  // namespace
