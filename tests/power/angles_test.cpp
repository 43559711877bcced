// zrcalcPowerAngles against a model of its steps through the sweep driver, for
// several line spacings and references (spacings that refuse read nothing: their
// spectrum is empty), then the wrap and step values stated for it.

#include "common/lanes.h"
#include "support/sweep.h"

namespace {

using zrcalc::fused_multiply_add;

// The steps as stated, with the 360 added in double and rounded back to float.
float phase(const float* s, int32_t m)
{
    const float p = float(std::atan2(double(s[2 * m]), double(s[2 * m + 1])) * 57.29577951308232);
    return p < 0 ? float(p + 360.0) : p;
}
float turns_removed(float r)
{
    double whole;
    return float(360.0 * std::modf(double(r * 0.00277777785f), &whole));
}
void model(const float* s, float* out, int32_t n, float ref, float lpo)
{
    if (!(lpo >= 0) || !(float(n) * lpo < 0x1p31f)) return;
    for (int32_t k = 1; k <= n; ++k) {
        const float K = float(k);
        const int32_t m = int32_t(K * lpo);
        const float f = fused_multiply_add(K, lpo, -float(m)), p1 = phase(s, m), p2 = phase(s, m + 1);
        const float d = p2 > p1 ? p2 - p1 : float((p2 - p1) + 360.0);
        float r = -fused_multiply_add(f, d, fused_multiply_add(-K, ref, p1));
        r = r < -360 ? turns_removed(r) : r;
        r = r < -180 ? float(r + 360.0) : r;
        r = r > 360 ? turns_removed(r) : r;
        out[k] = r > 180 ? float(r - 360.0) : r;
    }
}

// Random lines, now and then a copy of the line before (equal phases) or 0 + 0j.
std::vector<float> spectrum(std::size_t n, uint64_t seed)
{
    auto x = zrtest::random_samples<float>(n, seed);
    std::mt19937_64 rng(seed);
    for (std::size_t i = 2; i < n; i += 2)
        if (const auto pick = rng() % 6; pick < 2) x[i] = pick ? x[i - 2] : 0, x[i + 1] = pick ? x[i - 1] : 0;
    return x;
}

zrtest::Case angles(float lpo, float ref, bool refused = false)
{
    const zrtest::Length lines = [=](uint32_t n) { return n && !refused ? 2 * (std::size_t(float(n) * lpo) + 2) : 0; };
    return {"zrcalcPowerAngles", "spacing " + std::to_string(lpo) + ", reference " + std::to_string(ref),
            {zrtest::in<float>(zrtest::fill_with<float>(spectrum), lines),
             zrtest::out<float>([](uint32_t n) { return n + 1; })},
            24,
            [=](zrtest::Arrays a, uint32_t n) { zrcalcPowerAngles(a.at<float>(0), a.at<float>(1), n, ref, lpo); },
            [=](zrtest::Arrays a, uint32_t n) { model(a.at<float>(0), a.at<float>(1), n, ref, lpo); }};
}

ZRTEST_SWEEP(power_angles)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    // 0.7f * 10 rounds up to line 7 (the spectrum holds line 8).
    return {angles(1.0f, 37.5f),      angles(0.7f, -211.3f),    angles(0.37f, 129.9f),
            angles(2.5f, 1000.1f),    angles(0.0f, -5.0f),      angles(-0.5f, 1, true),
            angles(nan, 1, true),     angles(inf, 1, true),     angles(3e9f, 1, true)};
}

TEST(PowerAngles, StatedValues)
{
    // Every line at phase 0: with one line per order r = k * reference, wrapped.
    // 1/360 rounded to float leaves +-400 a little off +-40.
    const std::vector<float> zero(16, 0.0f), phase0 = {0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1};
    const std::pair<float, float> wraps[] = {{-400, -0x1.40000ap+5f}, {-200, 160}, {400, 0x1.40000ap+5f},
                                             {200, -160}, {180, 180}, {-180, -180}};
    for (const auto& [r, wrapped] : wraps) {
        float out[2] = {7, 7};
        zrcalcPowerAngles(phase0.data(), out, 1, r, 1.0f);
        EXPECT_TRUE(zrtest::BitsEqual(wrapped, out[1]) && out[0] == 7) << r;
    }
    // Equal phases (0 + 0j has phase 0) step a whole turn: f * 360 for f = 1/4, 1/2, 3/4, 0.
    float out[5] = {7, 7, 7, 7, 7};
    zrcalcPowerAngles(zero.data(), out, 4, 0.0f, 1.25f);
    EXPECT_TRUE(zrtest::BitsEqual(std::vector<float>{7, -90, -180, 90, -0.0f}.data(), out, 5));
    zrcalcPowerAngles(zero.data(), out, -3, 0.0f, 1.0f);  // a negative count writes nothing
    EXPECT_EQ(out[1], -90);
}

}  // namespace
