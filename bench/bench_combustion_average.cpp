// The averaging filter on 64 Ki samples with windows of 3, 31 and 1001: the block
// form and the scalar form of both types, each beside a plain scalar loop of the
// same rule (the block rule's loop runs its chunks one after another).
//
// Every form is bound by the latency of its running mean's chain: a fused
// multiply-add, a subtraction and a division or multiplication per sample. The
// block form runs K - 1 of its chains side by side in the lanes and the last one
// beside them; its lanes divide, which waits longer than a multiplication.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

using zrbench::Buffer;

template <class T>
using Filter = void (*)(const T*, T*, uint32_t, uint32_t);

template <class T>
void AveFilter(benchmark::State& state, Filter<T> filter)
{
    const auto width = static_cast<uint32_t>(state.range(0));
    const auto n = static_cast<uint32_t>(state.range(1));
    Buffer<T> x(n, 1), y(n, 2);
    for (auto _ : state) {
        filter(x.data(), y.data(), width, n);
        benchmark::ClobberMemory();
    }
    zrbench::set_throughput(state, n, 2 * sizeof(T));
}
constexpr auto AveFilterDouble = AveFilter<double>;
constexpr auto AveFilterFloat = AveFilter<float>;

// The plain loops. Chunk c (of `chunks`, Q positions each) starts from its first
// window's mean; every chunk but the last divides, the last multiplies by r. With one
// chunk and a running first mean this is the scalar rule.
template <class T>
void plain_rule(const T* x, T* y, uint32_t width, uint32_t n, uint32_t chunks, bool runningMean)
{
    const uint32_t L = (width & 0xFFFF) | 1, H = L / 2, Q = (n + chunks - 1) / chunks;
    const T length = T(L), r = T(1) / length;
    for (uint32_t c = 0; c < chunks; ++c) {
        T m = 0;
        for (uint32_t k = 0; k < L; ++k) m = runningMean ? std::fma(T(k), m, x[k]) / T(k + 1) : m + x[c * Q + k];
        if (!runningMean) m = r * m;
        if (c == 0) std::fill(y, y + H + 1, m);
        for (uint32_t p = c * Q + H + 1; p <= std::min(c * Q + Q + H, n - H - 1); ++p) {
            const T t = std::fma(length, m, x[p + H]) - x[p - H - 1];
            y[p] = m = c + 1 < chunks ? t / length : t * r;
        }
    }
    std::fill(y + n - H, y + n, y[n - H - 1]);
}

template <class T>
void plain_scalar(const T* x, T* y, uint32_t width, uint32_t n)
{
    plain_rule(x, y, width, n, 1, true);
}

template <class T>
void plain_block(const T* x, T* y, uint32_t width, uint32_t n)
{
    plain_rule(x, y, width, n, 32 / sizeof(T) + 1, false);
}

void block_double(const double* x, double* y, uint32_t w, uint32_t n) { zrcalcCACalcAveFilter_double(x, y, w, n); }
void block_float(const float* x, float* y, uint32_t w, uint32_t n) { zrcalcCACalcAveFilter_float(x, y, w, n); }
void scalar_double(const double* x, double* y, uint32_t w, uint32_t n)
{
    zrcalcCACalcAveFilter_double_scalar(x, y, w, n);
}
void scalar_float(const float* x, float* y, uint32_t w, uint32_t n) { zrcalcCACalcAveFilter_float_scalar(x, y, w, n); }

// Windows of 3, 31 and 1001 samples on 64 Ki samples: every one takes the block
// form of both types (1001 <= 65536 / 64). Width 3 also on 1 Ki samples, the size
// that the test script's quick run of every benchmark program picks.
void widths(benchmark::internal::Benchmark* b)
{
    for (int64_t width : {3, 31, 1001}) b->Args({width, 1 << 16});
    b->Args({3, 1 << 10});
}

}  // namespace

#define ZRCALC_WIDTHS ->Apply(widths)

BENCHMARK_CAPTURE(AveFilterDouble, zrcalcCACalcAveFilter_double, block_double) ZRCALC_WIDTHS;
BENCHMARK_CAPTURE(AveFilterDouble, plain_block, plain_block<double>) ZRCALC_WIDTHS;
BENCHMARK_CAPTURE(AveFilterDouble, zrcalcCACalcAveFilter_double_scalar, scalar_double) ZRCALC_WIDTHS;
BENCHMARK_CAPTURE(AveFilterDouble, plain_scalar, plain_scalar<double>) ZRCALC_WIDTHS;
BENCHMARK_CAPTURE(AveFilterFloat, zrcalcCACalcAveFilter_float, block_float) ZRCALC_WIDTHS;
BENCHMARK_CAPTURE(AveFilterFloat, plain_block, plain_block<float>) ZRCALC_WIDTHS;
BENCHMARK_CAPTURE(AveFilterFloat, zrcalcCACalcAveFilter_float_scalar, scalar_float) ZRCALC_WIDTHS;
BENCHMARK_CAPTURE(AveFilterFloat, plain_scalar, plain_scalar<float>) ZRCALC_WIDTHS;
