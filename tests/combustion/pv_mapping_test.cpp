// The plot mappings against their two stated rules (below eight values and from
// eight on) through the sweep driver, on axes that reach every rounding and
// clamping branch; and the values stated for them.
#include "common/lanes.h"
#include "fastmath/fast_log10.h"
#include "support/sweep.h"

namespace {

struct Axis {
    const char* label;
    float scale, offset, divisor;
    int32_t lo, hi;
};

// Truncation toward zero; NaN and values outside the int32 range give INT32_MIN.
int32_t truncated(float r) { return r >= -0x1p31f && r < 0x1p31f ? int32_t(r) : INT32_MIN; }

int32_t coordinate(float y, const Axis& a, bool vectorPath)
{
    if (vectorPath) return std::max(std::min(truncated(std::nearbyint(y)), a.hi), a.lo);
    return std::min(std::max(truncated(y < 0 ? y - 0.5f : y + 0.5f), a.lo), a.hi);
}

float linear_y(float x, const Axis& a, bool) { return zrcalc::fused_multiply_add(x, a.scale, a.offset); }

float log_y(float x, const Axis& a, bool vectorPath)
{
    const float bound = 9.99999972e-10f;
    float q = vectorPath ? x / a.divisor : (1.0f / a.divisor) * x;
    q = q > bound ? q : bound;
    if (!vectorPath) return float(double(zrcalc::FastLog10(q)) * a.scale + a.offset);
    const float u = _mm_cvtss_f32(zrcalc::FastLog2Core(_mm_set_ss(q))) * a.scale;
    return zrcalc::fused_multiply_add(u, 0.30103001f, a.offset);
}

// Exact halves and their neighbours, 0.49999997, values beyond the int32 range,
// infinities, NaN, zeros, denormals; values over 30 decades and near 1 (quotients
// whose last bit moves the logarithm).
std::vector<float> values(std::size_t n, uint64_t seed)
{
    const float planted[] = {2.5f, -2.5f, 0.5f, 0.49999997f, 2.50000024f, -3.5f, 1e20f, -1e20f, 0x1p31f, -0x1p31f,
                             2147483520.0f, INFINITY, -INFINITY, NAN, 0.0f, -0.0f, 1e-30f, 3e-45f};
    auto v = zrtest::random_samples<float>(n, seed, 60.0);
    std::mt19937_64 rng(seed);
    for (auto& x : v) {
        const auto kind = rng() % 4;
        x = kind == 0 ? planted[rng() % std::size(planted)] : kind == 1 ? std::round(x) + 0.5f
            : kind == 2 ? std::ldexp(std::fabs(x), int(rng() % 100) - 50) : std::fabs(x) / 16;
    }
    return v;
}

using Call = void (*)(const float*, uint32_t, int32_t*, const Axis&);
using Rule = float (*)(float, const Axis&, bool vectorPath);

void map_linear(const float* v, uint32_t n, int32_t* c, const Axis& a) { zrcalcCAPV_lin(v, n, c, a.lo, a.hi, a.scale, a.offset); }
void map_log(const float* v, uint32_t n, int32_t* c, const Axis& a)
{
    zrcalcCAPV_log(v, n, c, a.lo, a.hi, a.scale, a.offset, a.divisor);
}

// Counts 0..40: the short path, then a first group, the body from each alignment
// of values and the overlapping last group.
std::vector<zrtest::Case> cases(const char* entry, Call call, Rule rule, std::vector<Axis> axes)
{
    std::vector<zrtest::Case> out;
    for (const Axis& a : axes)
        out.push_back({entry, a.label, {zrtest::in<float>(zrtest::fill_with<float>(values)), zrtest::out<int32_t>()}, 40,
                       [a, call](zrtest::Arrays x, uint32_t n) { call(x.at<float>(0), n, x.at<int32_t>(1), a); },
                       [a, rule](zrtest::Arrays x, uint32_t n) {
                           for (uint32_t i = 0; i < n; ++i)
                               x.at<int32_t>(1)[i] = coordinate(rule(x.at<float>(0)[i], a, n >= 8), a, n >= 8);
                       },
                       {}, {}, 4});
    return out;
}

// From 2^23 on a float y is an integer, so the "every bit of y" axes show each
// last-bit difference of y in the coordinate.
ZRTEST_SWEEP(pv_mapping)
{
    auto all = cases("zrcalcCAPV_lin", map_linear, linear_y,
                          {{"ties", 1, 0, 0, -30, 30}, {"whole range", 1, 0, 0, INT32_MIN, INT32_MAX},
                           {"scaled", 0.37f, -3.25f, 0, -50, 45}, {"min above max", 1, 0, 0, 10, -10},
                           {"every bit of y", 3.3e6f, 0.25f, 0, INT32_MIN, INT32_MAX}});
    auto logs = cases("zrcalcCAPV_log", map_log, log_y,
                                     {{"decades", 1000, 900, 1, INT32_MIN, INT32_MAX},
                                      {"clamped", -25.5f, 13, 3.7f, -200, 230}, {"divisor 0", 10, 0, 0, -100, 1000},
                                      {"negative divisor", 7, 1, -2, -500, 500}, {"min above max", 1, 0, 1, 5, -5},
                                      {"every bit of y", 1.5e7f, -3e6f, 0.7f, INT32_MIN, INT32_MAX}});
    all.insert(all.end(), logs.begin(), logs.end());
    return all;
}

TEST(PvMapping, StatedValues)
{
    for (uint32_t n : {4u, 8u}) {
        std::vector<float> v = {2.5f, -2.5f, 0.49999997f, 1e20f, 0.0f, -1.0f, NAN, 1.0f};
        std::vector<int32_t> c(n);
        zrcalcCAPV_lin(v.data(), n, c.data(), -100, 100, 1, 0);
        const std::vector<int32_t> rounded = n < 8 ? std::vector<int32_t>{3, -3, 1, -100} : std::vector<int32_t>{2, -2, 0, -100};
        EXPECT_EQ(std::vector<int32_t>(c.begin(), c.begin() + 4), rounded);
        v = {0.0f, -1.0f, NAN, 1e-20f, 5.0f, 0.0f, 0.0f, 0.0f};  // the bound: about -9 * scale + offset
        zrcalcCAPV_log(v.data(), n, c.data(), INT32_MIN, INT32_MAX, 1000, 0, 1);
        EXPECT_EQ(std::vector<int32_t>(c.begin(), c.begin() + 4), std::vector<int32_t>(4, -9000));
        zrcalcCAPV_log(v.data(), n, c.data(), INT32_MIN, INT32_MAX, 1000, 0, 0);  // infinite, NaN
        EXPECT_EQ(std::vector<int32_t>(c.begin(), c.begin() + 4), (std::vector<int32_t>{-9000, -9000, -9000, 38532}));
    }
}

}  // namespace
