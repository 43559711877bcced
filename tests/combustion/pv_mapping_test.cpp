// The plot mappings against their stated rules (below eight values, and from
// eight on), and the in-place conversions against element loops in their stated
// order, through the sweep driver; the values stated for the mappings.
#include "common/lanes.h"
#include "fastmath/fast_log10.h"
#include "support/sweep.h"

namespace {

struct Axis { const char* label; bool logarithmic; float scale, offset, divisor; int32_t lo, hi; };

// Truncation; NaN and values outside the int32 range give INT32_MIN.
int32_t truncated(float r) { return r >= -0x1p31f && r < 0x1p31f ? int32_t(r) : INT32_MIN; }

int32_t coordinate(float x, const Axis& a, bool vectorPath)
{
    using zrcalc::fused_multiply_add;
    float y = fused_multiply_add(x, a.scale, a.offset);
    if (a.logarithmic) {
        float q = vectorPath ? x / a.divisor : (1.0f / a.divisor) * x;
        q = q > 9.99999972e-10f ? q : 9.99999972e-10f;
        const float l = _mm_cvtss_f32(zrcalc::FastLog2Core(_mm_set_ss(q)));
        y = vectorPath ? fused_multiply_add(l * a.scale, 0.30103001f, a.offset)
                       : float(double(zrcalc::FastLog10(q)) * a.scale + a.offset);
    }
    if (vectorPath) return std::max(std::min(truncated(std::nearbyint(y)), a.hi), a.lo);
    return std::min(std::max(truncated(y < 0 ? y - 0.5f : y + 0.5f), a.lo), a.hi);
}

// Exact halves and their neighbours, values beyond the int32 range, infinities,
// NaN, zeros, a denormal; values over 30 decades, and near 1 (where the last bit
// of a quotient moves the logarithm).
std::vector<float> values(std::size_t n, uint64_t seed)
{
    const float planted[] = {2.5f, -2.5f, 0.49999997f, 2.50000024f, 1e20f, -1e20f, 0x1p31f, -0x1p31f, 2147483520.0f,
                             INFINITY, -INFINITY, NAN, 0.0f, -0.0f, 3e-45f};
    auto v = zrtest::random_samples<float>(n, seed, 60.0);
    std::mt19937_64 rng(seed);
    for (auto& x : v)
        x = rng() % 2 ? (rng() % 2 ? planted[rng() % std::size(planted)] : std::round(x) + 0.5f)
                      : std::ldexp(std::fabs(x), rng() % 2 ? int(rng() % 100) - 50 : -4);
    return v;
}

void map(const float* v, uint32_t n, int32_t* c, const Axis& a)
{
    if (a.logarithmic) return zrcalcCAPV_log(v, n, c, a.lo, a.hi, a.scale, a.offset, a.divisor);
    zrcalcCAPV_lin(v, n, c, a.lo, a.hi, a.scale, a.offset);
}

// One in-out buffer of 8 * count bytes at every 4-byte alignment, all compared,
// of random bits: doubles of every kind and magnitude to narrow, floats of every
// kind below byte 4 * count and other bytes above to widen. The model converts
// through a second buffer; the in-place order must give the same bytes.
zrtest::Case conversion(const char* entry, void* (*call)(void*, uint32_t), bool narrowing)
{
    return {entry, "", {{zrtest::elem_of<double>(), zrtest::Dir::InOut, {}, zrtest::random_fill<uint64_t>(), 4}}, 40,
            [call](zrtest::Arrays a, uint32_t n) { ASSERT_EQ(a.p[0], call(a.p[0], n)); },
            [narrowing](zrtest::Arrays a, uint32_t n) {
                std::vector<double> d(n + 1);
                std::vector<float> f(n + 1);
                if (narrowing) std::memcpy(d.data(), a.p[0], 8 * n), std::copy(d.begin(), d.end(), f.begin());
                else std::memcpy(f.data(), a.p[0], 4 * n), std::copy(f.begin(), f.end(), d.begin());
                narrowing ? std::memcpy(a.p[0], f.data(), 4 * n) : std::memcpy(a.p[0], d.data(), 8 * n);
            }};
}

// Mappings: counts 0..40, the short path, then the first group, the body from
// each alignment and the overlapping last group. From 2^23 on a float y is an
// integer, so the "every bit" axes show each last-bit difference of y.
ZRTEST_SWEEP(pv_mapping)
{
    std::vector<zrtest::Case> cases = {
        conversion("zrcalcCADoubleArrToSingleArrInplace", zrcalcCADoubleArrToSingleArrInplace_cdecl, true),
        conversion("zrcalcCASingleArrToDoubleArrInplace", zrcalcCASingleArrToDoubleArrInplace_cdecl, false)};
    const Axis axes[] = {{"ties", false, 1, 0, 0, -30, 30}, {"min above max", false, 1, 0, 0, 10, -10},
                         {"every bit", false, 3.3e6f, 0.25f, 0, INT32_MIN, INT32_MAX},
                         {"clamped", true, -25.5f, 13, -3.7f, -200, 230}, {"divisor 0", true, 10, 0, 0, -100, 1000},
                         {"every bit", true, 1.5e7f, -3e6f, 0.7f, INT32_MIN, INT32_MAX}};
    for (const Axis& a : axes)
        cases.push_back({a.logarithmic ? "zrcalcCAPV_log" : "zrcalcCAPV_lin", a.label,
                         {zrtest::in<float>(zrtest::fill_with<float>(values)), zrtest::out<int32_t>()}, 40,
                         [a](zrtest::Arrays x, uint32_t n) { map(x.at<float>(0), n, x.at<int32_t>(1), a); },
                         [a](zrtest::Arrays x, uint32_t n) {
                             for (uint32_t i = 0; i < n; ++i)
                                 x.at<int32_t>(1)[i] = coordinate(x.at<float>(0)[i], a, n >= 8);
                         },
                         {}, {}, 4});
    return cases;
}

// Halves round away from zero below eight values, to even from eight on; 1e20
// lies beyond the int32 range. The logarithm's bound, about -9 * scale + offset,
// takes 0, negatives and NaN; 5 / 0 is infinite, about 38.53 * scale + offset.
TEST(PvMapping, StatedValues)
{
    const std::vector<float> lin = {2.5f, -2.5f, 0.49999997f, 1e20f, 0, 0, 0, 0}, log = {0, -1, NAN, 5, 0, 0, 0, 0};
    for (uint32_t n : {4u, 8u}) {
        std::vector<int32_t> c(8);
        const auto first4 = [&] { return std::vector<int32_t>(c.begin(), c.begin() + 4); };
        map(lin.data(), n, c.data(), {"", false, 1, 0, 0, -100, 100});
        EXPECT_EQ(first4(), (n < 8 ? std::vector<int32_t>{3, -3, 1, -100} : std::vector<int32_t>{2, -2, 0, -100}));
        for (float divisor : {1.0f, 0.0f}) {
            map(log.data(), n, c.data(), {"", true, 1000, 0, divisor, INT32_MIN, INT32_MAX});
            EXPECT_EQ(first4(), (std::vector<int32_t>{-9000, -9000, -9000, divisor ? 699 : 38532}));
        }
    }
}

}  // namespace
