// The spline resampler: one block against a model of the stated steps over the
// true samples through the sweep driver; streams split into random blocks; the
// status codes, the states and the stated values.
#include "support/sweep.h"

namespace {

constexpr uint32_t kHistory = 64, kSweepHistory = 8192;  // the sweep's blocks reach 4099 samples
const float kM[4][4] = {{0, -1, 2, -1}, {2, 0, -5, 3}, {0, 1, 4, -3}, {0, 0, -1, 1}};

// The values of one call that brings the input count to `inputs`, after the k
// values before it, from the true samples x (a sample not yet received is read
// as its ring slot holds it: the sample `history` before, or 0.0).
std::vector<float> model_call(const std::vector<float>& x, uint64_t inputs, uint64_t& k, double ratio,
                              uint64_t history = kHistory)
{
    std::vector<float> out;
    if (inputs < 2) return out;
    const auto last = uint64_t(double(inputs - 2) * ratio);
    const double base = double(k) / ratio;
    const auto at = [&](uint64_t i) { return i < inputs ? x[i] : i >= history ? x[i - history] : 0.0f; };
    for (uint64_t j = 0; k + j <= last; ++j) {
        const double t = double(j) / ratio + base;
        const auto w = uint64_t(t);
        const float f = float(t - double(w)), p[4] = {at(w ? w - 1 : 0), at(w), at(w + 1), at(w + 2)};
        float c[4];
        for (int l = 0; l < 4; ++l) {
            c[l] = p[0] * kM[0][l];
            for (int m = 1; m < 4; ++m) c[l] = std::fma(p[m], kM[m][l], c[l]);
        }
        const float f2 = f * f, f3 = f2 * f;
        out.push_back(0.5f * ((c[0] * 1.0f + c[1] * f) + (c[2] * f2 + c[3] * f3)));
    }
    k = std::max(k, last + 1);
    return out;
}

struct Interpolator {
    explicit Interpolator(double ratio, uint32_t history = kHistory)
    {
        const CHSInterpolatorConfig config{1.0, ratio, history};
        EXPECT_EQ(zrcalcCHSInterpolator_Create(&handle, &config), 0);
    }
    ~Interpolator() { zrcalcCHSInterpolator_Destroy(handle); }
    // A block's status and values.
    std::pair<int32_t, std::vector<float>> block(const float* x, uint32_t n)
    {
        float* v = nullptr;
        uint32_t count = 0;
        const int32_t status = zrcalcCHSInterpolator_InterpolateValues(handle, x, n, &v, &count);
        return {status, std::vector<float>(v, v + count)};
    }
    std::pair<int32_t, std::vector<float>> stop()
    {
        float* v = nullptr;
        uint32_t count = 0;
        const int32_t status = zrcalcCHSInterpolator_Stop(handle, &v, &count);
        return {status, std::vector<float>(v, v + count)};
    }
    CHSInterpolator* handle = nullptr;
};

const double kRatios[] = {1.0, 2.0, 0.5, 3.0 / 7, 48000.0 / 44100};

// One block of every size up to historyLength - 2 on a new interpolator.
ZRTEST_SWEEP(interpolator)
{
    std::vector<zrtest::Case> cases;
    for (double ratio : kRatios) {
        const auto values = [ratio](uint32_t n) { return n < 2 ? 0 : std::size_t(double(n - 2) * ratio) + 1; };
        cases.push_back({"zrcalcCHSInterpolator_InterpolateValues", "ratio " + std::to_string(ratio),
                         {zrtest::in<float>(), zrtest::out<float>(values)}, kHistory - 2,
                         [=](zrtest::Arrays a, uint32_t n) {
                             const auto out = Interpolator(ratio, kSweepHistory).block(a.at<float>(0), n).second;
                             std::copy(out.begin(), out.end(), a.at<float>(1));
                         },
                         [=](zrtest::Arrays a, uint32_t n) {
                             uint64_t k = 0;
                             const std::vector<float> x(a.at<float>(0), a.at<float>(0) + n);
                             const auto out = model_call(x, n, k, ratio, kSweepHistory);
                             std::copy(out.begin(), out.end(), a.at<float>(1));
                         }});
    }
    for (const char* entry : {"zrcalcCHSInterpolator_Create", "zrcalcCHSInterpolator_Destroy",
                              "zrcalcCHSInterpolator_Reset", "zrcalcCHSInterpolator_Stop"})
        cases.push_back({entry, "", {}, 0, [](zrtest::Arrays, uint32_t) {}, [](zrtest::Arrays, uint32_t) {}});
    return cases;
}

// A sine in random blocks of 1 .. historyLength - 2 samples (the longest often):
// every call and the Stop give the model's values over the true samples, and
// each value lies on the Catmull-Rom curve through them (in double, to rounding).
TEST(Interpolator, StreamsInAnyBlocksFollowTheTrueSamples)
{
    std::mt19937 rng(7);
    for (double ratio : kRatios) {
        std::vector<float> x, stream;
        for (int i = 0; i < 3000; ++i) x.push_back(std::sin(0.05f * float(i)));
        Interpolator interpolator(ratio);
        uint64_t inputs = 0, k = 0;
        while (inputs < x.size()) {
            const auto n = std::min<uint64_t>(rng() % 3 ? rng() % (kHistory - 2) + 1 : kHistory - 2, x.size() - inputs);
            const auto [status, values] = interpolator.block(&x[inputs], uint32_t(n));
            inputs += n;
            ASSERT_EQ(status, 0);
            ASSERT_EQ(values, model_call(x, inputs, k, ratio)) << "ratio " << ratio << ", input count " << inputs;
            stream.insert(stream.end(), values.begin(), values.end());
        }
        x.push_back(x.back());
        EXPECT_EQ(interpolator.stop().second, model_call(x, inputs + 1, k, ratio)) << "ratio " << ratio;
        for (std::size_t v = 0; v < stream.size(); ++v) {
            const double t = double(v) / ratio, f = t - std::floor(t);
            const auto w = std::size_t(t);
            const double p0 = x[w ? w - 1 : 0], p1 = x[w], p2 = x[w + 1], p3 = x[w + 2];
            const double curve = 0.5 * (2 * p1 + (p2 - p0) * f + (2 * p0 - 5 * p1 + 4 * p2 - p3) * f * f +
                                        (-p0 + 3 * p1 - 3 * p2 + p3) * f * f * f);
            ASSERT_NEAR(stream[v], curve, 1e-5) << "ratio " << ratio << ", value " << v;
        }
    }
}

TEST(Interpolator, StatusCodesStatesAndStatedValues)
{
    CHSInterpolator* h = reinterpret_cast<CHSInterpolator*>(0x1);
    for (uint32_t history : {0u, 1u, 3u, 12u}) {
        const CHSInterpolatorConfig c{1, 1, history};
        EXPECT_EQ(zrcalcCHSInterpolator_Create(&h, &c), 4) << history;
    }
    for (CHSInterpolatorConfig c : {CHSInterpolatorConfig{0, 1, 16}, CHSInterpolatorConfig{-1, 1, 16},
                                    CHSInterpolatorConfig{1, 0, 16}, CHSInterpolatorConfig{1, 1e12, 1024},
                                    CHSInterpolatorConfig{1e300, 1e-300, 16}})  // the ratio rounds to 0
        EXPECT_EQ(zrcalcCHSInterpolator_Create(&h, &c), 1);
    EXPECT_EQ(zrcalcCHSInterpolator_Create(&h, nullptr), 1);
    EXPECT_EQ(h, reinterpret_cast<CHSInterpolator*>(0x1));  // never written on a failure
    EXPECT_EQ(zrcalcCHSInterpolator_Destroy(nullptr), 1);
    EXPECT_EQ(zrcalcCHSInterpolator_Reset(nullptr), 1);

    // Ratio 1: 10 samples give s0 .. s8, 5 more s9 .. s13, Stop s14; then 3 until Reset.
    std::vector<float> s(16);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = float(i * i) - 7.0f;
    Interpolator one(1.0, 16);
    EXPECT_EQ(one.block(s.data(), 10).second, std::vector<float>(s.begin(), s.begin() + 9));
    EXPECT_EQ(one.block(s.data() + 10, 5).second, std::vector<float>(s.begin() + 9, s.begin() + 14));
    EXPECT_EQ(one.stop().second, std::vector<float>{s[14]});
    EXPECT_EQ(one.block(s.data(), 3).first, 3);
    EXPECT_EQ(one.stop().first, 3);
    EXPECT_EQ(zrcalcCHSInterpolator_Reset(one.handle), 0);
    EXPECT_EQ(one.block(s.data() + 5, 3).second.front(), s[5]);
    EXPECT_EQ(one.block(s.data(), 14).first, 0);
    EXPECT_EQ(one.block(s.data(), 15).first, 2);

    // After a Reset the ring keeps an infinity in slot 3; the value at position 1
    // gives sample 3 weight zero and stays finite.
    const float inf = std::numeric_limits<float>::infinity(), head[4] = {0, 0, 0, inf}, next[3] = {1, 2, 3};
    Interpolator stale(1.0, 16);
    stale.block(head, 4);
    EXPECT_EQ(zrcalcCHSInterpolator_Reset(stale.handle), 0);
    EXPECT_EQ(stale.block(next, 3).second, (std::vector<float>{1, 2}));

    // Ratio 2: 17 values for 10 samples; position 0.5 uses s0 as its own predecessor.
    Interpolator two(2.0, 16);
    const auto v = two.block(s.data(), 10).second;
    const float s0 = s[0], s1 = s[1], s2 = s[2];
    EXPECT_EQ(v.size(), 17u);
    EXPECT_NEAR(v[1], 0.5 * (2 * s0 + 0.5 * (s1 - s0) + 0.25 * (2 * s0 - 5 * s0 + 4 * s1 - s2) +
                             0.125 * (-s0 + 3 * s0 - 3 * s1 + s2)), 1e-5);

    // One sample gives nothing; Stop on nothing gives nothing; a constant stays.
    Interpolator single(3.0 / 7), empty(1.0), constant(48000.0 / 44100);
    EXPECT_TRUE(single.block(s.data(), 1).second.empty());
    EXPECT_TRUE(empty.stop().second.empty());
    const std::vector<float> c(40, 2.5f);
    for (float value : constant.block(c.data(), 40).second) EXPECT_EQ(value, 2.5f);

    // History 2: no block is short enough, and Stop succeeds with no values.
    Interpolator tiny(1.0, 2);
    EXPECT_EQ(tiny.block(s.data(), 1).first, 2);
    float* buffer = nullptr;
    uint32_t count = 77;
    EXPECT_EQ(zrcalcCHSInterpolator_Stop(tiny.handle, &buffer, &count), 0);
    EXPECT_TRUE(buffer != nullptr && count == 0);
}

}  // namespace
