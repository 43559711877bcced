// zrCalcCACopyRawDataToChannels against a model of its lanes, float positions and
// tail through the sweep driver, then its stated values.

#include "support/sweep.h"

namespace {

constexpr float kStart = std::numeric_limits<float>::min();

// The rule: below eight, positions in order. Otherwise lane l starts at position l
// and takes a later value of k mod 8 = l when strictly greater, at the float
// position base + l (base = (float)start, plus 8 per block in float); the lanes
// merge in order 0..7, then the tail counts from the float base after B blocks.
void model(const float* source, float* out, uint32_t start, uint32_t end, float offset, float* peak, int32_t* at)
{
    const uint32_t n = end - start, B = n / 8;
    float base = float(double(start)), value[8], position[8];
    *peak = kStart, *at = -1;
    for (uint32_t k = 0; k < n; ++k) out[k] = source[start + k] - offset;
    for (uint32_t b = 0; b < B; ++b, base += 8)
        for (uint32_t l = 0; l < 8; ++l)
            if (b == 0 || out[8 * b + l] > value[l]) value[l] = out[8 * b + l], position[l] = base + float(l);
    for (uint32_t l = 0; l < 8 && B; ++l)
        if (value[l] > *peak) *peak = value[l], *at = position[l] < 0x1p31f ? int32_t(position[l]) : INT32_MIN;
    for (uint32_t k = 8 * B; k < n; ++k)
        if (out[k] > *peak) *peak = out[k], *at = int32_t((B ? uint32_t(int64_t(base)) : start) + k - 8 * B);
}

// Whole numbers in -15 .. 15, so that lanes and the tail tie often, and in every
// third set two NaNs, one among the first eight (taking a lane).
std::vector<float> levels(std::size_t n, uint64_t seed)
{
    const auto r = zrtest::random_samples<int32_t>(n + 2, seed);
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = float(r[i] % 16);
    if (n && seed % 3 == 0) v[uint32_t(r[n]) % n] = v[uint32_t(r[n + 1]) % std::min<std::size_t>(n, 8)] = NAN;
    return v;
}

// The source pointer handed over is the window's address minus the start (never
// dereferenced there), so windows far out in a raw buffer cost no memory: 2^24 - 20
// crosses the exact range of the float positions; 2^27 + 4 is not a float, and
// there adding 8 to the base is a tie that rounds back to it.
ZRTEST_SWEEP(raw_data_to_channels)
{
    std::vector<zrtest::Case> cases;
    for (uint32_t start : {0u, 1000u, 16777196u, 134217732u}) {
        const auto body = [start](auto f) -> zrtest::Body {
            return [=](zrtest::Arrays a, uint32_t n) {
                f(a.at<float>(0) - start, a.at<float>(1), start, start + n, 2.5f, a.at<float>(2), a.at<int32_t>(3));
            };
        };
        cases.push_back({"zrCalcCACopyRawDataToChannels", "start " + std::to_string(start),
                         {zrtest::in<float>(zrtest::fill_with<float>(levels)), zrtest::out<float>(),
                          zrtest::cell<float>(zrtest::Dir::Out), zrtest::cell<int32_t>(zrtest::Dir::Out)},
                         40, body(zrCalcCACopyRawDataToChannels), body(model), {}, {131}, 6});
    }
    return cases;
}

TEST(CopyRawDataToChannels, StatedValues)
{
    // (start, end, the positions that are not -1, peak, index), offset 0
    const std::tuple<uint32_t, uint32_t, std::vector<std::pair<int, float>>, float, int32_t> stated[] = {
        {0, 12, {{3, 0.0f}, {5, -0.0f}, {9, 1e-40f}}, kStart, -1},  // nothing above the start value
        {7, 31, {{9, 5}, {16, 5}}, 5, 23},                          // lane 0 merges before lane 1
        {7, 12, {{1, 5}, {3, 5}}, 5, 8},                            // in order: the earliest
        {0, 12, {{2, 5}, {10, 5}}, 5, 2},                           // the tail never takes a tie
        {0, 24, {{1, NAN}, {9, 5}, {17, 7}, {4, 3}}, 3, 4},         // a NaN takes lane 1 out
        {0, 12, {{9, NAN}, {10, 2}}, 2, 10},                        // in the tail it is passed over
        {0, 5, {{0, NAN}, {2, 2}}, 2, 2},                           // and below eight
        {1000, 1020, {{2, 9}}, 9, 1002},                            // the index is absolute
        {5, 4, {}, kStart, -1},                                     // a reversed window is empty
    };
    for (const auto& [start, end, set, peak, at] : stated) {
        const uint32_t n = end > start ? end - start : 0;
        std::vector<float> x(n + 1, -1.0f), out(n + 1, 3.0f);  // one more, past the window
        for (auto [k, v] : set) x[k] = v;
        float p;
        int32_t i;
        zrCalcCACopyRawDataToChannels(x.data() - start, out.data(), start, end, 0.0f, &p, &i);
        EXPECT_TRUE(zrtest::BitsEqual(peak, p) && at == i) << start << ", " << end;
        EXPECT_TRUE(zrtest::BitsEqual(x.data(), out.data(), n) && out[n] == 3.0f) << "offset 0 copies the window";
    }
}

}  // namespace
