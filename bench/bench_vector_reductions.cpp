// Sums in double and int16/int32 conversions: each operation beside a plain
// scalar loop of the same rule and, where VOLK has a kernel of the same kind, beside
// VOLK. Sizes: 1 Ki (in L1), 64 Ki (in L2) and 16 Mi elements (from memory).
//
// VOLK's kernels are not the same rules: they accumulate in float with as many
// lanes and accumulators as they like, convert through float, scale or saturate.
// The comparison shows what the fixed double order costs, not a race between
// equal computations. VOLK runs through its dispatcher (which may choose AVX-512
// on this machine) and, where it has one, pinned to its AVX2 kernel.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <type_traits>

#include "bench_support.h"
#include "zrcalc.h"

#ifdef ZRCALC_HAVE_VOLK
#include <volk/volk.h>
#endif

namespace {

using zrbench::Buffer;
using zrbench::set_throughput;

// ------------------------------------------------------------------ sums

using DoubleSum = double (*)(const double*, uint32_t);
using FloatSum = double (*)(const float*, const float*, uint32_t);  // single-array sums ignore the second

void SumDouble(benchmark::State& state, DoubleSum sum)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<double> x(n, 1);
    for (auto _ : state) benchmark::DoNotOptimize(sum(x.data(), static_cast<uint32_t>(n)));
    set_throughput(state, n, sizeof(double));
}

void SumFloat(benchmark::State& state, FloatSum sum, int arrays)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<float> a(n, 2), b(n, 3);
    for (auto _ : state) benchmark::DoNotOptimize(sum(a.data(), b.data(), static_cast<uint32_t>(n)));
    set_throughput(state, n, arrays * sizeof(float));
}

// The plain loops: one double accumulator, elements in ascending order.
double scalar_sum_double(const double* x, uint32_t n)
{
    double s = 0.0;
    for (uint32_t i = 0; i < n; ++i) s += x[i];
    return s;
}
double scalar_sum_float(const float* x, const float*, uint32_t n)
{
    double s = 0.0;
    for (uint32_t i = 0; i < n; ++i) s += static_cast<double>(x[i]);
    return s;
}
double scalar_sum_abs(const float* x, const float*, uint32_t n)
{
    double s = 0.0;
    for (uint32_t i = 0; i < n; ++i) s += std::fabs(static_cast<double>(x[i]));
    return s;
}
double scalar_sum_squares(const float* x, const float*, uint32_t n)
{
    double s = 0.0;
    for (uint32_t i = 0; i < n; ++i) s = std::fma(static_cast<double>(x[i]), static_cast<double>(x[i]), s);
    return s;
}
double scalar_dot(const float* a, const float* b, uint32_t n)
{
    double s = 0.0;
    for (uint32_t i = 0; i < n; ++i) s = std::fma(static_cast<double>(a[i]), static_cast<double>(b[i]), s);
    return s;
}

double ours_sum_double(const double* x, uint32_t n) { return zrcalcSumValues_double(x, n); }
double ours_sum_float(const float* x, const float*, uint32_t n) { return zrcalcSumValues_float(x, n); }
double ours_sum_abs(const float* x, const float*, uint32_t n) { return zrcalcSumAbsValues_float(x, n); }
double ours_sum_squares(const float* x, const float*, uint32_t n) { return zrcalcSumSquaredValues_float(x, n); }
double ours_dot(const float* a, const float* b, uint32_t n) { return zrcalcMultiplyVectorsAndCalcSum_float(a, b, n); }

#ifdef ZRCALC_HAVE_VOLK
// VOLK accumulates in float (a float result, fewer bits than ours).
double volk_sum(const float* x, const float*, uint32_t n)
{
    float r;
    volk_32f_accumulator_s32f(&r, x, n);
    return r;
}
double volk_sum_avx(const float* x, const float*, uint32_t n)
{
    float r;
    volk_32f_accumulator_s32f_manual(&r, x, n, "a_avx");
    return r;
}
double volk_squares(const float* x, const float*, uint32_t n)
{
    float r;
    volk_32f_x2_dot_prod_32f(&r, x, x, n);
    return r;
}
double volk_squares_avx2(const float* x, const float*, uint32_t n)
{
    float r;
    volk_32f_x2_dot_prod_32f_manual(&r, x, x, n, "a_avx2_fma");
    return r;
}
double volk_dot(const float* a, const float* b, uint32_t n)
{
    float r;
    volk_32f_x2_dot_prod_32f(&r, a, b, n);
    return r;
}
double volk_dot_avx2(const float* a, const float* b, uint32_t n)
{
    float r;
    volk_32f_x2_dot_prod_32f_manual(&r, a, b, n, "a_avx2_fma");
    return r;
}
#endif

