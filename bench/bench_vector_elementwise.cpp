// Element-wise arithmetic: each operation beside a plain scalar loop of the same
// rule and, where VOLK has a kernel of the same kind, beside VOLK. Sizes: 1 Ki
// elements (in L1), 64 Ki (in L2) and 16 Mi (from memory).
//
// The VOLK kernels compute the same thing where the names say so (products, sums,
// square roots, squared magnitudes); its magnitude is sqrt(re*re + im*im) with the
// sum not fused, and its maximum is the plain maximum instruction, without fmax's
// NaN rule. Add-and-scale and subtract-and-scale have no VOLK kernel; the nearest
// one with the same memory traffic (two arrays in, one out) stands beside them.
// VOLK runs through its dispatcher (which may choose AVX-512 or ORC on this
// machine) and pinned to its AVX kernel for aligned buffers ("a_avx"), which is the
// same instruction set as ours.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "bench_support.h"
#include "zrcalc.h"

#ifdef ZRCALC_HAVE_VOLK
#include <volk/volk.h>
#endif

namespace {

using zrbench::Buffer;

// Every case has this shape: destination, input a (count values, or count pairs),
// input b (count values), count. In-place cases work on the destination and ignore
// both inputs; one-input cases ignore b.
template <class T>
using Kernel = void (*)(T* destination, const T* a, const T* b, uint32_t count);

enum class Shape { InPlace, OneInput, TwoInputs, Pairs };

template <class T>
void Run(benchmark::State& state, Kernel<T> kernel, Shape shape)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    // Samples in [0.5, 2): normal and positive, so that square roots take no NaN path.
    Buffer<T> destination(n, 1, 0.5, 2.0), a(shape == Shape::Pairs ? 2 * n : n, 2, 0.5, 2.0), b(n, 3, 0.5, 2.0);
    for (auto _ : state) {
        kernel(destination.data(), a.data(), b.data(), static_cast<uint32_t>(n));
        benchmark::ClobberMemory();
    }
    // Values read and written per element.
    const std::size_t values = shape == Shape::TwoInputs || shape == Shape::Pairs ? 3 : 2;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n * values * sizeof(T)));
}

// The in-place scaling multiplies by -1, which keeps the data bounded over any
// number of iterations; the arithmetic costs the same for every normal value.
constexpr float kScalarF = 0.25f;
constexpr double kScalarD = 0.25;

// ------------------------------------------------------------------ the library

template <class T>
void ours_add_scalar(T* d, const T* a, const T*, uint32_t n)
{
    if constexpr (sizeof(T) == 8)
        zrcalcAddScalarToVector_double_cdecl(d, a, kScalarD, n);
    else
        zrcalcAddScalarToVector_float_cdecl(d, a, kScalarF, n);
}
void ours_add_and_scale(float* d, const float* a, const float* b, uint32_t n)
{
    zrcalcAddVectorsAndMultiplyByScalar_float(d, a, b, n, 0.75f, kScalarF);
}
void ours_subtract_and_scale(float* d, const float* a, const float* b, uint32_t n)
{
    zrcalcSubtractVectorsAndMultiplyByScalar_float(d, a, b, n, kScalarF);
}
void ours_scale_double(double* d, const double*, const double*, uint32_t n)
{
    zrcalcMultiplyVectorByScalar_double(d, n, -1.0);
}
void ours_scale_float(float* d, const float*, const float*, uint32_t n)
{
    zrcalcMultiplyVectorByScalar_float(d, n, -1.0f);
}
void ours_multiply_double(double* d, const double* a, const double* b, uint32_t n)
{
    zrcalcMultiplyVectors_double_cdecl(d, a, b, n);
}
void ours_multiply_float(float* d, const float* a, const float* b, uint32_t n)
{
    zrcalcMultiplyVectors_float_cdecl(d, a, b, n);
}
void ours_sqrt_double(double* d, const double* a, const double*, uint32_t n) { zrcalcSqrtVector_double_cdecl(d, a, n); }
void ours_sqrt_float(float* d, const float* a, const float*, uint32_t n) { zrcalcSqrtVector_float_cdecl(d, a, n); }
template <bool kSquared>
void ours_magnitude_double(double* d, const double* a, const double*, uint32_t n)
{
    zrcalcComplexVectorAbs_double_cdecl(d, a, kSquared, n);
}
template <bool kSquared>
void ours_magnitude_float(float* d, const float* a, const float*, uint32_t n)
{
    zrcalcComplexVectorAbs_float_cdecl(d, a, kSquared, n);
}
void ours_max_double(double* d, const double* a, const double* b, uint32_t n)
{
    zrcalcVectorsMax_double_cdecl(d, a, b, n);
}
void ours_max_float(float* d, const float* a, const float* b, uint32_t n) { zrcalcVectorsMax_float_cdecl(d, a, b, n); }

