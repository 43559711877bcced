// zrcalcGetXYValGraph2D driven by a host's loop over whole series, against a model
// of each path's rule, through the sweep driver: every pair of axis modes, every X
// source and Y data type, zero ranges. Then the values stated for the two paths,
// and last bits that a pixel shows on an axis 1e-12 or 1e-15 wide.
#include "fastmath/fast_log10.h"
#include "support/sweep.h"

namespace {

using Block = XYValGraph2DParams;
using Pixels = std::vector<std::pair<int32_t, int32_t>>;
using zrtest::fused;

// A 1280 x 720 area at (-50, 20); on request every axis range 0.
Block plot(uint8_t xSource, uint8_t yType, uint8_t xMode, uint8_t yMode, bool zero = false)
{
    return {0, 0, xSource, yType, xMode, 0, yMode, {}, -50, 20, 1230, 740, 0.37, -2.5, 0.3, 0.15, zero ? 0.25 : 9,
            0.25, zero ? 0.5 : 1, 0.5, zero ? 0.125 : 300, 0.125, zero ? 0.375 : 2.5, 0.375, 0.7, nullptr,
            nullptr, nullptr, nullptr, nullptr, 0.49};
}

// The host: n points from p.index on, advancing by what each call converted.
void draw(Block p, uint32_t n, const void* y, const double* x, int32_t* xp, int32_t* yp, uint32_t* k)
{
    p.count = n, p.yData = y, p.xData = x, p.xPixels = xp, p.yPixels = yp, p.processed = k;
    for (; p.count > 0; p.count -= *k, p.index += *k, p.xPixels += *k, p.yPixels += *k)
        zrcalcGetXYValGraph2D(&p), p.yData = static_cast<const char*>(p.yData) + *k * (p.yDataType == 5 ? 4 : 8);
}

double fl(double v, bool four)
{
    return four ? _mm_cvtss_f32(zrcalc::FastLog10x4(_mm_set1_ps(float(v)))) : zrcalc::FastLog10(float(v));
}
double norm(double v, double lo, double hi, double zero) { return hi - lo == 0 ? zero : (v - lo) / (hi - lo); }

// The X and Y pixel of the point at index i, of raw Y value raw, on either path.
std::pair<int32_t, int32_t> model(const Block& p, uint32_t i, double raw, const double* xData, bool four)
{
    const auto logn = [four](double v, double bound, double lo, double hi) {
        return norm(v > (four ? bound : 0) ? fl(v, four) : lo, lo, hi, lo);
    };
    const auto r = [four](double n, double s) {
        n = std::isnan(n) ? (four ? 1e6 : -1e6) : std::clamp(n, -1e6, 1e6);
        return int64_t(four ? std::nearbyint(n * s) : std::trunc(fused(n, s, 0.5)));
    };
    const auto clamp = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, -32768, 32767)); };
    const double x = p.xSource < 2 ? (p.xSource ? xData[i] : i)
                                   : p.xSource == 2 ? fused(double(i), p.xStep, p.xStart) : four ? 0 : p.xMin;
    const double y = fused(raw, p.yFactor, p.yOffset), l = fl(y / p.dbReference, four);
    const double d = !(four ? y > 1e-12 : !(y <= 0)) ? -400 : four ? p.dbFactor * 20 * l : p.dbFactor * (20 * l);
    const double xn = p.xAxisMode > 1 ? x
                      : p.xAxisMode   ? logn(x, p.xMin, p.xLogMin, p.xLogMax)
                                      : norm(x, p.xMin, p.xMax, p.xMin);
    const double yn = p.yAxisMode > 1 ? norm(d, p.yMin, p.yMax, four ? p.yMin : 0)
                      : p.yAxisMode   ? logn(y, p.yMin, p.yLogMin, p.yLogMax)
                                      : norm(y, p.yMin, p.yMax, four ? 0 : p.yMin);
    return {clamp(p.rectLeft + r(xn, p.rectRight - p.rectLeft)), clamp(p.rectBottom - r(yn, p.rectBottom - p.rectTop))};
}

