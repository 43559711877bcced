// Statistics: the accumulating min/max/sum/sum-of-squares operations beside a
// plain scalar loop of the same statistics (one sample after another, the
// compiler free to do what -O2 does with it), in samples/s and bytes/s. The int16
// variant also runs at the offsets that decide its path (0 and -0.5 exact, 0.001
// not) beside memcpy of the same samples, a yardstick of memory speed (bytes
// counted as read plus written, so a time ratio is the ratio of samples/s); the
// float variant also at the offset 0 (exact squares).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <type_traits>
#include <vector>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

template <class S>
const std::vector<S>& samples(std::size_t n)
{
    static std::map<std::size_t, std::vector<S>> cache;
    auto& v = cache[n];
    if (v.size() != n) {
        std::mt19937_64 rng(n);
        v.resize(n);
        for (auto& x : v) {
            if constexpr (std::is_floating_point_v<S>)
                x = static_cast<S>(static_cast<double>(rng() >> 11) * 0x1.0p-52 * 2000.0 - 1000.0);
            else
                x = static_cast<S>(rng());
        }
    }
    return v;
}

template <class S, class O>
void scalar_loop(const S* x, std::uint32_t n, S* minValue, S* maxValue, double* sum, double* sumOfSquares, O offset)
{
    S lowest = *minValue, highest = *maxValue;
    double total = *sum, squares = *sumOfSquares;
    for (std::uint32_t i = 0; i < n; ++i) {
        const S v = x[i];
        if (v < lowest) lowest = v;
        if (v > highest) highest = v;
        total += static_cast<double>(v);
        const double y = static_cast<double>(v) + static_cast<double>(offset);
        squares = std::fma(y, y, squares);
    }
    *minValue = lowest;
    *maxValue = highest;
    *sum = total;
    *sumOfSquares = squares;
}

template <class S, class O, class Fn>
void run(benchmark::State& state, Fn fn, O offset = O(0.25))
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    const std::vector<S>& x = samples<S>(n);
    for (auto _ : state) {
        S lowest = x[0], highest = x[0];
        double sum = 0.0, squares = 0.0;
        fn(x.data(), n, &lowest, &highest, &sum, &squares, offset);
        benchmark::DoNotOptimize(lowest);
        benchmark::DoNotOptimize(highest);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(squares);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * n * static_cast<std::int64_t>(sizeof(S)));
}

#define ZRBENCH_MIN_MAX_AVE_RMS(type, offset_type)                                                    \
    void BM_GetMinMaxAveRMS_##type(benchmark::State& state)                                           \
    {                                                                                                 \
        run<type, offset_type>(state, [](auto... a) { zrcalcGetMinMaxAveRMS_##type(a...); });        \
    }                                                                                                 \
    void BM_ScalarLoop_MinMaxAveRMS_##type(benchmark::State& state)                                   \
    {                                                                                                 \
        run<type, offset_type>(state, [](auto... a) { scalar_loop<type, offset_type>(a...); });       \
    }                                                                                                 \
    BENCHMARK(BM_GetMinMaxAveRMS_##type)->Apply(zrbench::standard_sizes);                   \
    BENCHMARK(BM_ScalarLoop_MinMaxAveRMS_##type)->Apply(zrbench::standard_sizes);

ZRBENCH_MIN_MAX_AVE_RMS(double, double)
ZRBENCH_MIN_MAX_AVE_RMS(float, float)
ZRBENCH_MIN_MAX_AVE_RMS(int16_t, float)
ZRBENCH_MIN_MAX_AVE_RMS(int32_t, double)

void BM_GetMinMaxAveRMS_int16_t_offset(benchmark::State& state, float offset)
{
    run<int16_t, float>(state, [](auto... a) { zrcalcGetMinMaxAveRMS_int16_t(a...); }, offset);
}
BENCHMARK_CAPTURE(BM_GetMinMaxAveRMS_int16_t_offset, offset 0, 0.0f)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(BM_GetMinMaxAveRMS_int16_t_offset, offset -0.5, -0.5f)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(BM_GetMinMaxAveRMS_int16_t_offset, offset 0.001, 0.001f)->Apply(zrbench::standard_sizes);

// The float variant at the offset 0, where its squares are exact.
void BM_GetMinMaxAveRMS_float_offset(benchmark::State& state, float offset)
{
    run<float, float>(state, [](auto... a) { zrcalcGetMinMaxAveRMS_float(a...); }, offset);
}
BENCHMARK_CAPTURE(BM_GetMinMaxAveRMS_float_offset, offset 0, 0.0f)->Apply(zrbench::standard_sizes);

void BM_Memcpy_int16_t(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<int16_t>& source = samples<int16_t>(n);
    std::vector<int16_t> destination(n);
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), n * sizeof(int16_t));
        benchmark::ClobberMemory();
    }
    zrbench::set_throughput(state, n, 2 * sizeof(int16_t));
}
BENCHMARK(BM_Memcpy_int16_t)->Apply(zrbench::standard_sizes);

}  // namespace
