// One output of a FIR filter at a position, for float, int32 and int16 samples
// (contract, with the order of operations that fixes every bit, in zrcalc.h).
//
// Short path (fewer samples than one block, W = 4 or 8): one fused chain from 0,
// newest sample first.
//
// Block path: four float lanes P0..P3, the window read oldest first.
//  - Head: the W samples from the oldest one, unaligned. Only the samples up to
//    the first 16-byte boundary count (all W when the oldest sample lies on one);
//    the others are switched off by multiplying with a lane mask of 1.0 and 0.0,
//    and the first four products start the lanes unfused.
//  - Body: whole blocks of W from that boundary on, so every body load is aligned
//    (for samples at their natural alignment; the loads accept any address) and
//    ends inside the window; each four samples are fused onto the lanes.
//  - Tail: the last W samples again, all but the r not yet taken switched off by
//    the mask. A masked lane multiplies its sample by 0.0, so an infinite or NaN
//    sample there still makes the result NaN.
//  - y = (P0 + P2) + (P1 + P3).
// Which products share a lane follows the address of the oldest sample, so the
// same data elsewhere in memory may round differently; callers comparing bits
// rely on that rule, not on a fixed grouping.
//
// Coefficients lie `stride` apart and are read one by one into the lanes (a gather
// instruction would take 32-bit offsets, which a large stride overflows on x86-64).
// At stride 1 they are contiguous, newest first, so one load reversed gives the
// same four values.
//
// Speed: each lane is one chain of dependent fused steps, so a block of four
// samples costs one fma latency; more accumulators would regroup the products and
// change the result.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

using zrcalc::fused_multiply_add;

// --- Samples: W per block, converted to float four lanes at a time.

struct FloatSamples {
    using T = float;
    static constexpr std::uint32_t kWidth = 4;
    static float one(T x) { return x; }
    static void load(const T* p, __m128 x[1]) { x[0] = _mm_loadu_ps(p); }
};

