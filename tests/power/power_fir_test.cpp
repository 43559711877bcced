// zrcalcPowerCalcFIR_float against a model of its two orders through the sweep
// driver, the count standing for the position: every position of rings above, at
// and below the window's length, and past the ring's end (the last two, and an
// empty ring, outside the contract); then the stated windows.

#include "common/lanes.h"
#include "support/sweep.h"

#include <numeric>

namespace {

// Tap t reads ring[(position - 16 + t) mod L]; the lanes when the 16 fit before the end.
float model(const float* ring, uint32_t L, uint32_t position, const float* c)
{
    if (L == 0) return 0.0f;
    const uint32_t s = uint32_t(((int64_t(position) - 16) % L + L) % L);
    const auto x = [&](uint32_t t) { return ring[(s + t) % L]; };
    float y = 0.0f, l[8];
    for (uint32_t t = 0; t < 16 && L - s < 16; ++t) y = zrcalc::fused_multiply_add(c[t], x(t), y);
    if (L - s < 16) return y;
    for (uint32_t j = 0; j < 8; ++j) l[j] = zrcalc::fused_multiply_add(x(8 + j), c[8 + j], x(j) * c[j]);
    return ((l[4] + l[5]) + (l[6] + l[7])) + ((l[0] + l[1]) + (l[2] + l[3]));
}

// The ring, three coefficient sets (the set is the position mod 3) and the result.
zrtest::Case fir(uint32_t L, uint32_t maxPosition)
{
    return {"zrcalcPowerCalcFIR_float", "ring " + std::to_string(L),
            {zrtest::in<float>(zrtest::random_fill<float>(), [=](uint32_t) { return L; }),
             zrtest::in<float>(zrtest::random_fill<float>(1.0), [](uint32_t) { return 48; }),
             zrtest::cell<float>(zrtest::Dir::Out)},
            maxPosition,
            [=](zrtest::Arrays a, uint32_t n) {
                const PowerFirParams p{a.at<float>(0), a.at<float>(1), n, n % 3, L};
                *a.at<float>(2) = zrcalcPowerCalcFIR_float(&p);
            },
            [=](zrtest::Arrays a, uint32_t n) {
                *a.at<float>(2) = model(a.at<float>(0), L, n, a.at<float>(1) + 16 * (n % 3));
            }};
}

ZRTEST_SWEEP(power_fir)
{
    return {fir(16, 40), fir(17, 40), fir(40, 80), fir(15, 40), fir(7, 20), fir(1, 20), fir(0, 20)};
}

// Weights 1/16: the means of ring[0 .. 15], ring[4 .. 19], and ring[9 .. 19] with ring[0 .. 4].
TEST(PowerCalcFIR, StatedWindows)
{
    std::vector<float> ring(20), sixteenths(16, 1.0f / 16);
    std::iota(ring.begin(), ring.end(), 0.0f);
    for (const auto& [position, mean] : {std::pair{16u, 7.5f}, {0u, 11.5f}, {5u, 10.25f}}) {
        const PowerFirParams p{ring.data(), sixteenths.data(), position, 0, 20};
        EXPECT_TRUE(zrtest::BitsEqual(mean, zrcalcPowerCalcFIR_float(&p))) << position;
    }
}

}  // namespace