// ------------------------------------------------------------------ conversions

// One conversion benchmark for both directions: the bytes moved are one source
// and one destination element per sample.
template <class From, class To>
void Convert(benchmark::State& state, void (*convert)(const From*, To*, uint32_t))
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<From> source(n, 4);
    Buffer<To> destination(n, 5);
    for (auto _ : state) {
        convert(source.data(), destination.data(), static_cast<uint32_t>(n));
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, sizeof(From) + sizeof(To));
}
constexpr auto ConvertInt16ToInt32 = Convert<int16_t, int32_t>;
constexpr auto ConvertInt32ToInt16 = Convert<int32_t, int16_t>;

void ours_widen(const int16_t* source, int32_t* destination, uint32_t n)
{
    zrcalcConvertInt16ToInt32(source, destination, n);
}
void ours_narrow(const int32_t* source, int16_t* destination, uint32_t n)
{
    zrcalcConvertInt32ToInt16(source, destination, n);
}
void scalar_widen(const int16_t* source, int32_t* destination, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) destination[i] = source[i];
}
void scalar_narrow(const int32_t* source, int16_t* destination, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) destination[i] = static_cast<int16_t>(source[i]);
}

#ifdef ZRCALC_HAVE_VOLK
// VOLK has no int16 <-> int32 kernel. Its nearest neighbours move the same bytes
// per element: int16 -> float (scaled) and float -> int16 (scaled, saturating),
// on a float buffer of its own.
void VolkInt16ToFloat(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<int16_t> source(n, 4);
    Buffer<float> destination(n, 5);
    for (auto _ : state) {
        volk_16i_s32f_convert_32f(destination.data(), source.data(), 1.0f, static_cast<unsigned>(n));
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, sizeof(int16_t) + sizeof(float));
}

void VolkFloatToInt16(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<float> source(n, 6);
    Buffer<int16_t> destination(n, 7);
    for (auto _ : state) {
        volk_32f_s32f_convert_16i(destination.data(), source.data(), 1000.0f, static_cast<unsigned>(n));
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, sizeof(float) + sizeof(int16_t));
}
#endif

}  // namespace

#define ZRCALC_SIZES ->Apply(zrbench::standard_sizes)

BENCHMARK_CAPTURE(SumDouble, zrcalcSumValues_double, ours_sum_double) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumDouble, scalar, scalar_sum_double) ZRCALC_SIZES;

BENCHMARK_CAPTURE(SumFloat, zrcalcSumValues_float, ours_sum_float, 1) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumFloat, scalar_sum, scalar_sum_float, 1) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumFloat, zrcalcSumAbsValues_float, ours_sum_abs, 1) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumFloat, scalar_abs, scalar_sum_abs, 1) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumFloat, zrcalcSumSquaredValues_float, ours_sum_squares, 1) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumFloat, scalar_squares, scalar_sum_squares, 1) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumFloat, zrcalcMultiplyVectorsAndCalcSum_float, ours_dot, 2) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumFloat, scalar_dot, scalar_dot, 2) ZRCALC_SIZES;
#ifdef ZRCALC_HAVE_VOLK
BENCHMARK_CAPTURE(SumFloat, volk_32f_accumulator_s32f, volk_sum, 1) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumFloat, volk_32f_accumulator_s32f_avx, volk_sum_avx, 1) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumFloat, volk_32f_x2_dot_prod_32f_squares, volk_squares, 1) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumFloat, volk_32f_x2_dot_prod_32f_squares_avx2_fma, volk_squares_avx2, 1) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumFloat, volk_32f_x2_dot_prod_32f, volk_dot, 2) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumFloat, volk_32f_x2_dot_prod_32f_avx2_fma, volk_dot_avx2, 2) ZRCALC_SIZES;
#endif

BENCHMARK_CAPTURE(ConvertInt16ToInt32, zrcalcConvertInt16ToInt32, ours_widen) ZRCALC_SIZES;
BENCHMARK_CAPTURE(ConvertInt16ToInt32, scalar, scalar_widen) ZRCALC_SIZES;
BENCHMARK_CAPTURE(ConvertInt32ToInt16, zrcalcConvertInt32ToInt16, ours_narrow) ZRCALC_SIZES;
BENCHMARK_CAPTURE(ConvertInt32ToInt16, scalar, scalar_narrow) ZRCALC_SIZES;
#ifdef ZRCALC_HAVE_VOLK
BENCHMARK(VolkInt16ToFloat) ZRCALC_SIZES;
BENCHMARK(VolkFloatToInt16) ZRCALC_SIZES;
#endif
