// Pixel coordinates of the points of an XY graph (contract, with every rule that
// fixes a pixel, in zrcalc.h). The host's loop drives the series; each call
// converts the next four points, or one when fewer than four remain.
//
// Two paths, which differ in more than speed: callers see every difference, so
// each path keeps its own rules.
//  - One point (count 1 .. 3), scalar: logarithms through FastLog10 of values
//    above 0; decibels of every Y not at or below 0 (NaN included); a zero range
//    gives yMin on the linear Y axis and 0 on the decibel one; an unknown X
//    source gives xMin; a NaN normalized value becomes -1e6; a pixel is
//    xn * w + 0.5, one fused multiply-add, truncated toward zero.
//  - Four points (count >= 4), four doubles to an AVX register: logarithms through
//    FastLog10x4 of values above xMin (yMin); decibels of Y above 1e-12; a zero
//    range gives 0 on the linear Y axis and yMin on the decibel one; an unknown X
//    source gives 0; a NaN normalized value becomes +1e6; a pixel is xn * w
//    rounded to double, then to the nearest integer, ties to even (one rounding
//    and one conversion instruction for each set of four).
//
// Pixels stay in double up to the conversion: the rounded product (at most
// 1e6 * 65535 in magnitude) plus or minus the edge is a whole number, exact in
// double, and it is clamped to [-32768, 32767] before it is converted. So the
// conversion never meets a value beyond the int32 range, which it would turn into
// INT32_MIN and so put a point far to the right at the left bound.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/lanes.h"
#include "fastmath/fast_log10.h"
#include "zrcalc.h"

