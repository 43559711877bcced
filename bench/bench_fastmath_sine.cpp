// The array sine beside a plain scalar loop of the same steps, the C library's
// sinf, VOLK's volk_32f_sin_32f and SLEEF's Sleef_sinf8_u35 (eight lanes, within
// 3.5 ulp), on angles in [-100, 100). Sizes: 1 Ki (in L1), 64 Ki (in L2) and 16 Mi
// elements (from memory).
//
// The others are not the same rule: sinf is within an ulp and reduces any angle,
// VOLK's kernels use their own reduction and polynomial, SLEEF its own. The
// comparison shows what the fixed Cephes steps cost against the field, not a race
// between equal computations.
#include <benchmark/benchmark.h>

#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "bench_support.h"
#include "zrcalc.h"

#ifdef ZRCALC_HAVE_VOLK
#include <volk/volk.h>
#endif
#ifdef ZRCALC_HAVE_SLEEF
#include <sleef.h>
#endif

namespace {

using zrbench::from_bits;

void Sine(benchmark::State& state, zrbench::FloatArrayLoop loop)
{
    zrbench::float_array_loop(state, loop, -100.0, 100.0);
}

// The kernel's steps on one value (no range check: the angles lie far inside).
float kernel_sine(float x)
{
    const float a = std::fabs(x);
    const int32_t j = (static_cast<int32_t>(a * from_bits(0x3FA2F983)) + 1) & ~1;
    const float y = static_cast<float>(j);
    float r = std::fma(y, from_bits(0xBF490000), a);
    r = std::fma(y, from_bits(0xB97DA000), r);
    r = std::fma(y, from_bits(0xB3222169), r);
    const float z = r * r;
    float v;
    if (j & 2) {
        const float t = std::fma(std::fma(from_bits(0x37CCF5CE), z, from_bits(0xBAB6061A)), z, from_bits(0x3D2AAAA5));
        v = std::fma(t * z, z, -(0.5f * z)) + 1.0f;
    } else {
        const float u = std::fma(std::fma(from_bits(0xB94CA1F9), z, from_bits(0x3C08839E)), z, from_bits(0xBE2AAAA3));
        v = std::fma(u * z, r, r);
    }
    return ((j & 4) != 0) != std::signbit(x) ? -v : v;
}

void plain_rule(const float* x, float* y, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) y[i] = kernel_sine(x[i]);
}

void plain_sinf(const float* x, float* y, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) y[i] = std::sin(x[i]);
}

void ours(const float* x, float* y, uint32_t n) { zrcalcSin_float(x, y, n); }

#ifdef ZRCALC_HAVE_VOLK
// Through VOLK's dispatcher (which may choose AVX-512 on this machine), and pinned
// to its AVX2 kernel with FMA.
void volk_sine(const float* x, float* y, uint32_t n) { volk_32f_sin_32f(y, x, n); }
void volk_sine_avx2(const float* x, float* y, uint32_t n) { volk_32f_sin_32f_manual(y, x, n, "a_avx2_fma"); }
#endif

#ifdef ZRCALC_HAVE_SLEEF
void sleef_sine(const float* x, float* y, uint32_t n)
{
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8) _mm256_storeu_ps(y + i, Sleef_sinf8_u35(_mm256_loadu_ps(x + i)));
    for (; i < n; ++i) y[i] = Sleef_sinf_u35(x[i]);
}
#endif

}  // namespace

BENCHMARK_CAPTURE(Sine, zrcalcSin_float, ours)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(Sine, plain_loop, plain_rule)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(Sine, plain_sinf, plain_sinf)->Apply(zrbench::standard_sizes);
#ifdef ZRCALC_HAVE_VOLK
BENCHMARK_CAPTURE(Sine, volk_32f_sin_32f, volk_sine)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(Sine, volk_32f_sin_32f_a_avx2_fma, volk_sine_avx2)->Apply(zrbench::standard_sizes);
#endif
#ifdef ZRCALC_HAVE_SLEEF
BENCHMARK_CAPTURE(Sine, Sleef_sinf8_u35, sleef_sine)->Apply(zrbench::standard_sizes);
#endif
