// zrcalcGetXYValGraph2D driven by a host's loop over whole series, against a model
// of each path's rule, through the sweep driver: every axis mode, X source and Y
// data type, and zero ranges. Then the values stated for the two paths.
#include "common/lanes.h"
#include "fastmath/fast_log10.h"
#include "support/sweep.h"

namespace {

using Block = XYValGraph2DParams;
using zrtest::fused;

// A 1280 x 720 area; zero ranges on request.
Block plot(uint8_t xSource, uint8_t yType, uint8_t xMode, uint8_t yMode, bool zero = false)
{
    return {0, 0, xSource, yType, xMode, 0, yMode, {}, -50, 20, 1230, 740, 0.37, -2.5, 0.3, 0.15, zero ? 0.25 : 9,
            0.25, zero ? 0.5 : 1, 0.5, zero ? 0.125 : 300, 0.125, zero ? 0.375 : 2.5, 0.375, 0.7, nullptr,
            nullptr, nullptr, nullptr, nullptr, 0.49};
}

// The host: the series from index 0, advancing by what each call converted.
void draw(Block p, uint32_t n, const void* y, const double* x, int32_t* xp, int32_t* yp, uint32_t* processed)
{
    p.count = n, p.index = 0, p.yData = y, p.xData = x, p.xPixels = xp, p.yPixels = yp, p.processed = processed;
    for (uint32_t k; p.count > 0; p.count -= k, p.index += k, p.xPixels += k, p.yPixels += k) {
        zrcalcGetXYValGraph2D(&p);
        k = *processed;
        p.yData = static_cast<const char*>(p.yData) + k * (p.yDataType == 5 ? 4 : 8);
    }
}

double fl(double v, bool four)
{
    return four ? _mm_cvtss_f32(zrcalc::FastLog10x4(_mm_set1_ps(float(v)))) : zrcalc::FastLog10(float(v));
}
double norm(double v, double lo, double hi, double zero) { return hi - lo == 0 ? zero : (v - lo) / (hi - lo); }

// The pixels of the point at index i, raw Y value raw, on either path.
void model(const Block& p, uint32_t i, double raw, const double* xData, int32_t* xp, int32_t* yp, bool four)
{
    const double x = p.xSource == 0   ? i
                     : p.xSource == 1 ? xData[i]
                     : p.xSource == 2 ? fused(double(i), p.xStep, p.xStart)
                                      : four ? 0 : p.xMin;
    const double xLog = x > (four ? p.xMin : 0) ? fl(x, four) : p.xLogMin;
    const double xn = p.xAxisMode > 1 ? x
                      : p.xAxisMode ? norm(xLog, p.xLogMin, p.xLogMax, p.xLogMin) : norm(x, p.xMin, p.xMax, p.xMin);
    const double y = fused(raw, p.yFactor, p.yOffset), l = fl(y / p.dbReference, four);
    const double d = !(four ? y > 1e-12 : !(y <= 0)) ? -400 : four ? p.dbFactor * 20 * l : p.dbFactor * (20 * l);
    const double yLog = y > (four ? p.yMin : 0) ? fl(y, four) : p.yLogMin;
    const double yn = p.yAxisMode > 1 ? norm(d, p.yMin, p.yMax, four ? p.yMin : 0)
                      : p.yAxisMode   ? norm(yLog, p.yLogMin, p.yLogMax, p.yLogMin)
                                      : norm(y, p.yMin, p.yMax, four ? 0 : p.yMin);
    const auto r = [four](double n, double s) {
        n = std::isnan(n) ? (four ? 1e6 : -1e6) : std::clamp(n, -1e6, 1e6);
        return int64_t(four ? std::nearbyint(n * s) : std::trunc(fused(n, s, 0.5)));
    };
    *xp = int32_t(std::clamp<int64_t>(p.rectLeft + r(xn, p.rectRight - p.rectLeft), -32768, 32767));
    *yp = int32_t(std::clamp<int64_t>(p.rectBottom - r(yn, p.rectBottom - p.rectTop), -32768, 32767));
}

// Values over six decades; planted: those that give Y = 0, about 1e-13 and 1e-12,
// the X bound, zeros, a float denormal, NaN, infinities, beyond the float range.
template <class T>
std::vector<T> samples(std::size_t n, uint64_t seed)
{
    const double planted[] = {-0.5, -0.5 + 3.3e-13, -0.5 + 3.3e-12, 0.25, 0, -0.0, 1e-40, NAN, INFINITY, -1e300};
    std::mt19937_64 rng(seed);
    std::vector<T> v(n);
    for (auto& x : v)
        x = T(rng() % 3 ? std::ldexp(double(rng() >> 11) * 0x1p-53 - 0.5, int(rng() % 20) - 10) * 1000
                        : planted[rng() % std::size(planted)]);
    return v;
}

// Arrays: Y data, X data (read for X source 1 only; otherwise empty at one
// alignment, so that a read of it faults), X pixels, Y pixels, the last count.
zrtest::Case series(const Block& p, const std::string& label)
{
    const bool floats = p.yDataType == 5, xArray = p.xSource == 1;
    zrtest::Array x = zrtest::in<double>(zrtest::fill_with<double>(samples<double>), [=](uint32_t n) {
        return xArray ? n : 0;
    });
    x.alignStep = xArray ? 0 : 32;
    return {"zrcalcGetXYValGraph2D", label,
            {floats ? zrtest::in<float>(zrtest::fill_with<float>(samples<float>))
                    : zrtest::in<double>(zrtest::fill_with<double>(samples<double>)),
             x, zrtest::out<int32_t>(), zrtest::out<int32_t>(), zrtest::cell<uint32_t>(zrtest::Dir::Out)},
            13,
            [p](zrtest::Arrays a, uint32_t n) {
                draw(p, n, a.p[0], a.at<double>(1), a.at<int32_t>(2), a.at<int32_t>(3), a.at<uint32_t>(4));
            },
            [p, floats](zrtest::Arrays a, uint32_t n) {
                for (uint32_t i = 0; i < n; ++i)
                    model(p, i, floats ? a.at<float>(0)[i] : a.at<double>(0)[i], a.at<double>(1),
                          a.at<int32_t>(2) + i, a.at<int32_t>(3) + i, i < n / 4 * 4);
                if (n) *a.at<uint32_t>(4) = n % 4 ? 1 : 4;
            },
            {}, {}, 4};
}

// Every pair of axis modes (other modes as 9 and 2), the X sources 0 .. 3 and the
// Y types in turn; zero ranges on the three pairs of like modes.
ZRTEST_SWEEP(xy_values)
{
    std::vector<zrtest::Case> cases;
    const uint8_t xModes[] = {0, 1, 9}, yModes[] = {0, 1, 2};
    for (uint8_t m = 0; m < 9; ++m) {
        const Block p = plot(m % 4, m % 2 ? 5 : 6, xModes[m / 3], yModes[m % 3], false);
        cases.push_back(series(p, "modes " + std::to_string(m / 3) + std::to_string(m % 3) + " source " +
                                      std::to_string(m % 4) + " type " + std::to_string(p.yDataType)));
        if (m % 4 == 0) cases.push_back(series(plot(1, 6, xModes[m / 3], yModes[m % 3], true), "zero range " +
                                                                                              std::to_string(m)));
    }
    return cases;
}

using Pixels = std::vector<std::pair<int32_t, int32_t>>;

// The first point's X and Y pixels on the one-point path, then the four-point
// path, every Y value y.
Pixels paths(Block p, double y)
{
    Pixels out;
    const double ys[4] = {y, y, y, y};
    for (uint32_t count : {1u, 4u}) {
        int32_t xp[4], yp[4];
        uint32_t processed;
        p.count = count, p.yData = ys, p.xPixels = xp, p.yPixels = yp, p.processed = &processed;
        zrcalcGetXYValGraph2D(&p);
        out.push_back({xp[0], yp[0]});
    }
    return out;
}

// Pixel = left + 1280 xn, bottom - 720 yn. Zero ranges: X linear xMin (0.25),
// logarithmic xLogMin (0.5); Y linear yMin (0.125) or 0, logarithmic yLogMin
// (0.375), decibel 0 or yMin.
TEST(XYValGraph2D, StatedValues)
{
    EXPECT_EQ(paths(plot(0, 6, 0, 0, true), 1), (Pixels{{270, 650}, {270, 740}}));
    EXPECT_EQ(paths(plot(0, 6, 1, 1, true), 1), (Pixels{{590, 470}, {590, 470}}));
    EXPECT_EQ(paths(plot(0, 6, 1, 2, true), 1), (Pixels{{590, 740}, {590, 650}}));
    Block p = plot(2, 6, 9, 1);  // Y 0.5 under yMin 1: log10(0.5) * 720 on one point, the bottom edge on four
    p.xStep = 0, p.xStart = 0.5, p.yFactor = 1, p.yOffset = 0, p.yMin = 1, p.yLogMin = 0, p.yLogMax = 1;
    EXPECT_EQ(paths(p, 0.5), (Pixels{{590, 956}, {590, 740}}));
    p.yAxisMode = 2, p.yMin = -400, p.yMax = 320, p.dbReference = 1, p.dbFactor = 0.5;  // -400 dB at the bottom, -130 dB above it
    EXPECT_EQ(paths(p, 0), (Pixels{{590, 740}, {590, 740}}));
    EXPECT_EQ(paths(p, 1e-13), (Pixels{{590, 470}, {590, 740}}));
    p.rectLeft = 0, p.rectRight = 11;  // xn 0.5: 5.5 and 2.5 rounded
    EXPECT_EQ(paths(p, 0), (Pixels{{6, 740}, {6, 740}}));
    p.rectRight = 5;
    EXPECT_EQ(paths(p, 0), (Pixels{{3, 740}, {2, 740}}));
    p.rectRight = 4000, p.xStart = 1e9;  // far out to either side
    EXPECT_EQ(paths(p, 0), (Pixels{{32767, 740}, {32767, 740}}));
    p.xStart = -1e9;
    EXPECT_EQ(paths(p, 0), (Pixels{{-32768, 740}, {-32768, 740}}));
    p.xSource = 3, p.xMin = 0.25;  // an unknown source: xMin, or 0
    EXPECT_EQ(paths(p, 0), (Pixels{{1000, 740}, {0, 740}}));

    Block q = plot(2, 6, 0, 0);  // 5 * 0.1 - 0.5 is 2.8e-17 fused, 0 otherwise; the axes 1e-15 wide
    q.index = 5, q.xStep = 0.1, q.xStart = -0.5, q.xMin = 0, q.xMax = 1e-15;
    q.yFactor = 0.1, q.yOffset = -0.5, q.yMin = 0, q.yMax = 1e-15;
    EXPECT_EQ(paths(q, 5), (Pixels{{-14, 720}, {-14, 720}}));

    // Type 5 reads floats, 6 doubles; count 3 converts one point, 4 and 1000 four,
    // 0 none: it reads nothing and writes only the count.
    const float f[4] = {0.25f, 0.5f, 0.75f, 1};
    const double d[4] = {0.25, 0.5, 0.75, 1};
    p = plot(0, 6, 0, 0);
    p.yFactor = 1, p.yOffset = 0, p.yMin = 0, p.yMax = 1;
    for (uint32_t count : {0u, 3u, 4u, 1000u}) {
        for (const void* data : {static_cast<const void*>(f), static_cast<const void*>(d)}) {
            std::vector<int32_t> xp(4, -1), yp(4, -1), expected = {560, 380, 200, 20};
            uint32_t processed = 7, k = count == 0 ? 0 : count < 4 ? 1 : 4;
            p.count = count, p.yDataType = data == f ? 5 : 6, p.yData = count ? data : nullptr;
            p.xPixels = xp.data(), p.yPixels = yp.data(), p.processed = &processed;
            zrcalcGetXYValGraph2D(&p);
            std::fill(expected.begin() + k, expected.end(), -1);
            EXPECT_EQ(processed, k);
            EXPECT_EQ(yp, expected) << count;
        }
    }
}

// On axes 1e-12 wide a last bit moves a pixel: the logarithm of each path (of 0:
// -38.2308083 on one point, -38.2308121 on four) on both axes, and the order of
// the decibel products, on the bottom left corner.
TEST(XYValGraph2D, LastBits)
{
    for (bool four : {false, true}) {
        const double l = four ? -38.2308121f : -38.2308083f, d = four ? (0.49 * 20) * l : 0.49 * (20 * l);
        ASSERT_NE(d, four ? 0.49 * (20 * l) : (0.49 * 20) * l);
        Block p = plot(2, 6, 1, 2);  // x = 1e-300, y / dbReference = 1e-300: both 0 in float
        p.xStep = 0, p.xStart = 1e-300, p.xMin = 0, p.xLogMin = l, p.xLogMax = l + 1e-12;
        p.yFactor = 1, p.yOffset = 0, p.dbReference = 1e300, p.yMin = d, p.yMax = d + 1e-12;
        EXPECT_EQ(paths(p, 1)[four], std::make_pair(-50, 740));
        p.yAxisMode = 1, p.yMin = 0, p.yLogMin = l, p.yLogMax = l + 1e-12;
        EXPECT_EQ(paths(p, 1e-300)[four], std::make_pair(-50, 740));
    }
}

}  // namespace
