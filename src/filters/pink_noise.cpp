// Pink noise from white noise, one sample per call (contract in zrcalc.h): six
// first-order low-pass terms with staggered poles and two terms proportional to
// the input, held in the caller's eight state values.
//
// The eight terms are two 4-lane double vectors: s = fma(s, K, w * C), the
// product w * C rounded first. Every term is updated before any is summed, and
// the sum tree is fixed: ((s0 + s4) + (s2 + s6)) + ((s1 + s5) + (s3 + s7)), which
// is the lanes of (s0..s3 + s4..s7) joined as (p0 + p2) + (p1 + p3).
#include <immintrin.h>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

// Paul Kellet's refined filter: feedback K_i and input weight C_i of term i.
alignas(32) constexpr double kFeedback[8] = {0.99886, 0.99332, 0.96900, 0.86650, 0.55000, -0.7616, 0.0, 0.0};
alignas(32) constexpr double kWeight[8] = {0.0555179, 0.0750759, 0.1538520, 0.3104856,
                                           0.5329522, -0.0168980, 0.115926,  0.5362};
constexpr double kInputGain = 0.2;

}  // namespace

double ZRCALC_STDCALL zrcalcPinkFilter_double(double* pinkState, double input)
{
    const __m256d w = _mm256_set1_pd(input * kInputGain);
    const __m256d low = _mm256_fmadd_pd(_mm256_loadu_pd(pinkState), _mm256_load_pd(kFeedback),
                                        _mm256_mul_pd(w, _mm256_load_pd(kWeight)));
    const __m256d high = _mm256_fmadd_pd(_mm256_loadu_pd(pinkState + 4), _mm256_load_pd(kFeedback + 4),
                                         _mm256_mul_pd(w, _mm256_load_pd(kWeight + 4)));
    _mm256_storeu_pd(pinkState, low);
    _mm256_storeu_pd(pinkState + 4, high);
    return zrcalc::sum_lanes_02_13(_mm256_add_pd(low, high));
}
