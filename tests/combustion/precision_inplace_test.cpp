// The in-place conversions through the sweep driver: one in-out buffer of
// 8 * count bytes at every 4-byte alignment, against element loops in the stated
// order, so every byte the conversions must leave is compared too.
#include "support/sweep.h"

namespace {

// Narrowing: doubles from 2^-170 to 2^150 (underflow to zero and to denormals,
// overflow to infinity, exact ties), with NaN and infinities planted. Widening:
// random bits, so floats of every kind below byte 4 * count and other bytes above.
std::vector<double> doubles(std::size_t n, uint64_t seed)
{
    auto v = zrtest::random_samples<double>(n, seed, 1.0);
    std::mt19937_64 rng(seed);
    const double planted[] = {1e39, -1e39, 1e-50, NAN, -INFINITY, 1.0 + 0x1p-24, 1.0 + 0x1p-23 + 0x1p-24};
    for (auto& x : v) x = rng() % 4 ? std::ldexp(x, int(rng() % 320) - 170) : planted[rng() % std::size(planted)];
    return v;
}

std::vector<uint64_t> bits(std::size_t n, uint64_t seed) { return zrtest::random_samples<uint64_t>(n, seed); }

zrtest::Case conversion(const char* entry, void* (*call)(void*, uint32_t), zrtest::Fill fill, bool narrowing)
{
    return {entry, "", {{zrtest::elem_of<double>(), zrtest::Dir::InOut, {}, std::move(fill), 4}}, 40,
            [call](zrtest::Arrays a, uint32_t n) { ASSERT_EQ(a.p[0], call(a.p[0], n)); },
            [narrowing](zrtest::Arrays a, uint32_t n) {
                auto* b = a.at<unsigned char>(0);
                for (uint32_t k = 0; k < n; ++k) {
                    const uint32_t i = narrowing ? k : n - 1 - k;
                    double d;
                    float f;
                    if (narrowing) std::memcpy(&d, b + 8 * i, 8), f = float(d), std::memcpy(b + 4 * i, &f, 4);
                    else std::memcpy(&f, b + 4 * i, 4), d = f, std::memcpy(b + 8 * i, &d, 8);
                }
            }};
}

ZRTEST_SWEEP(precision_inplace)
{
    return {conversion("zrcalcCADoubleArrToSingleArrInplace",
                       [](void* b, uint32_t n) { return zrcalcCADoubleArrToSingleArrInplace(b, n); },
                       zrtest::fill_with<double>(doubles), true),
            conversion("zrcalcCASingleArrToDoubleArrInplace",
                       [](void* b, uint32_t n) { return zrcalcCASingleArrToDoubleArrInplace(b, n); },
                       zrtest::fill_with<uint64_t>(bits), false)};
}

// Five doubles there and back: the five rounded to float, as doubles.
TEST(PrecisionInplace, RoundTrip)
{
    double b[5] = {1e39, 1e-50, -0.1, 3.0, -1e39};
    zrcalcCADoubleArrToSingleArrInplace(b, 5);
    zrcalcCASingleArrToDoubleArrInplace(b, 5);
    EXPECT_EQ(std::vector<double>(b, b + 5), (std::vector<double>{INFINITY, 0.0, double(-0.1f), 3.0, -INFINITY}));
    EXPECT_FALSE(std::signbit(b[1]));
}

}  // namespace
