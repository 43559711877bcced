// Calls at the same time from several threads. Every built entry point's sweep
// case runs on four threads at once, each on arrays of its own, and each thread
// must get the bits of the call made alone; many interpolators stream on many
// threads. In the ordinary suite this shows that concurrent calls share nothing;
// built with -fsanitize=thread (scripts/test.sh) it is the race check.
#include <atomic>
#include <thread>

#include "support/sweep.h"

namespace zrtest {
namespace {

constexpr int kThreads = 4;

// The bytes of every array after the call, on arrays filled with `v`.
Values run(const Case& c, std::uint32_t n, Values v)
{
    std::vector<OffsetArray<unsigned char>> arrays;
    std::vector<void*> at;
    for (std::size_t i = 0; i < v.size(); ++i) at.push_back(arrays.emplace_back(v[i], 8 * i).data());
    c.call(Arrays{at.data()}, n);
    for (std::size_t i = 0; i < v.size(); ++i)
        std::copy(arrays[i].data(), arrays[i].data() + v[i].size(), v[i].begin());
    return v;
}

TEST(Threads, EveryOperationOnSeveralThreadsAtOnce)
{
    for (const Case& c : registered_cases()) {
        const std::uint32_t n = std::max(c.maxCount, 40u);
        const Values values = make_values(c, n, 0), alone = run(c, n, values);
        std::vector<Values> results(kThreads);
        std::atomic<int> waiting{kThreads};  // the threads start their calls together
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (--waiting; waiting > 0;) std::this_thread::yield();
                results[t] = run(c, n, values);
            });
        for (auto& thread : threads) thread.join();
        for (int t = 0; t < kThreads; ++t)
            EXPECT_TRUE(results[t] == alone) << c.entry << " " << c.label << ", thread " << t;
    }
}

// Each thread creates its interpolator (its own ratio and ring), streams a signal
// in blocks of its own sizes, stops, resets and destroys it, many times; the
// values match one thread doing the same alone.
TEST(Threads, ManyInterpolatorsOnManyThreads)
{
    constexpr int kStreams = 16;
    const auto stream = [](int s) {
        const CHSInterpolatorConfig config{1.0, 0.3 + 0.17 * s, 64u << (s % 3)};
        CHSInterpolator* h = nullptr;
        std::vector<float> out, x(2000);
        for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.01f * float(i * (s + 1)));
        for (int round = 0; round < 3; ++round) {
            if (zrcalcCHSInterpolator_Create(&h, &config) != 0) return std::vector<float>{};
            float* v = nullptr;
            uint32_t count = 0;
            for (std::size_t i = 0, n = 1; i < x.size(); i += n, n = (n * 7 + s) % 60 + 1) {
                n = std::min(n, x.size() - i);
                zrcalcCHSInterpolator_InterpolateValues(h, &x[i], uint32_t(n), &v, &count);
                out.insert(out.end(), v, v + count);
            }
            zrcalcCHSInterpolator_Stop(h, &v, &count);
            out.insert(out.end(), v, v + count);
            zrcalcCHSInterpolator_Reset(h);
            zrcalcCHSInterpolator_Destroy(h);
        }
        return out;
    };
    std::vector<std::vector<float>> concurrent(kStreams);
    std::vector<std::thread> threads;
    for (int s = 0; s < kStreams; ++s) threads.emplace_back([&, s] { concurrent[s] = stream(s); });
    for (auto& thread : threads) thread.join();
    for (int s = 0; s < kStreams; ++s) {
        EXPECT_FALSE(concurrent[s].empty());
        EXPECT_EQ(concurrent[s], stream(s)) << "stream " << s;
    }
}

}  // namespace
}  // namespace zrtest