// ------------------------------------------------------------------ plain loops

template <class T>
void scalar_add_scalar(T* d, const T* a, const T*, uint32_t n)
{
    const T s = sizeof(T) == 8 ? T(kScalarD) : T(kScalarF);
    for (uint32_t i = 0; i < n; ++i) d[i] = s + a[i];
}
void scalar_add_and_scale(float* d, const float* a, const float* b, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) d[i] = std::fma(b[i], 0.75f, a[i]) * kScalarF;
}
void scalar_subtract_and_scale(float* d, const float* a, const float* b, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) d[i] = (a[i] - b[i]) * kScalarF;
}
template <class T>
void scalar_scale(T* d, const T*, const T*, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) d[i] = T(-1) * d[i];
}
template <class T>
void scalar_multiply(T* d, const T* a, const T* b, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) d[i] = a[i] * b[i];
}
template <class T>
void scalar_sqrt(T* d, const T* a, const T*, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) d[i] = std::sqrt(a[i]);
}
template <class T, bool kSquared>
void scalar_magnitude(T* d, const T* a, const T*, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) {
        const T p = std::fma(a[2 * i + 1], a[2 * i + 1], a[2 * i] * a[2 * i]);
        d[i] = kSquared ? p : std::sqrt(p);
    }
}
template <class T>
void scalar_max(T* d, const T* a, const T* b, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) d[i] = std::fmax(a[i], b[i]);
}

// ------------------------------------------------------------------ VOLK

#ifdef ZRCALC_HAVE_VOLK
void volk_add_scalar(float* d, const float* a, const float*, uint32_t n) { volk_32f_s32f_add_32f(d, a, kScalarF, n); }
void volk_add_scalar_avx(float* d, const float* a, const float*, uint32_t n)
{
    volk_32f_s32f_add_32f_manual(d, a, kScalarF, n, "a_avx");
}
void volk_add(float* d, const float* a, const float* b, uint32_t n) { volk_32f_x2_add_32f(d, a, b, n); }
void volk_add_avx(float* d, const float* a, const float* b, uint32_t n)
{
    volk_32f_x2_add_32f_manual(d, a, b, n, "a_avx");
}
void volk_subtract(float* d, const float* a, const float* b, uint32_t n) { volk_32f_x2_subtract_32f(d, a, b, n); }
void volk_subtract_avx(float* d, const float* a, const float* b, uint32_t n)
{
    volk_32f_x2_subtract_32f_manual(d, a, b, n, "a_avx");
}
void volk_scale(float* d, const float*, const float*, uint32_t n) { volk_32f_s32f_multiply_32f(d, d, -1.0f, n); }
void volk_scale_avx(float* d, const float*, const float*, uint32_t n)
{
    volk_32f_s32f_multiply_32f_manual(d, d, -1.0f, n, "a_avx");
}
void volk_multiply_double(double* d, const double* a, const double* b, uint32_t n)
{
    volk_64f_x2_multiply_64f(d, a, b, n);
}
void volk_multiply_double_avx(double* d, const double* a, const double* b, uint32_t n)
{
    volk_64f_x2_multiply_64f_manual(d, a, b, n, "a_avx");
}
void volk_multiply_float(float* d, const float* a, const float* b, uint32_t n) { volk_32f_x2_multiply_32f(d, a, b, n); }
void volk_multiply_float_avx(float* d, const float* a, const float* b, uint32_t n)
{
    volk_32f_x2_multiply_32f_manual(d, a, b, n, "a_avx");
}
void volk_sqrt(float* d, const float* a, const float*, uint32_t n) { volk_32f_sqrt_32f(d, a, n); }
void volk_sqrt_avx(float* d, const float* a, const float*, uint32_t n) { volk_32f_sqrt_32f_manual(d, a, n, "a_avx"); }
void volk_magnitude(float* d, const float* a, const float*, uint32_t n)
{
    volk_32fc_magnitude_32f(d, reinterpret_cast<const lv_32fc_t*>(a), n);
}
void volk_magnitude_avx(float* d, const float* a, const float*, uint32_t n)
{
    volk_32fc_magnitude_32f_manual(d, reinterpret_cast<const lv_32fc_t*>(a), n, "a_avx");
}
void volk_magnitude_squared(float* d, const float* a, const float*, uint32_t n)
{
    volk_32fc_magnitude_squared_32f(d, reinterpret_cast<const lv_32fc_t*>(a), n);
}
void volk_magnitude_squared_avx(float* d, const float* a, const float*, uint32_t n)
{
    volk_32fc_magnitude_squared_32f_manual(d, reinterpret_cast<const lv_32fc_t*>(a), n, "a_avx");
}
void volk_max_double(double* d, const double* a, const double* b, uint32_t n) { volk_64f_x2_max_64f(d, a, b, n); }
void volk_max_double_avx(double* d, const double* a, const double* b, uint32_t n)
{
    volk_64f_x2_max_64f_manual(d, a, b, n, "a_avx");
}
void volk_max_float(float* d, const float* a, const float* b, uint32_t n) { volk_32f_x2_max_32f(d, a, b, n); }
void volk_max_float_avx(float* d, const float* a, const float* b, uint32_t n)
{
    volk_32f_x2_max_32f_manual(d, a, b, n, "a_avx");
}
#endif