// Rounded to nearest above 2^24 (the conversion's default rounding).
struct Int32Samples {
    using T = std::int32_t;
    static constexpr std::uint32_t kWidth = 4;
    static float one(T x) { return static_cast<float>(x); }
    static void load(const T* p, __m128 x[1])
    {
        x[0] = _mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
};

// Eight samples per block, sign-extended and converted (exactly) in one step, then
// used as the lower and the upper four.
struct Int16Samples {
    using T = std::int16_t;
    static constexpr std::uint32_t kWidth = 8;
    static float one(T x) { return static_cast<float>(x); }
    static void load(const T* p, __m128 x[2])
    {
        const __m128i narrow = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m256 v = _mm256_cvtepi32_ps(zrcalc::int16x8_to_int32(narrow));
        x[0] = _mm256_castps256_ps128(v);
        x[1] = _mm256_extractf128_ps(v, 1);
    }
};

// --- Coefficients: d points at the weight of a sample; quad(d) holds the weights of
// --- that sample and the three after it, which lie stride, 2 stride and 3 stride
// --- elements lower.

struct AnyStride {
    std::size_t stride;
    const float* back(const float* d, std::size_t samples) const { return d - samples * stride; }
    __m128 quad(const float* d) const { return _mm_setr_ps(d[0], *back(d, 1), *back(d, 2), *back(d, 3)); }
};

struct UnitStride {
    static const float* back(const float* d, std::size_t samples) { return d - samples; }
    static __m128 quad(const float* d)
    {
        const __m128 v = _mm_loadu_ps(d - 3);
        return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
    }
};

// Lane masks: from kMaskLanes + 8 - H, the first H lanes are 1.0; from
// kMaskLanes + 16 - W + r, the last r of W lanes are.
alignas(32) constexpr float kMaskLanes[24] = {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1};

// The W samples x times their lane mask (1.0 or 0.0 per lane, from mask on).
template <class Samples>
void mask_lanes(__m128* x, const float* mask)
{
    for (std::uint32_t q = 0; q < Samples::kWidth / 4; ++q) x[q] = _mm_mul_ps(x[q], _mm_loadu_ps(mask + 4 * q));
}

// Fuses the W samples x, whose first coefficient d points at, onto the lanes:
// the lower four first.
template <class Samples, class Coefficients>
__m128 add_block(__m128 p, const __m128* x, const float* d, Coefficients c)
{
    for (std::uint32_t q = 0; q < Samples::kWidth / 4; ++q) p = _mm_fmadd_ps(c.quad(c.back(d, 4 * q)), x[q], p);
    return p;
}

// d0 points at the coefficient of the oldest sample; d0 - i * stride at that of
// sample i.
template <class Samples, class Coefficients>
float block_path(const typename Samples::T* oldest, std::uint32_t count, const float* d0, Coefficients c)
{
    constexpr std::uint32_t W = Samples::kWidth;
    const std::uint32_t h = zrcalc::elements_before_boundary(oldest, 16, sizeof(typename Samples::T));
    const std::uint32_t head = h != 0 ? h : W;
    __m128 x[W / 4];

    // Head: the lower four as plain products, the upper four (int16) fused onto them.
    Samples::load(oldest, x);
    mask_lanes<Samples>(x, kMaskLanes + 8 - head);
    __m128 p = _mm_mul_ps(c.quad(d0), x[0]);
    if constexpr (W == 8) p = _mm_fmadd_ps(c.quad(c.back(d0, 4)), x[1], p);

    // Body: aligned blocks, none of which reaches past the newest sample.
    std::uint32_t i = head;
    for (; count - i >= W; i += W) {
        Samples::load(oldest + i, x);
        p = add_block<Samples>(p, x, c.back(d0, i), c);
    }

    // Tail: the last W samples, the first W - r of them already taken.
    if (const std::uint32_t r = count - i; r != 0) {
        Samples::load(oldest + (count - W), x);
        mask_lanes<Samples>(x, kMaskLanes + 16 - W + r);
        p = add_block<Samples>(p, x, c.back(d0, count - W), c);
    }

    // (P0 + P2) + (P1 + P3)
    const __m128 pairs = _mm_add_ps(p, _mm_movehl_ps(p, p));
    return _mm_cvtss_f32(_mm_add_ss(pairs, _mm_movehdup_ps(pairs)));
}

template <class Samples>
float filter_at(const typename Samples::T* newest, std::uint32_t count, const float* coefficients,
                std::uint32_t stride)
{
    if (count < Samples::kWidth) {
        float y = 0.0f;
        for (std::uint32_t k = 0; k < count; ++k)
            y = fused_multiply_add(coefficients[std::size_t(k) * stride], Samples::one(newest[-std::ptrdiff_t(k)]), y);
        return y;
    }
    const typename Samples::T* oldest = newest - (count - 1);
    const float* d0 = coefficients + std::size_t(count - 1) * stride;
    if (stride == 1) return block_path<Samples>(oldest, count, d0, UnitStride{});
    return block_path<Samples>(oldest, count, d0, AnyStride{stride});
}

}  // namespace

float ZRCALC_STDCALL zrcalcCACalcFilter_float(const float* newest, uint32_t count, const float* coefficients,
                                              uint32_t stride)
{
    return filter_at<FloatSamples>(newest, count, coefficients, stride);
}

float ZRCALC_STDCALL zrcalcCACalcFilter_int32_t(const int32_t* newest, uint32_t count, const float* coefficients,
                                                uint32_t stride)
{
    return filter_at<Int32Samples>(newest, count, coefficients, stride);
}

float ZRCALC_STDCALL zrcalcCACalcFilter_int16_t(const int16_t* newest, uint32_t count, const float* coefficients,
                                                uint32_t stride)
{
    return filter_at<Int16Samples>(newest, count, coefficients, stride);
}
