// One filter output at a position, evaluated along a trace the way a host does it:
// one call per output position over 4096 consecutive positions, so the oldest
// sample of the window takes every alignment in turn. Each sample type beside a
// plain scalar loop of the same rule (one fused chain, newest sample first), at
// filter lengths 16, 64 and 256 and coefficient strides 1 and 2. Items are outputs;
// taps/s counts the products.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

using zrbench::Buffer;

constexpr std::size_t kOutputs = 4096;

template <class T>
using Filter = float (*)(const T* newest, uint32_t count, const float* coefficients, uint32_t stride);

template <class T>
float plain_filter(const T* newest, uint32_t count, const float* coefficients, uint32_t stride)
{
    float y = 0.0f;
    for (uint32_t k = 0; k < count; ++k)
        y = std::fma(coefficients[std::size_t(k) * stride], static_cast<float>(newest[-std::ptrdiff_t(k)]), y);
    return y;
}

template <class T>
void FilterTrace(benchmark::State& state, Filter<T> filter)
{
    const auto taps = static_cast<uint32_t>(state.range(0));
    const auto stride = static_cast<uint32_t>(state.range(1));
    Buffer<T> samples(taps - 1 + kOutputs, 1);
    Buffer<float> coefficients(std::size_t(taps - 1) * stride + 1, 2);
    for (auto _ : state)
        for (std::size_t i = taps - 1; i < taps - 1 + kOutputs; ++i)
            benchmark::DoNotOptimize(filter(samples.data() + i, taps, coefficients.data(), stride));
    const double outputs = static_cast<double>(state.iterations()) * kOutputs;
    state.SetItemsProcessed(static_cast<std::int64_t>(outputs));
    state.counters["taps/s"] = benchmark::Counter(outputs * taps, benchmark::Counter::kIsRate);
}

void FilterFloat(benchmark::State& state, Filter<float> filter) { FilterTrace(state, filter); }
void FilterInt32(benchmark::State& state, Filter<int32_t> filter) { FilterTrace(state, filter); }
void FilterInt16(benchmark::State& state, Filter<int16_t> filter) { FilterTrace(state, filter); }

#define ZRCALC_FILTER_SIZES ->ArgsProduct({{16, 64, 256}, {1, 2}})

BENCHMARK_CAPTURE(FilterFloat, zrcalcCACalcFilter_float, zrcalcCACalcFilter_float) ZRCALC_FILTER_SIZES;
BENCHMARK_CAPTURE(FilterFloat, scalar_float, plain_filter<float>) ZRCALC_FILTER_SIZES;
BENCHMARK_CAPTURE(FilterInt32, zrcalcCACalcFilter_int32_t, zrcalcCACalcFilter_int32_t) ZRCALC_FILTER_SIZES;
BENCHMARK_CAPTURE(FilterInt32, scalar_int32_t, plain_filter<int32_t>) ZRCALC_FILTER_SIZES;
BENCHMARK_CAPTURE(FilterInt16, zrcalcCACalcFilter_int16_t, zrcalcCACalcFilter_int16_t) ZRCALC_FILTER_SIZES;
BENCHMARK_CAPTURE(FilterInt16, scalar_int16_t, plain_filter<int16_t>) ZRCALC_FILTER_SIZES;

}  // namespace
