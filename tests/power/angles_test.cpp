// zrcalcPowerAngles against a model of its steps through the sweep driver at
// several line spacings and references (a refused spacing has an empty spectrum,
// so any read faults), then the stated wraps and whole-turn steps.

#include "common/lanes.h"
#include "support/sweep.h"

namespace {

using zrcalc::fused_multiply_add;

// The stated steps, the 360s added in double and rounded back to float.
float phase(const float* s, int32_t m)
{
    const float p = float(std::atan2(double(s[2 * m]), double(s[2 * m + 1])) * 57.29577951308232);
    return p < 0 ? float(p + 360.0) : p;
}
float turns_off(float r)
{
    double whole;
    return float(360.0 * std::modf(double(r * 0.00277777785f), &whole));
}

// Every other value set holds only -1, 0 and 1: equal phases and 0 + 0j are frequent.
zrtest::Case angles(float lpo, float ref, bool refused = false)
{
    const zrtest::Length lines = [=](uint32_t n) { return n && !refused ? 2 * (std::size_t(float(n) * lpo) + 2) : 0; };
    const auto spectrum = [](std::size_t n, uint64_t seed) {
        auto x = zrtest::random_samples<float>(n, seed, 2.0);
        for (auto& v : x) v = seed % 2 ? std::trunc(v) : v;
        return x;
    };
    return {"zrcalcPowerAngles", std::to_string(lpo) + " lines per order, reference " + std::to_string(ref),
            {zrtest::in<float>(zrtest::fill_with<float>(spectrum), lines),
             zrtest::out<float>([](uint32_t n) { return n + 1; })},
            24,
            [=](zrtest::Arrays a, uint32_t n) { zrcalcPowerAngles(a.at<float>(0), a.at<float>(1), n, ref, lpo); },
            [=](zrtest::Arrays a, uint32_t n) {
                for (int32_t k = 1, m; k <= int32_t(n) && !refused; ++k) {
                    const float f = fused_multiply_add(float(k), lpo, -float(m = int32_t(float(k) * lpo)));
                    const float p1 = phase(a.at<float>(0), m), p2 = phase(a.at<float>(0), m + 1);
                    const float d = p2 > p1 ? p2 - p1 : float((p2 - p1) + 360.0);
                    float r = -fused_multiply_add(f, d, fused_multiply_add(-float(k), ref, p1));
                    r = r < -360 ? turns_off(r) : r;
                    r = r < -180 ? float(r + 360.0) : r;
                    r = r > 360 ? turns_off(r) : r;
                    a.at<float>(1)[k] = r > 180 ? float(r - 360.0) : r;
                }
            },
            {}, {}, 2};
}

ZRTEST_SWEEP(power_angles)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    return {angles(1.0f, 37.5f), angles(0.7f, -211.3f), angles(0.37f, 129.9f), angles(2.5f, 1000.1f),
            angles(0.0f, -5.0f), angles(-0.5f, 1, true), angles(nan, 1, true), angles(inf, 1, true),
            angles(3e9f, 1, true)};  // 0.7f * 10 rounds up to line 7
}

// Lines at phase 0, one line per order: r = k * reference, wrapped (1/360 rounded
// to float leaves +-400 a little off +-40). Then 0 + 0j lines, whose equal phases
// step a whole turn: f * 360 for f = 1/4, 1/2, 3/4, 0; a negative count writes nothing.
TEST(PowerAngles, StatedValues)
{
    const float phase0[8] = {0, 1, 0, 1, 0, 1, 0, 1}, zero[14] = {}, x = 0x1.40000ap+5f;
    const float wraps[][3] = {{200, -160, x}, {-200, 160, -x}, {180, 180, 0}, {-180, -180, 0}};
    for (const auto& w : wraps) {
        float out[3] = {7, 7, 7};
        zrcalcPowerAngles(phase0, out, 2, w[0], 1.0f);
        EXPECT_TRUE(zrtest::BitsEqual(std::vector<float>{7, w[1], w[2]}.data(), out, 3)) << w[0];
    }
    float out[5] = {7, 7, 7, 7, 7};
    zrcalcPowerAngles(zero, out, 4, 0.0f, 1.25f);
    zrcalcPowerAngles(zero, out, -1, 0.0f, 1.0f);
    EXPECT_TRUE(zrtest::BitsEqual(std::vector<float>{7, -90, -180, 90, -0.0f}.data(), out, 5));
}

}  // namespace
