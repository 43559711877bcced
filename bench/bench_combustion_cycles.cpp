// Combustion analysis over cycles: the raw-data copy with its peak search, the
// overall average and the running value, each beside a plain scalar loop of the
// same rule. Sizes: 1 Ki (in L1) and 64 Ki samples (in L2); items are samples.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

using zrbench::Buffer;
using zrbench::set_throughput;

constexpr uint32_t kWindowStart = 1000;  // the window lies this far into the raw buffer
constexpr uint64_t kCycles = 100;        // cycles already averaged
constexpr uint32_t kWindow = 16;         // cycles in the running window; the window is full

using Copy = void (*)(const float*, float*, uint32_t, uint32_t, float, float*, int32_t*);
using Overall = void (*)(const float*, float*, uint32_t, uint32_t, uint64_t, float*);
using Running = void (*)(const float*, const float*, float*, float*, uint32_t, uint32_t, uint64_t, uint32_t);

void CopyRawData(benchmark::State& state, Copy copy)
{
    const auto n = static_cast<uint32_t>(state.range(0));
    Buffer<float> raw(kWindowStart + n, 1), channel(n, 2);
    float peak;
    int32_t at;
    for (auto _ : state) {
        copy(raw.data(), channel.data(), kWindowStart, kWindowStart + n, 0.25f, &peak, &at);
        benchmark::DoNotOptimize(at);
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, 2 * sizeof(float));
}

void OverallPressure(benchmark::State& state, Overall overall)
{
    const auto n = static_cast<uint32_t>(state.range(0));
    Buffer<float> x(n, 3), average(n, 4);
    float highest;
    for (auto _ : state) {
        overall(x.data(), average.data(), 0, n, kCycles, &highest);
        benchmark::DoNotOptimize(highest);
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, 3 * sizeof(float));
}

void RunningValue(benchmark::State& state, Running running)
{
    const auto n = static_cast<uint32_t>(state.range(0));
    Buffer<float> x(n, 5), leaving(n, 6), sum(n, 7), average(n, 8);
    for (auto _ : state) {
        running(x.data(), leaving.data(), sum.data(), average.data(), 0, n - 1, kCycles, kWindow);
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, 5 * sizeof(float));
}

// The plain loops: one element after another, the short-path rule of each.
void scalar_copy(const float* source, float* destination, uint32_t start, uint32_t end, float offset, float* peak,
                 int32_t* at)
{
    float best = 1.17549435e-38f;
    int32_t index = -1;
    for (uint32_t i = start; i < end; ++i) {
        const float v = source[i] - offset;
        destination[i - start] = v;
        if (v > best) best = v, index = static_cast<int32_t>(i);
    }
    *peak = best;
    *at = index;
}

void scalar_overall(const float* x, float* a, uint32_t start, uint32_t end, uint64_t cycles, float* highest)
{
    const double n = static_cast<double>(cycles);
    float best = 1.17549435e-38f;
    for (uint32_t i = 0; i < end - start; ++i) {
        a[i] = static_cast<float>(std::fma(n, static_cast<double>(a[i]), static_cast<double>(x[i])) / (n + 1.0));
        if (a[i] > best) best = a[i];
    }
    *highest = best;
}

void scalar_running(const float* x, const float* o, float* s, float* g, uint32_t start, uint32_t end, uint64_t,
                    uint32_t window)
{
    const float w = static_cast<float>(window);
    for (uint32_t i = 0; i <= end - start; ++i) {
        s[i] = (x[i] + s[i]) - o[i];
        g[i] = s[i] / w;
    }
}

}  // namespace

#define ZRCALC_SIZES ->Arg(1 << 10)->Arg(1 << 16)

BENCHMARK_CAPTURE(CopyRawData, zrCalcCACopyRawDataToChannels, zrCalcCACopyRawDataToChannels) ZRCALC_SIZES;
BENCHMARK_CAPTURE(CopyRawData, scalar, scalar_copy) ZRCALC_SIZES;
BENCHMARK_CAPTURE(OverallPressure, zrCalcCAOverallPressure, zrCalcCAOverallPressure) ZRCALC_SIZES;
BENCHMARK_CAPTURE(OverallPressure, scalar, scalar_overall) ZRCALC_SIZES;
BENCHMARK_CAPTURE(RunningValue, zrCalcCARunningVal, zrCalcCARunningVal) ZRCALC_SIZES;
BENCHMARK_CAPTURE(RunningValue, scalar, scalar_running) ZRCALC_SIZES;
