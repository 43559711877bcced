#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "support/bits.h"
#include "support/guarded_buffer.h"
#include "support/sweep.h"
#include "zrcalc.h"

#if defined(__x86_64__)
#include <sys/mman.h>
#endif

namespace {

using zrtest::BitsEqual;

constexpr uint32_t kTypes = 11;
constexpr std::size_t kRawBytes[kTypes] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 4, 8};
bool is_pair(uint32_t type) { return type == 9 || type == 10; }

template <class T, class Bits>
T from_bits(Bits b)
{
    T v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

template <class T>
T read(const unsigned char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// One result by the table of sample types, written to out byte for byte.
void rule(uint32_t type, const unsigned char* raw, double f, double o, double* out)
{
    double v = 0;
    switch (type) {
    case 0: v = std::fma(read<uint8_t>(raw), f, o); break;
    case 1: v = std::fma(read<int8_t>(raw), f, o); break;
    case 2: v = std::fma(read<int16_t>(raw), f, o); break;
    case 3: v = std::fma(read<uint16_t>(raw), f, o); break;
    case 4: v = std::fma(read<int32_t>(raw), f, o); break;
    case 5: v = std::fma(read<float>(raw), f, o); break;
    case 6: v = std::fma(static_cast<double>(read<int64_t>(raw)), f, o); break;
    case 7: v = std::fma(read<double>(raw), f, o); break;
    case 8: v = std::fma(read<uint32_t>(raw), f, o); break;
    case 9: v = read<float>(raw); break;
    case 10: std::memcpy(out, raw, 8); return;
    }
    std::memcpy(out, &v, sizeof v);
}

void rule(uint32_t type, const unsigned char* raw, float f, float o, float* out)
{
    float v = 0;
    switch (type) {
    case 0: v = std::fma(float(read<uint8_t>(raw)), f, o); break;
    case 1: v = std::fma(float(read<int8_t>(raw)), f, o); break;
    case 2: v = std::fma(float(read<int16_t>(raw)), f, o); break;
    case 3: v = std::fma(float(read<uint16_t>(raw)), f, o); break;
    case 4: v = std::fma(float(read<int32_t>(raw)), f, o); break;
    case 5: v = std::fma(read<float>(raw), f, o); break;
    case 6: v = std::fma(float(double(read<int64_t>(raw))), f, o); break;
    case 7: v = float(std::fma(read<double>(raw), double(f), double(o))); break;
    case 8: v = std::fma(float(double(read<uint32_t>(raw))), f, o); break;
    case 9: std::memcpy(out, raw, 4); return;
    case 10: v = float(read<double>(raw)); break;
    }
    std::memcpy(out, &v, sizeof v);
}

// The operation of one result type; name 0..3: plain, _cdecl, _aligned_output,
// _aligned_output_cdecl.
void call(const ScaledValuesParams_double* p, int name = 0)
{
    void (*const names[])(const ScaledValuesParams_double*) = {
        [](auto q) { zrcalcChannelGetScaledValuesAtPos_double(q); },
        [](auto q) { zrcalcChannelGetScaledValuesAtPos_double_cdecl(q); },
        [](auto q) { zrcalcChannelGetScaledValuesAtPos_double_aligned_output(q); },
        [](auto q) { zrcalcChannelGetScaledValuesAtPos_double_aligned_output_cdecl(q); }};
    names[name](p);
}
void call(const ScaledValuesParams_float* p, int name = 0)
{
    void (*const names[])(const ScaledValuesParams_float*) = {
        [](auto q) { zrcalcChannelGetScaledValuesAtPos_float(q); },
        [](auto q) { zrcalcChannelGetScaledValuesAtPos_float_cdecl(q); },
        [](auto q) { zrcalcChannelGetScaledValuesAtPos_float_aligned_output(q); },
        [](auto q) { zrcalcChannelGetScaledValuesAtPos_float_aligned_output_cdecl(q); }};
    names[name](p);
}
template <class Out>
using Params = std::conditional_t<std::is_same_v<Out, double>, ScaledValuesParams_double, ScaledValuesParams_float>;

// One call: source points at raw value 0 (for a negative stride, at the top of
// its buffer); compares the N results with the rule.
template <class Out>
::testing::AssertionResult run(uint32_t type, const unsigned char* source, Out* destination, int32_t count,
                               int32_t stride, int name = 0, Out factor = Out(0.0123), Out offset = Out(-7.5))
{
    Params<Out> p{source, destination, factor, offset, count, type, stride};
    const std::size_t n = count <= 0 ? 0 : std::size_t(count) * (is_pair(type) ? 2 : 1);
    std::vector<Out> expected(n);
    for (std::size_t k = 0; k < n; ++k)
        rule(type, source + std::ptrdiff_t(k) * stride * std::ptrdiff_t(kRawBytes[type]), factor, offset, &expected[k]);
    call(&p, name);
    return BitsEqual(expected.data(), destination, n);
}

// Raw bytes of `count` samples: random bits for integers, random values with
// infinities, NaN, signed zero, subnormals and rounding ties for floating point.
std::vector<unsigned char> raw_samples(uint32_t type, std::size_t count, uint64_t seed)
{
    std::vector<unsigned char> bytes(count * kRawBytes[type]);
    auto put = [&](std::size_t i, auto v) {
        if (i < count) std::memcpy(&bytes[i * sizeof v], &v, sizeof v);
    };
    const auto bits = zrtest::random_samples<uint8_t>(bytes.size(), seed);
    if (!bytes.empty()) std::memcpy(bytes.data(), bits.data(), bytes.size());
    if (type == 5 || type == 9) {
        const auto v = zrtest::random_samples<float>(count, seed, 1e6);
        for (std::size_t i = 0; i < count; ++i) put(i, v[i]);
        put(3, INFINITY), put(6, -0.0f), put(10, NAN), put(13, 1e-41f);
    } else if (type == 7 || type == 10) {
        const auto v = zrtest::random_samples<double>(count, seed, 1e6);
        for (std::size_t i = 0; i < count; ++i) put(i, v[i]);
        put(2, 1.0 + 0x1p-30), put(5, -double(INFINITY)), put(9, double(NAN)), put(12, 1e300), put(14, 1e-310);
    } else if (type == 6) {
        put(1, (int64_t(1) << 62) + (int64_t(1) << 38) + 1);  // through double it ties and rounds down
        put(4, int64_t(9007199254740993));                      // 2^53 + 1 ties to even in double
    } else if (type == 4 || type == 8) {
        put(1, uint32_t(0x80000000u)), put(4, uint32_t(0xFFFFFF80u)), put(7, uint32_t(0x7FFFFFC0u));
    }
    return bytes;
}

const std::vector<int32_t> kStrides = {1, 3, 0, -1, -3};

template <class Out>
class ScaledValues : public ::testing::Test {};
using ResultTypes = ::testing::Types<double, float>;
TYPED_TEST_SUITE(ScaledValues, ResultTypes);

// Every type and stride, counts 0..20 (past two passes of eight), every alignment
// of source and destination; nothing past the N results is written.
TYPED_TEST(ScaledValues, FollowTheRuleAtEveryCountStrideAndAlignment)
{
    using Out = TypeParam;
    constexpr int32_t kMaxCount = 20;
    const Out sentinel = Out(-12345.0);
    for (uint32_t type = 0; type < kTypes; ++type)
        for (int32_t stride : kStrides) {
            const std::size_t size = kRawBytes[type], values = kMaxCount * (is_pair(type) ? 2 : 1);
            const std::size_t span = (values - 1) * std::size_t(std::abs(stride)) + 1;
            const auto raw = raw_samples(type, span, type * 100 + stride);
            for (std::size_t srcOffset = 0; srcOffset < 32; srcOffset += size)
                for (std::size_t dstOffset : zrtest::alignment_offsets<Out>()) {
                    const zrtest::OffsetArray<unsigned char> src(raw, srcOffset);
                    const unsigned char* first = src.data() + (stride < 0 ? (span - 1) * size : 0);
                    for (int32_t count = 0; count <= kMaxCount; ++count) {
                        const zrtest::OffsetArray<Out> dst(std::vector<Out>(values + 1, sentinel), dstOffset);
                        const std::size_t n = std::size_t(count) * (is_pair(type) ? 2 : 1);
                        ASSERT_TRUE(run(type, first, dst.data(), count, stride))
                            << "type " << type << ", stride " << stride << ", count " << count << ", offsets "
                            << srcOffset << "/" << dstOffset;
                        ASSERT_TRUE(BitsEqual(sentinel, dst[n])) << "type " << type << ", count " << count;
                    }
                }
        }
}

// Source (read-only) and destination flush against a PROT_NONE page after them,
// then before them: one access outside the caller's arrays faults.
TYPED_TEST(ScaledValues, TouchOnlyTheCallersArrays)
{
    using Out = TypeParam;
    for (uint32_t type = 0; type < kTypes; ++type)
        for (int32_t stride : {1, 3, -3, 0})
            for (int32_t count : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17})
                for (auto guard : {zrtest::Guard::After, zrtest::Guard::Before}) {
                    const std::size_t size = kRawBytes[type], n = std::size_t(count) * (is_pair(type) ? 2 : 1);
                    const std::size_t span = (n - 1) * std::size_t(std::abs(stride)) + 1;
                    const auto raw = raw_samples(type, span, 7);
                    zrtest::GuardedArray<unsigned char> src(raw.data(), raw.size(), guard);
                    src.make_read_only();
                    zrtest::GuardedArray<Out> dst(n, guard);
                    const unsigned char* first = src.data() + (stride < 0 ? (span - 1) * size : 0);
                    ASSERT_TRUE(run(type, first, dst.data(), count, stride))
                        << "type " << type << ", stride " << stride << ", count " << count;
                }
}

// The four names of one operation give the same bits with an output that is not
// on a 32-byte boundary.
TYPED_TEST(ScaledValues, AllNamesBehaveAlikeWithUnalignedOutput)
{
    using Out = TypeParam;
    for (uint32_t type = 0; type < kTypes; ++type) {
        const auto raw = raw_samples(type, 40, 3);
        for (int name = 0; name < 4; ++name) {
            const zrtest::OffsetArray<Out> dst(26, sizeof(Out));
            ASSERT_TRUE(run(type, raw.data(), dst.data(), 13, 1, name)) << "type " << type << ", name " << name;
        }
    }
}

// In place, where the raw sample is as wide as the result and the stride is 1.
TYPED_TEST(ScaledValues, InPlaceWhereSamplesAreAsWideAsResults)
{
    using Out = TypeParam;
    for (uint32_t type = 0; type < kTypes; ++type) {
        if (kRawBytes[type] != sizeof(Out)) continue;
        for (int32_t count = 0; count <= 20; ++count) {
            const std::size_t n = std::size_t(count) * (is_pair(type) ? 2 : 1);
            const auto raw = raw_samples(type, n, 11);
            std::vector<Out> expected(n), buffer(n);
            for (std::size_t k = 0; k < n; ++k) rule(type, &raw[k * sizeof(Out)], Out(0.0123), Out(-7.5), &expected[k]);
            if (n) std::memcpy(buffer.data(), raw.data(), raw.size());
            Params<Out> p{buffer.data(), buffer.data(), Out(0.0123), Out(-7.5), count, type, 1};
            call(&p);
            ASSERT_TRUE(BitsEqual(expected.data(), buffer.data(), n)) << "type " << type << ", count " << count;
        }
    }
}

// Unknown types and counts of 0 or below write nothing.
TYPED_TEST(ScaledValues, UnknownTypesAndEmptyCountsWriteNothing)
{
    using Out = TypeParam;
    const auto raw = raw_samples(10, 64, 5);
    for (auto [type, count] : {std::pair<uint32_t, int32_t>{11, 4}, {0xFFFFFFFFu, 4}, {2, 0}, {2, -5},
                                {9, -1}, {10, INT32_MIN}, {0, INT32_MIN}}) {
        zrtest::GuardedArray<Out> dst(0, zrtest::Guard::After);
        dst.make_read_only();
        Params<Out> p{raw.data(), dst.data(), Out(1), Out(0), count, type, 1};
        call(&p);
    }
}

template <class Out, class Raw>
std::vector<Out> scaled(uint32_t type, const std::vector<Raw>& raw, int32_t count, int32_t stride, Out f = 1, Out o = 0)
{
    std::vector<Out> out(std::size_t(count) * (is_pair(type) ? 2 : 1));
    Params<Out> p{raw.data(), out.data(), f, o, count, type, stride};
    call(&p);
    return out;
}

TYPED_TEST(ScaledValues, StatedValues)
{
    using Out = TypeParam;
    // Stride 4 of int16 reads byte offsets 0, 8 and 16.
    const std::vector<int16_t> interleaved = {100, -1, -1, -1, 200, -1, -1, -1, 300};
    EXPECT_EQ(scaled<Out>(2, interleaved, 3, 4), (std::vector<Out>{100, 200, 300}));
    // Signedness of each integer type; 0x80000000 as unsigned 32-bit.
    EXPECT_EQ(scaled<Out>(0, std::vector<uint8_t>{0xFF}, 1, 1), std::vector<Out>{255});
    EXPECT_EQ(scaled<Out>(1, std::vector<uint8_t>{0xFF}, 1, 1), std::vector<Out>{-1});
    EXPECT_EQ(scaled<Out>(3, std::vector<uint16_t>{0xFFFF}, 1, 1), std::vector<Out>{65535});
    EXPECT_EQ(scaled<Out>(2, std::vector<uint16_t>{0xFFFF}, 1, 1), std::vector<Out>{-1});
    EXPECT_EQ(scaled<Out>(8, std::vector<uint32_t>{0x80000000u}, 1, 1), std::vector<Out>{2147483648.0});
    // Stride 0 repeats the first sample.
    EXPECT_EQ(scaled<Out>(4, std::vector<int32_t>{-3, 9}, 5, 0, Out(2), Out(1)), std::vector<Out>(5, Out(-5)));

    // Pairs ignore factor and offset; the copies keep a signalling NaN's bits.
    const std::vector<float> floats = {1.5f, -2.25f, from_bits<float>(uint32_t(0x7FA00001u)), 1e-41f};
    const std::vector<double> doubles = {from_bits<double>(uint64_t(0x7FF4000000000001u)), 9, 9, 0.1, 9};
    const auto from_floats = scaled<Out>(9, floats, 2, 1, Out(2), Out(1));
    const auto from_doubles = scaled<Out>(10, doubles, 1, 3, Out(2), Out(1));
    if constexpr (std::is_same_v<Out, float>) {
        EXPECT_TRUE(BitsEqual(floats.data(), from_floats.data(), 4));
        EXPECT_TRUE(std::isnan(from_doubles[0]));
        EXPECT_EQ(from_doubles[1], 0.1f);
    } else {
        EXPECT_EQ(from_floats[1], -2.25);
        EXPECT_TRUE(std::isnan(from_floats[2]));
        EXPECT_EQ(from_floats[3], double(1e-41f));
        EXPECT_TRUE(BitsEqual(doubles[0], from_doubles[0]));
        EXPECT_TRUE(BitsEqual(0.1, from_doubles[1]));
    }
}

TEST(ScaledValuesFloat, DoubleSamplesAreScaledInDoubleBeforeRounding)
{
    const auto out = scaled<float>(7, std::vector<double>{1.0 + 0x1p-30}, 1, 1, 1.0f, -1.0f);
    EXPECT_TRUE(BitsEqual(0x1p-30f, out[0]));  // about 9.3e-10, not 0
}

#if defined(__x86_64__)
// Positions whose byte offsets pass 2^32 (k * stride passes 2^31 as well), in a
// sparse mapping of which only the pages read are touched.
TYPED_TEST(ScaledValues, AddressesBeyondFourGibibytes)
{
    using Out = TypeParam;
    constexpr int32_t kStride = 1 << 29, kCount = 9;  // int16: 2^30 bytes per step, 8 GiB in all
    const std::size_t bytes = std::size_t(kCount - 1) * kStride * 2 + 4096;
    void* map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto* base = static_cast<unsigned char*>(map);
    for (int32_t k = 0; k < kCount; ++k) {
        const int16_t v = int16_t(1000 + k);
        std::memcpy(base + std::size_t(k) * kStride * 2, &v, 2);
    }
    std::vector<Out> up(kCount), down(kCount);
    Params<Out> p{base, up.data(), Out(1), Out(0), kCount, 2, kStride};
    call(&p);
    p = {base + std::size_t(kCount - 1) * kStride * 2, down.data(), Out(1), Out(0), kCount, 2, -kStride};
    call(&p);
    munmap(map, bytes);
    for (int32_t k = 0; k < kCount; ++k) {
        EXPECT_EQ(up[k], Out(1000 + k)) << k;
        EXPECT_EQ(down[k], Out(1000 + kCount - 1 - k)) << k;
    }
}
#endif

}  // namespace