// Registers "operation/label/size" for each size.
template <class T>
int add_case(const char* name, Kernel<T> kernel, Shape shape)
{
    benchmark::RegisterBenchmark(name, [=](benchmark::State& state) { Run(state, kernel, shape); })->Apply(zrbench::standard_sizes);
    return 0;
}
#define ZRCALC_CASE(operation, label, T, fn, shape) \
    const int operation##_##label = add_case<T>(#operation "/" #label, fn, Shape::shape)

ZRCALC_CASE(AddScalarToVector_double, ours, double, ours_add_scalar<double>, OneInput);
ZRCALC_CASE(AddScalarToVector_double, scalar, double, scalar_add_scalar<double>, OneInput);
ZRCALC_CASE(AddScalarToVector_float, ours, float, ours_add_scalar<float>, OneInput);
ZRCALC_CASE(AddScalarToVector_float, scalar, float, scalar_add_scalar<float>, OneInput);
ZRCALC_CASE(AddVectorsAndMultiplyByScalar_float, ours, float, ours_add_and_scale, TwoInputs);
ZRCALC_CASE(AddVectorsAndMultiplyByScalar_float, scalar, float, scalar_add_and_scale, TwoInputs);
ZRCALC_CASE(SubtractVectorsAndMultiplyByScalar_float, ours, float, ours_subtract_and_scale, TwoInputs);
ZRCALC_CASE(SubtractVectorsAndMultiplyByScalar_float, scalar, float, scalar_subtract_and_scale, TwoInputs);
ZRCALC_CASE(MultiplyVectorByScalar_double, ours, double, ours_scale_double, InPlace);
ZRCALC_CASE(MultiplyVectorByScalar_double, scalar, double, scalar_scale<double>, InPlace);
ZRCALC_CASE(MultiplyVectorByScalar_float, ours, float, ours_scale_float, InPlace);
ZRCALC_CASE(MultiplyVectorByScalar_float, scalar, float, scalar_scale<float>, InPlace);
ZRCALC_CASE(MultiplyVectors_double, ours, double, ours_multiply_double, TwoInputs);
ZRCALC_CASE(MultiplyVectors_double, scalar, double, scalar_multiply<double>, TwoInputs);
ZRCALC_CASE(MultiplyVectors_float, ours, float, ours_multiply_float, TwoInputs);
ZRCALC_CASE(MultiplyVectors_float, scalar, float, scalar_multiply<float>, TwoInputs);
ZRCALC_CASE(SqrtVector_double, ours, double, ours_sqrt_double, OneInput);
ZRCALC_CASE(SqrtVector_double, scalar, double, scalar_sqrt<double>, OneInput);
ZRCALC_CASE(SqrtVector_float, ours, float, ours_sqrt_float, OneInput);
ZRCALC_CASE(SqrtVector_float, scalar, float, scalar_sqrt<float>, OneInput);
ZRCALC_CASE(ComplexVectorAbs_double, ours, double, ours_magnitude_double<false>, Pairs);
ZRCALC_CASE(ComplexVectorAbs_double, scalar, double, (scalar_magnitude<double, false>), Pairs);
ZRCALC_CASE(ComplexVectorAbsSquared_double, ours, double, ours_magnitude_double<true>, Pairs);
ZRCALC_CASE(ComplexVectorAbsSquared_double, scalar, double, (scalar_magnitude<double, true>), Pairs);
ZRCALC_CASE(ComplexVectorAbs_float, ours, float, ours_magnitude_float<false>, Pairs);
ZRCALC_CASE(ComplexVectorAbs_float, scalar, float, (scalar_magnitude<float, false>), Pairs);
ZRCALC_CASE(ComplexVectorAbsSquared_float, ours, float, ours_magnitude_float<true>, Pairs);
ZRCALC_CASE(ComplexVectorAbsSquared_float, scalar, float, (scalar_magnitude<float, true>), Pairs);
ZRCALC_CASE(VectorsMax_double, ours, double, ours_max_double, TwoInputs);
ZRCALC_CASE(VectorsMax_double, scalar, double, scalar_max<double>, TwoInputs);
ZRCALC_CASE(VectorsMax_float, ours, float, ours_max_float, TwoInputs);
ZRCALC_CASE(VectorsMax_float, scalar, float, scalar_max<float>, TwoInputs);

