// The ring FIR against a model of its grouping through the sweep driver, at
// positions from 0 to the length and (outside the contract) beyond; then the
// values stated for it.
#include "support/sweep.h"

namespace {

// The stated grouping written out one lane at a time: blocks of eight in groups
// of four accumulators per run, the blocks left over and the remaining pairs,
// the head of run 2 up to the coefficients' 32-byte boundary, the lane tree.
double model(const float* x, const float* c, int32_t length, int32_t position)
{
    if (length <= 0) return 0.0;
    if (position < 0 || position > length) position = (position % length + length) % length;
    const std::size_t n = std::size_t(length), p = std::size_t(position), m = n - p;
    float v[8] = {}, s = 0.0f;
    const auto block = [](float* acc, const float* xs, const float* cs) {
        for (int l = 0; l < 8; ++l) acc[l] = zrtest::fused(xs[l], cs[l], acc[l]);
    };
    // One run of `count` pairs from its first whole block on: returns the pairs after the blocks.
    const auto run = [&](const float* xs, const float* cs, std::size_t count) {
        float a[4][8] = {};
        std::size_t i = 0;
        for (; count - i >= 32; i += 32)
            for (int j = 0; j < 4; ++j) block(a[j], xs + i + 8 * j, cs + i + 8 * j);
        for (int l = 0; l < 8; ++l) v[l] = ((a[3][l] + a[2][l]) + (a[1][l] + a[0][l])) + v[l];
        for (; count - i >= 8; i += 8) block(v, xs + i, cs + i);
        return i;
    };
    const auto pairs = [&](const float* xs, const float* cs, std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) s = zrtest::fused(xs[i], cs[i], s);
    };
    pairs(x + p, c, run(x + p, c, m), m);
    const float* c2 = c + m;
    const std::size_t h = p < 8 ? p : (32 - reinterpret_cast<std::uintptr_t>(c2) % 32) % 32 / 4;
    pairs(x, c2, 0, h);
    if (p >= 8) pairs(x + h, c2 + h, run(x + h, c2 + h, p - h), p - h);
    return double(((v[4] + v[5]) + (v[6] + v[7])) + ((v[0] + v[1]) + (v[2] + v[3]))) + double(s);
}

// Arrays: the ring, the coefficients, the result; the count is the length.
// Lengths to 80 run two groups of four blocks and a tail in either run.
ZRTEST_SWEEP(fir)
{
    std::vector<zrtest::Case> cases;
    const std::pair<const char*, int32_t (*)(int32_t)> positions[] = {
        {"position 0", [](int32_t) { return 0; }},           {"position 1", [](int32_t) { return 1; }},
        {"position n div 3", [](int32_t n) { return n / 3; }},   {"position n minus 9", [](int32_t n) { return n - 9; }},
        {"position n minus 1", [](int32_t n) { return n - 1; }},   {"position n", [](int32_t n) { return n; }},
        {"position minus 5", [](int32_t) { return -5; }},         {"position n plus 3", [](int32_t n) { return n + 3; }},
    };
    for (const auto& [label, position] : positions)
        cases.push_back({"zrcalcFIRFilter_float", label,
                         {zrtest::in<float>(), zrtest::in<float>(), zrtest::cell<double>(zrtest::Dir::Out)}, 80,
                         [position = position](zrtest::Arrays a, uint32_t n) {
                             *a.at<double>(2) =
                                 zrcalcFIRFilter_float(a.at<float>(0), a.at<float>(1), int32_t(n), position(int32_t(n)));
                         },
                         [position = position](zrtest::Arrays a, uint32_t n) {
                             *a.at<double>(2) = model(a.at<float>(0), a.at<float>(1), int32_t(n), position(int32_t(n)));
                         }});
    return cases;
}

// A unit impulse at slot q gives the coefficient that meets it, exactly, at every
// length and position; one tap is one product; no taps give 0.0.
TEST(FirFilter, StatedValues)
{
    for (int32_t length : {1, 7, 37, 100}) {
        const std::vector<float> c = zrtest::random_samples<float>(std::size_t(length), 5);
        for (int32_t position : {0, 1, length / 2, length - 1, length})
            for (int32_t q : {0, length / 3, length - 1}) {
                std::vector<float> ring(std::size_t(length), 0.0f);
                ring[std::size_t(q)] = 1.0f;
                EXPECT_EQ(zrcalcFIRFilter_float(ring.data(), c.data(), length, position),
                          double(c[std::size_t((q - position + length) % length)]))
                    << length << " " << position << " " << q;
            }
    }
    const float x = 3.0f, k = 0.1f;
    EXPECT_EQ(zrcalcFIRFilter_float(&x, &k, 1, 0), double(std::fma(x, k, 0.0f)));
    EXPECT_EQ(zrcalcFIRFilter_float(&x, &k, 0, 0), 0.0);
    EXPECT_EQ(zrcalcFIRFilter_float(&x, &k, -4, 0), 0.0);
}

}  // namespace
