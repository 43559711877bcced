// The cubic Hermite (Catmull-Rom) resampler: a ring of the latest input samples,
// 64-bit counts of all input and output values, and an output buffer reused by
// every call (contract, status codes and states in zrcalc.h).
//
// Output value k lies at input position k / ratio. A call that brings the input
// count to I produces every value up to position I - 2. For each value the
// position t = j / ratio + K / ratio (double) splits into the sample w and the
// fraction f (float); the segment's four points are samples w - 1 .. w + 2 (sample
// 0 standing in for its missing predecessor), and its coefficients, formed once
// per segment within a call, are four float lanes
//     c = P0 M0, then c = fma(P1, M1, c), fma(P2, M2, c), fma(P3, M3, c);
// the value is 0.5 ((c0 + c1 f) + (c2 f^2 + c3 f^3)), every product and sum
// rounded in float in that order.
//
// Points are read from the ring by sample number. One block of historyLength - 2
// samples overwrites the slot of input sample I' - 3 (I' the count before the
// call), which the first segment of the call may still need; the four samples
// before I' are therefore kept aside at the start of each call and read from
// there once the ring has lost them. The ring itself, zero-filled at creation, is
// written exactly as the stream arrives: a segment that ends on the newest sample
// reads the not yet received sample after it from its slot, with weight zero.
#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>

#include "zrcalc.h"

struct CHSInterpolator {
    double ratio;                // output values per input sample
    std::uint32_t length, mask;  // the ring: historyLength slots
    float* ring;
    float* output;
    std::uint64_t capacity;      // values the output buffer holds
    std::uint64_t inputCount, outputCount;
    float kept[4];               // input samples firstKept .. firstKept + 3, kept aside
    std::uint64_t firstKept;
    bool stopped;
};

namespace {

// The weights of P0 .. P3 in (c0, c1, c2, c3).
const __m128 kM0 = _mm_setr_ps(0, -1, 2, -1);
const __m128 kM1 = _mm_setr_ps(2, 0, -5, 3);
const __m128 kM2 = _mm_setr_ps(0, 1, 4, -3);
const __m128 kM3 = _mm_setr_ps(0, 0, -1, 1);

// Input sample i: from the ring, or from the samples kept aside once the ring has
// lost it.
float sample(const CHSInterpolator& p, std::uint64_t i)
{
    if (i + p.length < p.inputCount && i >= p.firstKept) return p.kept[i - p.firstKept];
    const float slot = p.ring[i & p.mask];
    // The sample after the newest, not yet received, weighs zero; its slot may
    // still hold an infinity or NaN from an earlier lap or from the stream before
    // a Reset, and 0 times that would be NaN, so such a slot reads as 0.
    if (i >= p.inputCount && !std::isfinite(slot)) return 0.0f;
    return slot;
}

__m128 coefficients(const CHSInterpolator& p, std::uint64_t w)
{
    const float p0 = sample(p, w == 0 ? 0 : w - 1), p1 = sample(p, w), p2 = sample(p, w + 1), p3 = sample(p, w + 2);
    __m128 c = _mm_mul_ps(_mm_set1_ps(p0), kM0);
    c = _mm_fmadd_ps(_mm_set1_ps(p1), kM1, c);
    c = _mm_fmadd_ps(_mm_set1_ps(p2), kM2, c);
    return _mm_fmadd_ps(_mm_set1_ps(p3), kM3, c);
}

// 0.5 ((c0 + c1 f) + (c2 f^2 + c3 f^3)): one 4-lane product with (1, f, f^2, f^3)
// and two horizontal additions, which pair the lanes in that order.
float evaluate(__m128 c, float f)
{
    const float f2 = f * f, f3 = f2 * f;
    __m128 terms = _mm_mul_ps(c, _mm_setr_ps(1.0f, f, f2, f3));
    terms = _mm_hadd_ps(terms, terms);  // c0 + c1 f, c2 f^2 + c3 f^3
    terms = _mm_hadd_ps(terms, terms);
    return 0.5f * _mm_cvtss_f32(terms);
}

// The values that the input count I now makes computable, into the output buffer.
std::uint32_t produce(CHSInterpolator& p)
{
    const std::uint64_t inputs = p.inputCount, k = p.outputCount;
    if (inputs < 2) return 0;
    const auto last = static_cast<std::uint64_t>(static_cast<double>(inputs - 2) * p.ratio);
    if (last + 1 <= k) return 0;
    const std::uint64_t n = last - k + 1;  // never more than the capacity (see Create)
    const double base = static_cast<double>(k) / p.ratio;
    std::uint64_t segment = 0;
    __m128 c = _mm_setzero_ps();
    for (std::uint64_t j = 0; j < n; ++j) {
        const double t = static_cast<double>(j) / p.ratio + base;
        const auto w = static_cast<std::uint64_t>(t);
        const float f = static_cast<float>(t - static_cast<double>(w));
        if (j == 0 || (w & p.mask) != (segment & p.mask)) c = coefficients(p, w);
        segment = w;
        p.output[j] = evaluate(c, f);
    }
    p.outputCount += n;
    return static_cast<std::uint32_t>(n);
}

bool is_power_of_two(std::uint32_t x) { return x != 0 && (x & (x - 1)) == 0; }

}  // namespace

