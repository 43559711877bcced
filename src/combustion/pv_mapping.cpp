// Plot coordinates of pressure and volume traces (contract in zrcalc.h):
// zrcalcCAPV_lin maps x * scale + offset, zrcalcCAPV_log the fast logarithm of
// x / divisor scaled and shifted, each rounded to an integer and clamped to
// [minCoordinate, maxCoordinate].
//
// Two paths, with two rounding rules that callers see at exact halves and when
// minCoordinate > maxCoordinate:
//  - below eight values, one value at a time: half away from zero (0.5 added to or
//    subtracted from y in single precision, then truncation), raised to the
//    minimum, then lowered to the maximum;
//  - from eight values on, eight lanes: rounding to nearest even (the conversion
//    in the default rounding mode), lowered to the maximum, then raised to the
//    minimum.
// A NaN or a y beyond the int32 range converts to INT32_MIN on both paths (the
// conversions' out-of-range result) and so lands on minCoordinate.
//
// The vector path maps the first eight values, then the groups of eight from the
// first 32-byte-aligned value on, then the last eight values. The first and last
// group overlap the body, so some coordinates are computed and written twice with
// the same result (the reason coordinates must not overlap values); in exchange
// there is no scalar head or tail. Each group's coordinates are stored as two
// 16-byte halves.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "common/lanes.h"
#include "fastmath/fast_log10.h"
#include "zrcalc.h"

namespace {

constexpr std::uint32_t kLanes = 8;

// Short path: half away from zero (a NaN takes the + 0.5 branch), truncation,
// which turns NaN and out-of-range values into INT32_MIN; then the minimum is
// applied before the maximum, so the maximum wins when min > max.
inline std::int32_t coordinate_one(float y, std::int32_t lo, std::int32_t hi)
{
    const float away = y < 0.0f ? y - 0.5f : y + 0.5f;
    std::int32_t c = _mm_cvttss_si32(_mm_set_ss(away));
    if (c < lo) c = lo;
    if (c > hi) c = hi;
    return c;
}

// Vector path: nearest even, INT32_MIN for NaN and out of range; the maximum is
// applied before the minimum, so the minimum wins when min > max.
inline __m256i coordinates_eight(__m256 y, __m256i lo, __m256i hi)
{
    return _mm256_max_epi32(_mm256_min_epi32(_mm256_cvtps_epi32(y), hi), lo);
}

inline void store_halves(std::int32_t* p, __m256i c)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(c));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4), _mm256_extracti128_si256(c, 1));
}

// The paths of both mappings; Rule gives y of one value (one(x)) and of eight
// lanes (eight(v)).
template <class Rule>
void map_values(const float* values, std::uint32_t count, std::int32_t* coordinates, std::int32_t lo,
                std::int32_t hi, const Rule& rule)
{
    if (count < kLanes) {
        for (std::uint32_t i = 0; i < count; ++i) coordinates[i] = coordinate_one(rule.one(values[i]), lo, hi);
        return;
    }
    const __m256i los = _mm256_set1_epi32(lo);
    const __m256i his = _mm256_set1_epi32(hi);
    const auto group = [&](std::size_t i) {
        store_halves(coordinates + i, coordinates_eight(rule.eight(_mm256_loadu_ps(values + i)), los, his));
    };
    group(0);
    std::size_t i = zrcalc::elements_before_boundary(values, 32, sizeof(float));  // 0 .. 7: group 0 again at 0
    for (; count - i >= kLanes; i += kLanes) group(i);
    if (i < count) group(count - kLanes);
}

// y = x * scale + offset, one fused multiply-add in single precision.
struct LinearRule {
    float scale, offset;
    __m256 scales = _mm256_set1_ps(scale), offsets = _mm256_set1_ps(offset);
    float one(float x) const { return zrcalc::fused_multiply_add(x, scale, offset); }
    __m256 eight(__m256 x) const { return _mm256_fmadd_ps(x, scales, offsets); }
};

// The float nearest to 1e-9 (0x3089705F): the axis' lower bound, which also
// takes zero, negative and NaN quotients.
constexpr float kLowerBound = 9.99999972e-10f;

// The two paths reach y differently, and y may differ in the last bits:
//  - one value: q = (1 / divisor) * x, bounded; FastLog10(q), then
//    l * scale + offset in double (the product of two floats is exact there),
//    rounded to float;
//  - eight lanes: q = x / divisor, bounded; the core L ~ log2 q; u = L * scale,
//    y = u * 0.30103001 + offset fused: the base-10 scale joins the axis scale.
struct LogarithmicRule {
    float scale, offset, divisor;
    float reciprocal = 1.0f / divisor;
    __m256 scales = _mm256_set1_ps(scale), offsets = _mm256_set1_ps(offset), divisors = _mm256_set1_ps(divisor);

    float one(float x) const
    {
        float q = reciprocal * x;
        q = q > kLowerBound ? q : kLowerBound;
        const double l = zrcalc::FastLog10(q);
        return static_cast<float>(l * static_cast<double>(scale) + static_cast<double>(offset));
    }
    __m256 eight(__m256 x) const
    {
        // max_ps returns its second operand unless the first is greater: a NaN
        // quotient becomes the bound.
        const __m256 q = _mm256_max_ps(_mm256_div_ps(x, divisors), _mm256_set1_ps(kLowerBound));
        const __m256 u = _mm256_mul_ps(zrcalc::FastLog2Core(q), scales);
        return _mm256_fmadd_ps(u, zrcalc::log_constant(zrcalc::kLog10VectorScale), offsets);
    }
};

}  // namespace

void ZRCALC_STDCALL zrcalcCAPV_lin(const float* values, uint32_t count, int32_t* coordinates, int32_t minCoordinate,
                                   int32_t maxCoordinate, float scale, float offset)
{
    map_values(values, count, coordinates, minCoordinate, maxCoordinate, LinearRule{scale, offset});
}

void ZRCALC_STDCALL zrcalcCAPV_log(const float* values, uint32_t count, int32_t* coordinates, int32_t minCoordinate,
                                   int32_t maxCoordinate, float scale, float offset, float divisor)
{
    map_values(values, count, coordinates, minCoordinate, maxCoordinate, LogarithmicRule{scale, offset, divisor});
}
