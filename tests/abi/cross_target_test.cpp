// The same bits on every target, for a few operations whose last bits depend on
// the lane order, the head split, fused steps or an int64 conversion: each runs
// once on fixed pseudo-random input, and an FNV-1a digest of everything it
// returns or writes is compared with the digest recorded from the x86-64 build.
// The 32-bit build reaches these results through its own address arithmetic,
// argument passing and conversions, and must still give these bits. (The ABI
// cases and each subsystem's sweeps against its scalar rule run on every target
// too; this pins a handful of whole results independently of those models.)
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "support/sweep.h"
#include "zrcalc.h"

namespace {

// FNV-1a over the bytes of n values, continuing from h.
template <class T>
std::uint64_t digest(const T* p, std::size_t n = 1, std::uint64_t h = 0xcbf29ce484222325ull)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n * sizeof(T); ++i) h = (h ^ b[i]) * 0x100000001b3ull;
    return h;
}

constexpr std::uint32_t kCount = 1011;  // blocks of every width and a tail

// Inputs and outputs three elements past a 64-byte boundary, so that every
// target takes the same head, block and tail split.
template <class T>
zrtest::OffsetArray<T> input(std::uint64_t seed, std::uint32_t count = kCount)
{
    return zrtest::OffsetArray<T>(zrtest::random_samples<T>(count, seed), 3 * sizeof(T));
}

template <class T>
zrtest::OffsetArray<T> output()
{
    return zrtest::OffsetArray<T>(std::vector<T>(kCount), 3 * sizeof(T));
}

void expect_recorded(const char* operation, std::uint64_t recorded, std::uint64_t actual)
{
    EXPECT_EQ(recorded, actual) << operation << " gives 0x" << std::hex << actual;
}

TEST(CrossTarget, ResultBitsMatchThoseRecordedOnX8664)
{
    auto a = input<float>(3), b = input<float>(4), d = output<float>();
    zrcalcAddVectorsAndMultiplyByScalar_float(d.data(), a.data(), b.data(), kCount, 0.3f, 1.7f);
    expect_recorded("AddVectorsAndMultiplyByScalar_float", 0x0edcff1d843d0838ull, digest(d.data(), kCount));

    const double sum = zrcalcSumValues_double(input<double>(17).data(), kCount);
    expect_recorded("SumValues_double", 0x5e1b398ff32dbe6bull, digest(&sum));

    auto x = input<float>(21), y = input<float>(22);
    const double products = zrcalcMultiplyVectorsAndCalcSum_float(x.data(), y.data(), kCount);
    expect_recorded("MultiplyVectorsAndCalcSum_float", 0x075a4c18cf10899full, digest(&products));

    auto raw = input<int64_t>(23, 3 * kCount);
    auto scaled = output<double>();
    ScaledValuesParams_double p{raw.data(), scaled.data(), 0.1, -0.3, int32_t(kCount), ChannelSampleType_Int64, 3};
    zrcalcChannelGetScaledValuesAtPos_double(&p);
    expect_recorded("ChannelGetScaledValuesAtPos_double", 0xac087d7867c89236ull, digest(scaled.data(), kCount));

    auto samples = input<float>(26);
    float bounds[] = {samples[0], samples[0]};
    double sums[] = {0.5, 0.25};
    zrcalcGetMinMaxAveRMS_float(samples.data(), kCount, &bounds[0], &bounds[1], &sums[0], &sums[1], 0.375f);
    expect_recorded("GetMinMaxAveRMS_float", 0xa87d5ef44988047full, digest(sums, 2, digest(bounds, 2)));
}

}  // namespace
