// Min/max of a block (four sample types) and the int16 copy with statistics
// (stride 1 and 4), each beside a plain scalar loop of the same rule, and memcpy
// of the same byte sizes as a yardstick of memory speed.
//
// Bytes counted: what the operation's contract reads plus what it writes, as for
// memcpy (n bytes read + n bytes written = 2n). Min/max reads count samples and
// writes nothing; the copy reads count samples (the samples, not the whole
// strided span) and writes count samples.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

template <class T>
std::vector<T> samples(std::size_t n)
{
    std::mt19937_64 rng(n);
    std::vector<T> v(n);
    for (auto& x : v) {
        if constexpr (std::is_floating_point_v<T>)
            x = static_cast<T>(static_cast<double>(rng() >> 11) * 0x1.0p-53 * 2000.0 - 1000.0);
        else
            x = static_cast<T>(rng());
    }
    return v;
}

void GetMinMax(const double* d, uint32_t n, double* lo, double* hi) { zrcalcGetMinMax_double(d, n, lo, hi); }
void GetMinMax(const float* d, uint32_t n, float* lo, float* hi) { zrcalcGetMinMax_float(d, n, lo, hi); }
void GetMinMax(const int16_t* d, uint32_t n, int16_t* lo, int16_t* hi) { zrcalcGetMinMax_int16_t(d, n, lo, hi); }
void GetMinMax(const int32_t* d, uint32_t n, int32_t* lo, int32_t* hi) { zrcalcGetMinMax_int32_t(d, n, lo, hi); }

void report(benchmark::State& state, std::size_t items, std::size_t bytesPerIteration)
{
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(items));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytesPerIteration));
}

template <class T>
void BM_GetMinMax(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto x = samples<T>(n);
    T lo, hi;
    for (auto _ : state) {
        GetMinMax(x.data(), static_cast<uint32_t>(n), &lo, &hi);
        benchmark::DoNotOptimize(lo);
        benchmark::DoNotOptimize(hi);
    }
    report(state, n, n * sizeof(T));
}

// The element rule: start from x_0, replace on strictly smaller or larger.
template <class T>
void BM_GetMinMaxScalarLoop(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto x = samples<T>(n);
    for (auto _ : state) {
        const T* data = x.data();
        benchmark::DoNotOptimize(data);
        T lo = data[0], hi = data[0];
        for (std::size_t i = 1; i < n; ++i) {
            if (data[i] < lo) lo = data[i];
            if (data[i] > hi) hi = data[i];
        }
        benchmark::DoNotOptimize(lo);
        benchmark::DoNotOptimize(hi);
    }
    report(state, n, n * sizeof(T));
}

// The offset decides the path of the blocks: 0.5, 0 and -0.5 exact, 0.001 not.
void move(benchmark::State& state, int stride, float offset)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto source = samples<int16_t>(n * stride);
    std::vector<int16_t> destination(n);
    for (auto _ : state) {
        int16_t lo = INT16_MAX, hi = INT16_MIN;
        double sum = 0.0, squares = 0.0;
        zrcalcMoveAndGetMinMaxAveRMS_int16_t(destination.data(), source.data(), static_cast<uint32_t>(n), &lo, &hi,
                                             &sum, &squares, offset, stride);
        benchmark::DoNotOptimize(squares);
        benchmark::ClobberMemory();
    }
    report(state, n, 2 * n * sizeof(int16_t));
}

template <int Stride>
void BM_MoveAndGetMinMaxAveRMS(benchmark::State& state)
{
    move(state, Stride, 0.5f);
}

void BM_MoveAndGetMinMaxAveRMS_stride_1(benchmark::State& state, float offset) { move(state, 1, offset); }

// The element rule for every sample: copy, compare, sum, fused square.
template <int Stride>
void BM_MoveAndGetMinMaxAveRMSScalarLoop(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto source = samples<int16_t>(n * Stride);
    std::vector<int16_t> destination(n);
    const float offset = 0.5f;
    for (auto _ : state) {
        int16_t lo = INT16_MAX, hi = INT16_MIN;
        double sum = 0.0, squares = 0.0;
        const int16_t* src = source.data();
        benchmark::DoNotOptimize(src);
        for (std::size_t i = 0; i < n; ++i) {
            const int16_t s = src[i * Stride];
            destination[i] = s;
            if (s < lo) lo = s;
            if (s > hi) hi = s;
            sum = sum + static_cast<double>(s);
            const double y = static_cast<double>(static_cast<float>(s) + offset);
            squares = std::fma(y, y, squares);
        }
        benchmark::DoNotOptimize(lo);
        benchmark::DoNotOptimize(hi);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(squares);
        benchmark::ClobberMemory();
    }
    report(state, n, 2 * n * sizeof(int16_t));
}

// memcpy of n samples of T: the same byte sizes as the cases above.
template <class T>
void BM_Memcpy(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto source = samples<T>(n);
    std::vector<T> destination(n);
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), n * sizeof(T));
        benchmark::ClobberMemory();
    }
    report(state, n, 2 * n * sizeof(T));
}

}  // namespace

BENCHMARK_TEMPLATE(BM_GetMinMax, double)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_GetMinMaxScalarLoop, double)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_GetMinMax, float)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_GetMinMaxScalarLoop, float)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_GetMinMax, int16_t)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_GetMinMaxScalarLoop, int16_t)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_GetMinMax, int32_t)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_GetMinMaxScalarLoop, int32_t)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_MoveAndGetMinMaxAveRMS, 1)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_MoveAndGetMinMaxAveRMSScalarLoop, 1)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(BM_MoveAndGetMinMaxAveRMS_stride_1, offset 0, 0.0f)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(BM_MoveAndGetMinMaxAveRMS_stride_1, offset -0.5, -0.5f)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(BM_MoveAndGetMinMaxAveRMS_stride_1, offset 0.001, 0.001f)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_MoveAndGetMinMaxAveRMS, 4)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_MoveAndGetMinMaxAveRMSScalarLoop, 4)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_Memcpy, double)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_Memcpy, float)->Apply(zrbench::standard_sizes);
BENCHMARK_TEMPLATE(BM_Memcpy, int16_t)->Apply(zrbench::standard_sizes);