#ifdef ZRCALC_HAVE_VOLK
ZRCALC_CASE(AddScalarToVector_float, volk, float, volk_add_scalar, OneInput);
ZRCALC_CASE(AddScalarToVector_float, volk_avx, float, volk_add_scalar_avx, OneInput);
ZRCALC_CASE(AddVectorsAndMultiplyByScalar_float, volk_add_nearest, float, volk_add, TwoInputs);
ZRCALC_CASE(AddVectorsAndMultiplyByScalar_float, volk_add_nearest_avx, float, volk_add_avx, TwoInputs);
ZRCALC_CASE(SubtractVectorsAndMultiplyByScalar_float, volk_subtract_nearest, float, volk_subtract, TwoInputs);
ZRCALC_CASE(SubtractVectorsAndMultiplyByScalar_float, volk_subtract_nearest_avx, float, volk_subtract_avx, TwoInputs);
ZRCALC_CASE(MultiplyVectorByScalar_float, volk, float, volk_scale, InPlace);
ZRCALC_CASE(MultiplyVectorByScalar_float, volk_avx, float, volk_scale_avx, InPlace);
ZRCALC_CASE(MultiplyVectors_double, volk, double, volk_multiply_double, TwoInputs);
ZRCALC_CASE(MultiplyVectors_double, volk_avx, double, volk_multiply_double_avx, TwoInputs);
ZRCALC_CASE(MultiplyVectors_float, volk, float, volk_multiply_float, TwoInputs);
ZRCALC_CASE(MultiplyVectors_float, volk_avx, float, volk_multiply_float_avx, TwoInputs);
ZRCALC_CASE(SqrtVector_float, volk, float, volk_sqrt, OneInput);
ZRCALC_CASE(SqrtVector_float, volk_avx, float, volk_sqrt_avx, OneInput);
ZRCALC_CASE(ComplexVectorAbs_float, volk, float, volk_magnitude, Pairs);
ZRCALC_CASE(ComplexVectorAbs_float, volk_avx, float, volk_magnitude_avx, Pairs);
ZRCALC_CASE(ComplexVectorAbsSquared_float, volk, float, volk_magnitude_squared, Pairs);
ZRCALC_CASE(ComplexVectorAbsSquared_float, volk_avx, float, volk_magnitude_squared_avx, Pairs);
ZRCALC_CASE(VectorsMax_double, volk, double, volk_max_double, TwoInputs);
ZRCALC_CASE(VectorsMax_double, volk_avx, double, volk_max_double_avx, TwoInputs);
ZRCALC_CASE(VectorsMax_float, volk, float, volk_max_float, TwoInputs);
ZRCALC_CASE(VectorsMax_float, volk_avx, float, volk_max_float_avx, TwoInputs);
#endif

}  // namespace
