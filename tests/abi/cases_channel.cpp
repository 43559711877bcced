// ABI cases of the channel operations: a parameter block behind one pointer,
// and doubles and floats passed by value in stack slots.
#include <cmath>
#include <cstdint>
#include <vector>

#include "abi_call.h"
#include "support/bits.h"

namespace {

// Int16 raw samples of one channel interleaved with another (stride 2).
const std::vector<int16_t> kInterleaved = {-3, 111, 7, 222, 100, 333, -32768, 444, 32767, 555};
constexpr int32_t kPositions = 5;

}  // namespace

ZRABI_CASE(zrcalcChannelGetScaledValuesAtPos_double, void(const ScaledValuesParams_double*))
{
    std::vector<double> destination(kPositions + 1, -7.0);
    ScaledValuesParams_double params{};
    params.source = kInterleaved.data();
    params.destination = destination.data();
    params.factor = 0.1;
    params.offset = -0.25;
    params.count = kPositions;
    params.sampleType = ChannelSampleType_Int16;
    params.stride = 2;
    entry(&params);
    for (int32_t k = 0; k < kPositions; ++k)
        EXPECT_TRUE(zrtest::BitsEqual(std::fma(double(kInterleaved[2 * k]), 0.1, -0.25), destination[k])) << k;
    EXPECT_EQ(destination[kPositions], -7.0) << "written past the count";
}

ZRABI_CASE(zrcalcChannelGetScaledValuesAtPos_float, void(const ScaledValuesParams_float*))
{
    std::vector<float> destination(kPositions + 1, -7.0f);
    ScaledValuesParams_float params{};
    params.source = kInterleaved.data();
    params.destination = destination.data();
    params.factor = 0.1f;
    params.offset = -0.25f;
    params.count = kPositions;
    params.sampleType = ChannelSampleType_Int16;
    params.stride = 2;
    entry(&params);
    for (int32_t k = 0; k < kPositions; ++k)
        EXPECT_TRUE(zrtest::BitsEqual(std::fma(float(kInterleaved[2 * k]), 0.1f, -0.25f), destination[k])) << k;
    EXPECT_EQ(destination[kPositions], -7.0f) << "written past the count";
}

ZRABI_CASE(zrcalcChannelFillBufferWithLinearFunction_double, void(double*, uint32_t, double, double))
{
    constexpr uint32_t count = 19;
    std::vector<double> buffer(count);
    entry(buffer.data(), count, 0.1, -0.30000000000000004);
    for (uint32_t i = 0; i < count; ++i)
        EXPECT_TRUE(zrtest::BitsEqual(std::fma(double(i), 0.1, -0.30000000000000004), buffer[i])) << i;
}

ZRABI_CASE(zrcalcChannelFillBufferWithLinearFunction_float, void(float*, uint32_t, float, float))
{
    constexpr uint32_t count = 35;
    std::vector<float> buffer(count);
    entry(buffer.data(), count, 0.1f, -0.3f);
    for (uint32_t i = 0; i < count; ++i)
        EXPECT_TRUE(zrtest::BitsEqual(std::fma(float(i), 0.1f, -0.3f), buffer[i])) << i;
}