// Values over six decades; planted: those that give Y = 0, about 1e-13 and 1e-12,
// the X bound, zeros, a float denormal, NaN, infinity, beyond the float range.
template <class T>
std::vector<T> samples(std::size_t n, uint64_t seed)
{
    const double planted[] = {-0.5, -0.5 + 3.3e-13, -0.5 + 3.3e-12, 0.25, 0, -0.0, 1e-40, NAN, INFINITY, -1e300};
    std::mt19937_64 rng(~seed);
    std::vector<T> v = zrtest::random_samples<T>(n, seed);
    for (T& x : v) x = rng() % 3 ? std::ldexp(x, int(rng() % 20) - 10) : T(planted[rng() % std::size(planted)]);
    return v;
}

// Y data, X data (for another X source empty at one alignment, so that a read
// faults), X pixels, Y pixels, the last call's count.
zrtest::Case series(const Block& p, const std::string& label)
{
    const bool floats = p.yDataType == 5, xArray = p.xSource == 1;
    const auto in = [](auto type, zrtest::Length length = {}) {
        return zrtest::in<decltype(type)>(zrtest::fill_with<decltype(type)>(samples<decltype(type)>), length);
    };
    zrtest::Array x = in(0.0, [=](uint32_t n) { return xArray ? n : 0; });
    x.alignStep = xArray ? 0 : 32;
    return {"zrcalcGetXYValGraph2D", label,
            {floats ? in(0.0f) : in(0.0), x, zrtest::out<int32_t>(), zrtest::out<int32_t>(),
             zrtest::cell<uint32_t>(zrtest::Dir::Out)},
            13,
            [p](zrtest::Arrays a, uint32_t n) {
                draw(p, n, a.p[0], a.at<double>(1), a.at<int32_t>(2), a.at<int32_t>(3), a.at<uint32_t>(4));
            },
            [p, floats](zrtest::Arrays a, uint32_t n) {
                for (uint32_t i = 0; i < n; ++i)
                    std::tie(a.at<int32_t>(2)[i], a.at<int32_t>(3)[i]) =
                        model(p, i, floats ? a.at<float>(0)[i] : a.at<double>(0)[i], a.at<double>(1), i < n / 4 * 4);
                if (n) *a.at<uint32_t>(4) = n % 4 ? 1 : 4;
            },
            {}, {}, 4};
}

// The nine pairs of axis modes k (the other modes as 9 and 2) with the X sources
// and Y types in turn; then the three pairs of like modes with zero ranges.
ZRTEST_SWEEP(xy_values)
{
    std::vector<zrtest::Case> cases;
    for (int m = 0; m < 12; ++m) {
        const int k = m < 9 ? m : (m - 9) * 4;
        const Block p = plot(m < 9 ? m % 4 : 1, m % 2 ? 5 : 6, k / 3 == 2 ? 9 : k / 3, k % 3, m >= 9);
        cases.push_back(series(p, "modes " + std::to_string(k) + (m >= 9 ? " zero range, source " : " source ") +
                                      std::to_string(p.xSource) + " type " + std::to_string(p.yDataType)));
    }
    return cases;
}

// The first point's pixels on the one-point path, then on the four-point path; every Y value y.
Pixels paths(const Block& p, double y)
{
    const double ys[4] = {y, y, y, y};
    int32_t xp[5], yp[5];
    uint32_t k;
    draw(p, 1, ys, nullptr, xp, yp, &k), draw(p, 4, ys, nullptr, xp + 1, yp + 1, &k);
    return {{xp[0], yp[0]}, {xp[1], yp[1]}};
}

