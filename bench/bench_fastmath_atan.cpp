// The array arctangent beside a plain scalar loop of the same steps, the same
// steps on four lanes written out literally (head, 16-byte blocks and tail
// vector: what the library's eight-lane cover is measured against), the C
// library's atanf, VOLK's volk_32f_atan_32f and SLEEF's Sleef_atanf8_u35 (eight
// lanes, within 3.5 ulp), on values in [-4, 4), which reach all three ranges of
// the kernel. Sizes: 1 Ki (in L1), 64 Ki (in L2) and 16 Mi elements (from memory).
//
// The others are not the same rule: atanf is within an ulp, VOLK's kernel uses
// its own reduction and a short series, SLEEF its own polynomial. The comparison
// shows what the fixed Cephes steps cost against the field, not a race between
// equal computations.
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

void ATan(benchmark::State& state, zrbench::FloatArrayLoop loop)
{
    zrbench::float_array_loop(state, loop, -4.0, 4.0);
}

const uint32_t kPQ[10] = {0xBF6003FD, 0xC18142A3, 0xC2960462, 0xC2F5C5F9, 0xC281B350,
                          0x41C6DE23, 0x432506EA, 0x43D870C7, 0x43F2B1F9, 0x43428CF8};

// The kernel's steps on one value.
float kernel_atan(float x)
{
    const float a = std::fabs(x);
    float t = a, base = 0.0f, correction = 0.0f;
    if (a > from_bits(0x401A827A)) {
        t = (1.0f / a) * -1.0f, base = from_bits(0x3FC90FDB), correction = from_bits(0x332BCC77);
    } else if (a > from_bits(0x3F28F5C3)) {
        t = (a - 1.0f) / (a + 1.0f), base = from_bits(0x3F490FDB), correction = from_bits(0x32ABCC77);
    }
    const float z = t * t;
    float p = from_bits(kPQ[0]), q = z + from_bits(kPQ[5]);
    for (int i = 1; i < 5; ++i) p = std::fma(p, z, from_bits(kPQ[i])), q = std::fma(q, z, from_bits(kPQ[5 + i]));
    const float u = std::fma(t, (p * z) / q, t) - correction;
    return std::copysign(u + base, x);
}

void plain_rule(const float* x, float* y, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) y[i] = kernel_atan(x[i]);
}

__m128 splat(uint32_t bits) { return _mm_castsi128_ps(_mm_set1_epi32(int(bits))); }

// The steps on four lanes as written: masks and blends, both divisions.
__m128 stated_kernel(__m128 x)
{
    const __m128 sign = _mm_and_ps(x, splat(0x80000000)), a = _mm_andnot_ps(splat(0x80000000), x);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 m2 = _mm_cmpgt_ps(a, splat(0x401A827A)), m1 = _mm_andnot_ps(m2, _mm_cmpgt_ps(a, splat(0x3F28F5C3)));
    const __m128 reciprocal = _mm_mul_ps(_mm_div_ps(one, a), _mm_set1_ps(-1.0f));
    const __m128 shifted = _mm_div_ps(_mm_sub_ps(a, one), _mm_add_ps(a, one));
    const __m128 t = _mm_blendv_ps(_mm_blendv_ps(a, shifted, m1), reciprocal, m2);
    const __m128 base = _mm_or_ps(_mm_and_ps(m1, splat(0x3F490FDB)), _mm_and_ps(m2, splat(0x3FC90FDB)));
    const __m128 z = _mm_mul_ps(t, t);
    __m128 p = splat(kPQ[0]), q = _mm_add_ps(z, splat(kPQ[5]));
    for (int i = 1; i < 5; ++i) p = _mm_fmadd_ps(p, z, splat(kPQ[i])), q = _mm_fmadd_ps(q, z, splat(kPQ[5 + i]));
    __m128 u = _mm_fmadd_ps(t, _mm_div_ps(_mm_mul_ps(p, z), q), t);
    u = _mm_sub_ps(u, _mm_and_ps(m2, splat(0x332BCC77)));
    u = _mm_sub_ps(u, _mm_and_ps(m1, splat(0x32ABCC77)));
    return _mm_or_ps(_mm_add_ps(u, base), sign);
}

void stated_four_lanes(const float* x, float* y, uint32_t n)
{
    _mm_storeu_ps(y, stated_kernel(_mm_loadu_ps(x)));
    uint32_t i = static_cast<uint32_t>(((16 - (reinterpret_cast<uintptr_t>(x) & 15)) & 15) / 4);
    for (; n - i >= 4; i += 4) _mm_storeu_ps(y + i, stated_kernel(_mm_load_ps(x + i)));
    const uint32_t r = n - i;
    const __m128 tail = stated_kernel(_mm_loadu_ps(x + n - 4));
    float last[4];
    _mm_storeu_ps(last, tail);
    for (uint32_t k = 0; k < r; ++k) y[n - r + k] = last[4 - r + k];
}

void plain_atanf(const float* x, float* y, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) y[i] = std::atan(x[i]);
}

void ours(const float* x, float* y, uint32_t n) { zrcalcATan_float(x, y, n); }

#ifdef ZRCALC_HAVE_VOLK
// Through VOLK's dispatcher (which may choose AVX-512 on this machine), and pinned
// to its AVX2 kernel with FMA.
void volk_atan(const float* x, float* y, uint32_t n) { volk_32f_atan_32f(y, x, n); }
void volk_atan_avx2(const float* x, float* y, uint32_t n) { volk_32f_atan_32f_manual(y, x, n, "a_avx2_fma"); }
#endif

#ifdef ZRCALC_HAVE_SLEEF
void sleef_atan(const float* x, float* y, uint32_t n)
{
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8) _mm256_storeu_ps(y + i, Sleef_atanf8_u35(_mm256_loadu_ps(x + i)));
    for (; i < n; ++i) y[i] = Sleef_atanf_u35(x[i]);
}
#endif

}  // namespace

BENCHMARK_CAPTURE(ATan, zrcalcATan_float, ours)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(ATan, plain_loop, plain_rule)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(ATan, stated_four_lanes, stated_four_lanes)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(ATan, plain_atanf, plain_atanf)->Apply(zrbench::standard_sizes);
#ifdef ZRCALC_HAVE_VOLK
BENCHMARK_CAPTURE(ATan, volk_32f_atan_32f, volk_atan)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(ATan, volk_32f_atan_32f_a_avx2_fma, volk_atan_avx2)->Apply(zrbench::standard_sizes);
#endif
#ifdef ZRCALC_HAVE_SLEEF
BENCHMARK_CAPTURE(ATan, Sleef_atanf8_u35, sleef_atan)->Apply(zrbench::standard_sizes);
#endif
