// Arctangent of a float array (contract in zrcalc.h): below four elements the C
// runtime's arctangent in double, rounded to float; from four on the fast kernel
// below on every element.
//
// The kernel (Cephes' single-precision arctangent with its coefficients in float),
// each lane on its own: a = |x|; three ranges split by T1 and T2, each with its
// reduced argument t and its base; z = t t; P(z) and Q(z) by fused steps (z + Q0
// a plain add); u = fma(t, (P z) / Q, t); u minus the range's correction; the
// result u + base with the sign bit of x OR-ed in. Every step rounds by itself and
// every fused step once; another grouping changes the last bit.
//
// The reduced argument is computed as stated, both divisions in every lane and
// the ranges' values blended by the comparison masks. Dividing blended numerators
// by blended denominators (a / 1, (a - 1) / (a + 1), 1 / a, then the sign bit of
// the last flipped) gives the same bits with one division fewer, but measured
// about 8 % slower on the benchmark machine, whose divider is not the limit: the
// blends cost more than the division saves.
//
// The array driver is fastmath/float_array_map.h: every element through the
// kernel from four elements on, each read before it is written, so input may be
// output. (Run as head, 16-byte blocks and tail vector one after another, in
// place, the blocks and the tail vector would reread elements that the head and
// the blocks have already replaced by their arctangents.)
#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fastmath/float_array_map.h"
#include "zrcalc.h"

namespace {

// The constants by their exact bits.
constexpr std::uint32_t kSignBit = 0x80000000;
constexpr std::uint32_t kT1 = 0x3F28F5C3;  // 0.66 rounded to float, 0.660000026
constexpr std::uint32_t kT2 = 0x401A827A;  // tan(3 pi/8) rounded to float, 2.41421366
// The bases are doubles rounded to float once; the corrections take back part of
// what that rounding added (pi/2 and pi/4 round up by 4.37e-8 and 2.19e-8).
constexpr float kPiOver2 = static_cast<float>(1.5707963267948966);  // 0x3FC90FDB
constexpr float kPiOver4 = static_cast<float>(0.7853981633974483);  // 0x3F490FDB
constexpr std::uint32_t kCorrectionPiOver2 = 0x332BCC77;  // 4e-8 rounded to float
constexpr std::uint32_t kCorrectionPiOver4 = 0x32ABCC77;  // 2e-8 rounded to float
// P0..P4, then Q0..Q4 (Q's leading coefficient is 1).
constexpr std::uint32_t kP[5] = {0xBF6003FD, 0xC18142A3, 0xC2960462, 0xC2F5C5F9, 0xC281B350};
constexpr std::uint32_t kQ[5] = {0x41C6DE23, 0x432506EA, 0x43D870C7, 0x43F2B1F9, 0x43428CF8};

inline __m256 constant(std::uint32_t bits) { return _mm256_castsi256_ps(_mm256_set1_epi32(int(bits))); }

// The arctangent of eight lanes. Inlined into every caller: as a called function
// it reloads its constants on every vector and the array runs about 15 % slower.
[[gnu::always_inline]] inline __m256 atan_lanes(__m256 x)
{
    const __m256 sign = _mm256_and_ps(x, constant(kSignBit));
    const __m256 a = _mm256_andnot_ps(constant(kSignBit), x);
    const __m256 one = _mm256_set1_ps(1.0f);

    // Ordered comparisons: a NaN stays in the first range and comes back as itself.
    const __m256 beyondT2 = _mm256_cmp_ps(a, constant(kT2), _CMP_GT_OQ);
    const __m256 beyondT1 = _mm256_cmp_ps(a, constant(kT1), _CMP_GT_OQ);
    const __m256 reciprocal = _mm256_mul_ps(_mm256_div_ps(one, a), _mm256_set1_ps(-1.0f));
    const __m256 shifted = _mm256_div_ps(_mm256_sub_ps(a, one), _mm256_add_ps(a, one));
    const __m256 t = _mm256_blendv_ps(_mm256_blendv_ps(a, shifted, beyondT1), reciprocal, beyondT2);
    const __m256 base = _mm256_blendv_ps(_mm256_and_ps(beyondT1, _mm256_set1_ps(kPiOver4)),
                                         _mm256_set1_ps(kPiOver2), beyondT2);
    const __m256 correction = _mm256_blendv_ps(_mm256_and_ps(beyondT1, constant(kCorrectionPiOver4)),
                                               constant(kCorrectionPiOver2), beyondT2);

    const __m256 z = _mm256_mul_ps(t, t);
    __m256 p = constant(kP[0]);
    for (int i = 1; i < 5; ++i) p = _mm256_fmadd_ps(p, z, constant(kP[i]));
    __m256 q = _mm256_add_ps(z, constant(kQ[0]));
    for (int i = 1; i < 5; ++i) q = _mm256_fmadd_ps(q, z, constant(kQ[i]));
    // In the first range the correction is +0: u - 0 is u for every u, -0 and NaN included.
    const __m256 u = _mm256_sub_ps(_mm256_fmadd_ps(t, _mm256_div_ps(_mm256_mul_ps(p, z), q), t), correction);
    return _mm256_or_ps(_mm256_add_ps(u, base), sign);
}

}  // namespace

void ZRCALC_STDCALL zrcalcATan_float(const float* input, float* output, uint32_t count)
{
    zrcalc::map_float_array(
        input, output, count, [](__m256 x) { return atan_lanes(x); }, [](double x) { return std::atan(x); });
}
