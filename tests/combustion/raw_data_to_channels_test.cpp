// zrCalcCACopyRawDataToChannels against a model of its lanes, float positions and
// tail through the sweep driver, then its stated values.

#include "support/sweep.h"

namespace {

constexpr float kStart = std::numeric_limits<float>::min();

// The rule: below eight, positions in order. Otherwise lane l starts at position l
// and takes a later value of k mod 8 = l when strictly greater, at the float
// position base + l (base = (float)start, plus 8 per block in float); the lanes
// merge in order 0..7, then the tail counts from the float base after B blocks.
void model(const float* window, float* out, uint32_t n, uint32_t start, float offset, float* peak, int32_t* at)
{
    *peak = kStart, *at = -1;
    const auto take = [&](float v, int32_t k) { if (v > *peak) *peak = v, *at = k; };
    for (uint32_t k = 0; k < n; ++k) out[k] = window[k] - offset;
    const uint32_t B = n / 8;
    float base = float(double(start)), value[8], position[8];
    for (uint32_t b = 0; b < B; ++b, base += 8)
        for (uint32_t l = 0; l < 8; ++l)
            if (b == 0 || out[8 * b + l] > value[l]) value[l] = out[8 * b + l], position[l] = base + float(l);
    for (uint32_t l = 0; l < 8 && B; ++l) take(value[l], position[l] < 0x1p31f ? int32_t(position[l]) : INT32_MIN);
    const uint32_t first = B ? uint32_t(int64_t(base)) : start;
    for (uint32_t k = 8 * B; k < n; ++k) take(out[k], int32_t(first + (k - 8 * B)));
}

// Whole numbers in -15 .. 15, so that lanes and the tail tie often, and NaNs now
// and then, one of them among the first eight (taking a lane).
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
zrtest::Case copy(uint32_t start)
{
    using zrtest::Dir;
    return {"zrCalcCACopyRawDataToChannels", "start " + std::to_string(start),
            {zrtest::in<float>(zrtest::fill_with<float>(levels)), zrtest::out<float>(),
             zrtest::cell<float>(Dir::Out), zrtest::cell<int32_t>(Dir::Out)}, 40,
            [=](zrtest::Arrays a, uint32_t n) {
                zrCalcCACopyRawDataToChannels(a.at<float>(0) - start, a.at<float>(1), start, start + n, 2.5f,
                                              a.at<float>(2), a.at<int32_t>(3));
            },
            [=](zrtest::Arrays a, uint32_t n) {
                model(a.at<float>(0), a.at<float>(1), n, start, 2.5f, a.at<float>(2), a.at<int32_t>(3));
            },
            {}, {131}, 6};
}

ZRTEST_SWEEP(raw_data_to_channels) { return {copy(0), copy(1000), copy(16777196), copy(134217732)}; }

// -1 everywhere but the positions set.
std::vector<float> with(std::size_t n, std::vector<std::pair<std::size_t, float>> set)
{
    std::vector<float> v(n, -1.0f);
    for (auto [k, x] : set) v[k] = x;
    return v;
}

TEST(CopyRawDataToChannels, StatedValues)
{
    const struct {
        std::vector<float> x;
        uint32_t start;
        float peak;
        int32_t at;
    } stated[] = {
        {with(12, {{3, 0.0f}, {5, -0.0f}, {9, 1e-40f}}), 0, kStart, -1},  // nothing above the start value
        {with(24, {{9, 5}, {16, 5}}), 7, 5, 23},                           // lane 0 merges before lane 1
        {with(5, {{1, 5}, {3, 5}}), 7, 5, 8},                              // in order: the earliest
        {with(12, {{2, 5}, {10, 5}}), 0, 5, 2},                            // the tail never takes a tie
        {with(24, {{1, NAN}, {9, 5}, {17, 7}, {4, 3}}), 0, 3, 4},          // a NaN takes lane 1 out
        {with(12, {{9, NAN}, {10, 2}}), 0, 2, 10},                         // in the tail it is passed over
        {with(5, {{0, NAN}, {2, 2}}), 0, 2, 2},                            // and below eight
        {with(20, {{2, 9}}), 1000, 9, 1002},                               // the index is absolute
    };
    for (const auto& s : stated) {
        std::vector<float> out(s.x.size());
        float peak;
        int32_t at;
        zrCalcCACopyRawDataToChannels(s.x.data() - s.start, out.data(), s.start, s.start + uint32_t(s.x.size()), 0.0f,
                                      &peak, &at);
        EXPECT_TRUE(zrtest::BitsEqual(s.peak, peak)) << s.x.size();
        EXPECT_EQ(s.at, at) << s.x.size();
        EXPECT_TRUE(zrtest::BitsEqual(s.x.data(), out.data(), out.size())) << "offset 0 copies";
    }
    // A reversed window is empty: only the two outputs are written.
    float x = 7, out = 3, peak;
    int32_t at;
    zrCalcCACopyRawDataToChannels(&x, &out, 5, 4, 1.0f, &peak, &at);
    EXPECT_TRUE(out == 3 && peak == kStart && at == -1);
}

}  // namespace