int32_t ZRCALC_STDCALL zrcalcCHSInterpolator_Create(CHSInterpolator** handleOut, const CHSInterpolatorConfig* config)
{
    if (!config || !(config->inputRate > 0) || !(config->outputRate > 0)) return CHSInterpolator_InvalidArgument;
    const std::uint32_t length = config->historyLength;
    if (!is_power_of_two(length) || length < 2) return CHSInterpolator_InvalidHistoryLength;
    const double ratio = config->outputRate / config->inputRate;
    // Two valid rates can still give a ratio of 0 (1e-300 / 1e300): the positions
    // k / ratio would have no value, so such a configuration is refused too.
    if (!(ratio > 0)) return CHSInterpolator_InvalidArgument;
    // One call produces at most about (historyLength - 2) * ratio + 1 values; the
    // margin covers the rounding of the two positions that bound them.
    const double capacity = std::fmax(std::trunc((length + 1.0) * ratio), std::trunc((length - 2.0) * ratio) + 3);
    if (!(capacity < double(std::numeric_limits<std::int32_t>::max()))) return CHSInterpolator_InvalidArgument;

    auto* p = static_cast<CHSInterpolator*>(std::calloc(1, sizeof(CHSInterpolator)));
    float* ring = static_cast<float*>(std::calloc(length, sizeof(float)));
    float* output = static_cast<float*>(std::malloc(static_cast<std::size_t>(capacity) * sizeof(float)));
    if (!p || !ring || !output) {
        std::free(p), std::free(ring), std::free(output);
        return CHSInterpolator_InvalidArgument;
    }
    p->ratio = ratio;
    p->length = length;
    p->mask = length - 1;
    p->ring = ring;
    p->output = output;
    p->capacity = static_cast<std::uint64_t>(capacity);
    *handleOut = p;
    return CHSInterpolator_Success;
}

int32_t ZRCALC_STDCALL zrcalcCHSInterpolator_Destroy(CHSInterpolator* handle)
{
    if (!handle) return CHSInterpolator_InvalidArgument;
    std::free(handle->ring);
    std::free(handle->output);
    std::free(handle);
    return CHSInterpolator_Success;
}

int32_t ZRCALC_STDCALL zrcalcCHSInterpolator_Reset(CHSInterpolator* handle)
{
    if (!handle) return CHSInterpolator_InvalidArgument;
    handle->inputCount = handle->outputCount = handle->firstKept = 0;
    handle->stopped = false;
    return CHSInterpolator_Success;
}

int32_t ZRCALC_STDCALL zrcalcCHSInterpolator_InterpolateValues(CHSInterpolator* handle, const float* samples,
                                                               uint32_t sampleCount, float** values,
                                                               uint32_t* valueCount)
{
    if (!handle || sampleCount == 0) return CHSInterpolator_InvalidArgument;
    CHSInterpolator& p = *handle;
    if (sampleCount > p.length - 2) return CHSInterpolator_BlockTooLong;
    if (p.stopped) return CHSInterpolator_Stopped;
    // The four samples before this block, which it may overwrite in the ring.
    p.firstKept = p.inputCount < 4 ? 0 : p.inputCount - 4;
    for (std::uint64_t i = p.firstKept; i < p.inputCount; ++i) p.kept[i - p.firstKept] = p.ring[i & p.mask];
    for (std::uint32_t i = 0; i < sampleCount; ++i) p.ring[(p.inputCount + i) & p.mask] = samples[i];
    p.inputCount += sampleCount;
    *valueCount = produce(p);
    *values = p.output;
    return CHSInterpolator_Success;
}

int32_t ZRCALC_STDCALL zrcalcCHSInterpolator_Stop(CHSInterpolator* handle, float** values, uint32_t* valueCount)
{
    if (!handle) return CHSInterpolator_InvalidArgument;
    if (handle->stopped) return CHSInterpolator_Stopped;
    const float newest = handle->ring[(handle->inputCount - 1) & handle->mask];
    // A ring of two slots takes no block at all, so there is nothing to flush; the
    // success still hands out the buffer with no values in it.
    if (zrcalcCHSInterpolator_InterpolateValues(handle, &newest, 1, values, valueCount) != CHSInterpolator_Success)
        *values = handle->output, *valueCount = 0;
    handle->stopped = true;
    return CHSInterpolator_Success;
}
