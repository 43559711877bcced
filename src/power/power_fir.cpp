// One output of a 16-tap FIR filter over the newest samples of a ring buffer
// (contract, with the order of operations that fixes every bit, in zrcalc.h).
//
// Two forms, chosen by where the window lies in the ring:
//  - contiguous (the 16 samples end at or before the ring's end): the window and
//    the coefficients as two 8-float vectors, the older eight multiplied, the
//    newer eight fused onto them, the lanes summed as
//    ((l4 + l5) + (l6 + l7)) + ((l0 + l1) + (l2 + l3));
//  - wrapping: one fused chain over the taps from 0, oldest first, the sample
//    pointer going back to the ring's start whenever it reaches its end.
// The forms group the products differently, so the same samples can give other
// last bits in the other form: which form runs is part of the result.
//
// A position past the ring's end or a ring shorter than the window is outside
// the contract; the start is then taken modulo the ring length, so every read
// stays in the ring (the mend the header states).
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

constexpr uint32_t kTaps = 16;

float contiguous_window(const float* x, const float* c)
{
    const __m256 older = _mm256_mul_ps(_mm256_loadu_ps(x), _mm256_loadu_ps(c));
    const __m256 l = _mm256_fmadd_ps(_mm256_loadu_ps(x + 8), _mm256_loadu_ps(c + 8), older);
    const __m128 low = _mm256_castps256_ps128(l);     // l0 .. l3
    const __m128 high = _mm256_extractf128_ps(l, 1);  // l4 .. l7
    // l4 + l5, l6 + l7, l0 + l1, l2 + l3: the lower lane of each pair on the left,
    // as everywhere below, so that even a NaN's payload follows the stated order.
    const __m128 pairs = _mm_add_ps(_mm_shuffle_ps(high, low, _MM_SHUFFLE(2, 0, 2, 0)),
                                    _mm_shuffle_ps(high, low, _MM_SHUFFLE(3, 1, 3, 1)));
    const __m128 halves = _mm_add_ps(pairs, _mm_movehdup_ps(pairs));  // lanes 0 and 2
    return _mm_cvtss_f32(_mm_add_ss(halves, _mm_movehl_ps(halves, halves)));
}

float wrapping_window(const float* ring, uint32_t ringLength, uint32_t start, const float* c)
{
    const float* x = ring + start;
    const float* const end = ring + ringLength;
    float y = 0.0f;
    for (uint32_t t = 0; t < kTaps; ++t) {
        if (x == end) x = ring;
        y = zrcalc::fused_multiply_add(c[t], *x++, y);
    }
    return y;
}

}  // namespace

float ZRCALC_STDCALL zrcalcPowerCalcFIR_float(const PowerFirParams* params)
{
    const PowerFirParams p = *params;
    const float* c = p.coefficientSets + std::size_t(p.coefficientSet) * kTaps;
    const uint32_t length = p.ringLength;
    uint32_t start;
    if (length >= kTaps && p.position <= length)
        start = p.position >= kTaps ? p.position - kTaps : p.position - kTaps + length;
    else if (length == 0)
        return 0.0f;  // nothing to read
    else  // (position - 16) mod length, computed without going below 0
        start = uint32_t((uint64_t(p.position % length) + uint64_t(length) * kTaps - kTaps) % length);
    if (length - start >= kTaps) return contiguous_window(p.ring + start, c);
    return wrapping_window(p.ring, length, start, c);
}