namespace {

using zrcalc::fused_multiply_add;

constexpr double kNormalizedLimit = 1e6;
constexpr double kPixelLow = -32768.0, kPixelHigh = 32767.0;
constexpr double kDecibelFloor = -400.0;              // a Y at or below the threshold
constexpr double kFourPointDecibelThreshold = 1e-12;  // the one-point threshold is 0
constexpr std::uint8_t kFloatData = 5;                // yDataType; any other value: doubles
enum XSource : std::uint8_t { kIndex = 0, kArray = 1, kLinearOfIndex = 2 };
enum AxisMode : std::uint8_t { kLinear = 0, kLogarithmic = 1 };  // other: X normalized, Y in decibels

// ------------------------------------------------------------------ one point

// (v - low) / (high - low), or zeroRange when the range is exactly 0.
double normalized(double v, double low, double high, double zeroRange)
{
    const double range = high - low;
    return range == 0.0 ? zeroRange : (v - low) / range;
}

double log10_one(double v) { return zrcalc::FastLog10(static_cast<float>(v)); }

// Clamped to +-1e6; NaN fails both comparisons and ends at -1e6.
double limited_one(double v)
{
    return v > kNormalizedLimit ? kNormalizedLimit : v >= -kNormalizedLimit ? v : -kNormalizedLimit;
}

// A whole number of pixels (never NaN) clamped, then converted: exact.
std::int32_t pixel(double v) { return static_cast<std::int32_t>(std::min(std::max(v, kPixelLow), kPixelHigh)); }

void convert_one(const XYValGraph2DParams& p)
{
    double x;
    switch (p.xSource) {
    case kIndex: x = p.index; break;  // unsigned
    case kArray: x = p.xData[p.index]; break;
    case kLinearOfIndex: x = fused_multiply_add(static_cast<double>(p.index), p.xStep, p.xStart); break;
    default: x = p.xMin;
    }
    double xn = x;
    if (p.xAxisMode == kLinear)
        xn = normalized(x, p.xMin, p.xMax, p.xMin);
    else if (p.xAxisMode == kLogarithmic)
        xn = normalized(x > 0.0 ? log10_one(x) : p.xLogMin, p.xLogMin, p.xLogMax, p.xLogMin);

    const double raw = p.yDataType == kFloatData ? *static_cast<const float*>(p.yData)
                                                 : *static_cast<const double*>(p.yData);
    const double y = fused_multiply_add(raw, p.yFactor, p.yOffset);
    double yn;
    if (p.yAxisMode == kLinear) {
        yn = normalized(y, p.yMin, p.yMax, p.yMin);
    } else if (p.yAxisMode == kLogarithmic) {
        yn = normalized(y > 0.0 ? log10_one(y) : p.yLogMin, p.yLogMin, p.yLogMax, p.yLogMin);
    } else {  // 20 * FL first, then dbFactor; a NaN is not at or below 0
        const double d = y <= 0.0 ? kDecibelFloor : p.dbFactor * (20.0 * log10_one(y / p.dbReference));
        yn = normalized(d, p.yMin, p.yMax, 0.0);
    }

    const double w = p.rectRight - p.rectLeft, h = p.rectBottom - p.rectTop;
    *p.xPixels = pixel(p.rectLeft + std::trunc(fused_multiply_add(limited_one(xn), w, 0.5)));
    *p.yPixels = pixel(p.rectBottom - std::trunc(fused_multiply_add(limited_one(yn), h, 0.5)));
    *p.processed = 1;
}

// ------------------------------------------------------------------ four points

using V = __m256d;

V splat(double v) { return _mm256_set1_pd(v); }

V normalized(V v, double low, double high, double zeroRange)
{
    const double range = high - low;
    return range == 0.0 ? splat(zeroRange) : _mm256_div_pd(_mm256_sub_pd(v, splat(low)), splat(range));
}

// Each lane rounded to float, through the four-lane logarithm, widened back.
V log10_four(V v) { return _mm256_cvtps_pd(zrcalc::FastLog10x4(_mm256_cvtpd_ps(v))); }

// The logarithm of each lane strictly above bound (a NaN is not), else fallback.
V log10_above(V v, double bound, double fallback)
{
    return _mm256_blendv_pd(splat(fallback), log10_four(v), _mm256_cmp_pd(v, splat(bound), _CMP_GT_OQ));
}

// min_pd returns its second operand when the first is NaN: NaN ends at +1e6.
V limited_four(V v) { return _mm256_max_pd(_mm256_min_pd(v, splat(kNormalizedLimit)), splat(-kNormalizedLimit)); }

// n * size rounded to double, then to the nearest whole number, ties to even.
V whole_pixels(V n, double size)
{
    return _mm256_round_pd(_mm256_mul_pd(n, splat(size)), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
}

void store_pixels(std::int32_t* out, V v)
{
    v = _mm256_min_pd(_mm256_max_pd(v, splat(kPixelLow)), splat(kPixelHigh));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_cvttpd_epi32(v));  // exact: whole and in range
}

void convert_four(const XYValGraph2DParams& p)
{
    // index + j as a signed 32-bit integer.
    const __m128i index = _mm_add_epi32(_mm_set1_epi32(static_cast<std::int32_t>(p.index)), _mm_setr_epi32(0, 1, 2, 3));
    V x;
    switch (p.xSource) {
    case kIndex: x = zrcalc::int32x4_to_double(index); break;
    case kArray: x = _mm256_loadu_pd(p.xData + p.index); break;
    case kLinearOfIndex: x = _mm256_fmadd_pd(zrcalc::int32x4_to_double(index), splat(p.xStep), splat(p.xStart)); break;
    default: x = _mm256_setzero_pd();
    }
    V xn = x;
    if (p.xAxisMode == kLinear)
        xn = normalized(x, p.xMin, p.xMax, p.xMin);
    else if (p.xAxisMode == kLogarithmic)
        xn = normalized(log10_above(x, p.xMin, p.xLogMin), p.xLogMin, p.xLogMax, p.xLogMin);

    const V raw = p.yDataType == kFloatData ? zrcalc::load_floats_as_doubles(static_cast<const float*>(p.yData))
                                            : _mm256_loadu_pd(static_cast<const double*>(p.yData));
    const V y = _mm256_fmadd_pd(raw, splat(p.yFactor), splat(p.yOffset));
    V yn;
    if (p.yAxisMode == kLinear) {
        yn = normalized(y, p.yMin, p.yMax, 0.0);
    } else if (p.yAxisMode == kLogarithmic) {
        yn = normalized(log10_above(y, p.yMin, p.yLogMin), p.yLogMin, p.yLogMax, p.yLogMin);
    } else {  // FL times the product dbFactor * 20
        const V db = _mm256_mul_pd(splat(p.dbFactor * 20.0), log10_four(_mm256_div_pd(y, splat(p.dbReference))));
        const V above = _mm256_cmp_pd(y, splat(kFourPointDecibelThreshold), _CMP_GT_OQ);
        yn = normalized(_mm256_blendv_pd(splat(kDecibelFloor), db, above), p.yMin, p.yMax, p.yMin);
    }

    const V across = whole_pixels(limited_four(xn), p.rectRight - p.rectLeft);
    const V up = whole_pixels(limited_four(yn), p.rectBottom - p.rectTop);
    store_pixels(p.xPixels, _mm256_add_pd(splat(p.rectLeft), across));
    store_pixels(p.yPixels, _mm256_sub_pd(splat(p.rectBottom), up));
    *p.processed = 4;
}

}  // namespace

void ZRCALC_STDCALL zrcalcGetXYValGraph2D(const XYValGraph2DParams* params)
{
    const XYValGraph2DParams& p = *params;
    if (p.count >= 4)
        convert_four(p);
    else if (p.count > 0)
        convert_one(p);
    else  // no point to convert: nothing read, nothing but the count written
        *p.processed = 0;
}