// Pixel = -50 + 1280 xn, 740 - 720 yn.
TEST(XYValGraph2D, StatedValues)
{
    // Zero ranges: X linear xMin (0.25), logarithmic xLogMin (0.5); Y linear yMin
    // (0.125) or 0, logarithmic yLogMin (0.375), decibel 0 or yMin.
    EXPECT_EQ(paths(plot(0, 6, 0, 0, true), 1), (Pixels{{270, 650}, {270, 740}}));
    EXPECT_EQ(paths(plot(0, 6, 1, 1, true), 1), (Pixels{{590, 470}, {590, 470}}));
    EXPECT_EQ(paths(plot(0, 6, 1, 2, true), 1), (Pixels{{590, 740}, {590, 650}}));
    Block p = plot(2, 6, 9, 1);  // xn = 0.5; Y 0.5 under yMin 1: log10(0.5) on one point, the bottom edge on four
    p.xStep = 0, p.xStart = 0.5, p.yFactor = 1, p.yOffset = 0, p.yMin = 1, p.yLogMin = 0, p.yLogMax = 1;
    EXPECT_EQ(paths(p, 0.5), (Pixels{{590, 956}, {590, 740}}));
    p.yAxisMode = 2, p.yMin = -400, p.yMax = 320, p.dbReference = 1, p.dbFactor = 0.5;  // -400 dB and -130 dB
    EXPECT_EQ(paths(p, 0), (Pixels{{590, 740}, {590, 740}}));
    EXPECT_EQ(paths(p, 1e-13), (Pixels{{590, 470}, {590, 740}}));
    p.rectLeft = 0, p.rectRight = 11;  // xn 0.5: 5.5 and 2.5 rounded
    EXPECT_EQ(paths(p, 0), (Pixels{{6, 740}, {6, 740}}));
    p.rectRight = 5;
    EXPECT_EQ(paths(p, 0), (Pixels{{3, 740}, {2, 740}}));
    p.rectRight = 4000, p.xStart = 1e9;  // far out on a 4000-pixel area, to either side
    EXPECT_EQ(paths(p, 0), (Pixels{{32767, 740}, {32767, 740}}));
    p.xStart = -1e9;
    EXPECT_EQ(paths(p, 0), (Pixels{{-32768, 740}, {-32768, 740}}));
    p.xSource = 3, p.xMin = 0.25;  // an unknown source: xMin, or 0
    EXPECT_EQ(paths(p, 0), (Pixels{{1000, 740}, {0, 740}}));
    for (uint32_t count : {0u, 3u, 4u, 1000u}) {  // points converted: 0 (nothing read, only the count written), 1, 4, 4
        uint32_t k = 7;
        int32_t pixels[4];
        const double ys[4] = {};
        p.count = count, p.processed = &k, p.yData = count ? ys : nullptr;
        p.xPixels = p.yPixels = count ? pixels : nullptr;
        zrcalcGetXYValGraph2D(&p);
        EXPECT_EQ(k, count ? count < 4 ? 1u : 4u : 0u);
    }

    // Last bits. On axes 1e-15 wide: 5 * 0.1 - 0.5 is 2.8e-17 fused, 0 otherwise.
    p = plot(2, 6, 0, 0);
    p.index = 5, p.xStep = p.yFactor = 0.1, p.xStart = p.yOffset = -0.5, p.xMin = p.yMin = 0, p.xMax = p.yMax = 1e-15;
    EXPECT_EQ(paths(p, 5), (Pixels{{-14, 720}, {-14, 720}}));
    // On axes 1e-12 wide: the logarithm of each path (of 0: -38.2308083 on one
    // point, -38.2308121 on four) on both axes, and the order of the decibel products.
    for (bool four : {false, true}) {
        const double l = four ? -38.2308121f : -38.2308083f, d = four ? (0.49 * 20) * l : 0.49 * (20 * l);
        ASSERT_NE(d, four ? 0.49 * (20 * l) : (0.49 * 20) * l);
        p = plot(2, 6, 1, 2);  // x = 1e-300, y / dbReference = 1e-300: both 0 in float
        p.xStep = 0, p.xStart = 1e-300, p.xMin = 0, p.xLogMin = l, p.xLogMax = l + 1e-12;
        p.yFactor = 1, p.yOffset = 0, p.dbReference = 1e300, p.yMin = d, p.yMax = d + 1e-12;
        EXPECT_EQ(paths(p, 1)[four], std::make_pair(-50, 740));
        p.yAxisMode = 1, p.yMin = 0, p.yLogMin = l, p.yLogMax = l + 1e-12;
        EXPECT_EQ(paths(p, 1e-300)[four], std::make_pair(-50, 740));
    }
}

}  // namespace
