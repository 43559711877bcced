// The pink-noise filter against its rule, sample after sample, through the sweep
// driver; then the values stated for it.
#include "support/sweep.h"

namespace {

const double kFeedback[8] = {0.99886, 0.99332, 0.96900, 0.86650, 0.55000, -0.7616, 0.0, 0.0};
const double kWeight[8] = {0.0555179, 0.0750759, 0.1538520, 0.3104856, 0.5329522, -0.0168980, 0.115926, 0.5362};

// One sample: every term updated, then the fixed sum tree.
double model(double* state, double x)
{
    const double w = x * 0.2;
    double s[8];
    for (int i = 0; i < 8; ++i) s[i] = zrtest::fused(state[i], kFeedback[i], w * kWeight[i]);
    std::copy(s, s + 8, state);
    return ((s[0] + s[4]) + (s[2] + s[6])) + ((s[1] + s[5]) + (s[3] + s[7]));
}

// Arrays: the eight state values (a running filter), the white samples, the pink
// samples of one call each.
ZRTEST_SWEEP(pink_noise)
{
    return {{"zrcalcPinkFilter_double", "",
             {{zrtest::elem_of<double>(), zrtest::Dir::InOut, [](uint32_t) { return std::size_t(8); },
               zrtest::random_fill<double>(1.0)},
              zrtest::in<double>(), zrtest::out<double>()},
             12,
             [](zrtest::Arrays a, uint32_t n) {
                 for (uint32_t i = 0; i < n; ++i)
                     a.at<double>(2)[i] = zrcalcPinkFilter_double(a.at<double>(0), a.at<double>(1)[i]);
             },
             [](zrtest::Arrays a, uint32_t n) {
                 for (uint32_t i = 0; i < n; ++i) a.at<double>(2)[i] = model(a.at<double>(0), a.at<double>(1)[i]);
             }}};
}

// From a cleared state, 1 sets each term to 0.2 C_i and gives about 0.35262232;
// zeros then clear the two input terms at once while the others decay (the
// sixth alternating in sign); a constant input tends to about 13.81 times itself;
// a NaN poisons every later output.
TEST(PinkNoise, StatedValues)
{
    double state[8] = {};
    EXPECT_NEAR(zrcalcPinkFilter_double(state, 1.0), 0.35262232, 1e-8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(state[i], 1.0 * 0.2 * kWeight[i]) << i;
    const double s0 = state[0], s5 = state[5];
    zrcalcPinkFilter_double(state, 0.0);
    EXPECT_TRUE(state[6] == 0.0 && state[7] == 0.0 && state[5] * s5 < 0.0 && state[0] == s0 * 0.99886);
    double y = 0.0, constant[8] = {};
    for (int i = 0; i < 20000; ++i) y = zrcalcPinkFilter_double(constant, 1.0);
    EXPECT_NEAR(y, 13.81, 0.01);
    zrcalcPinkFilter_double(constant, NAN);
    EXPECT_TRUE(std::isnan(zrcalcPinkFilter_double(constant, 1.0)) && std::isnan(constant[6]));
}

}  // namespace
