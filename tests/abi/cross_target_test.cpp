// The same bits on every target: each operation below runs once on a fixed
// pseudo-random input, and an FNV-1a digest of everything it returns or writes
// is compared with the digest recorded from the x86-64 build. The 32-bit build
// reaches its results through its own address arithmetic (alignment heads),
// argument passing and math library, and must still give these bits.
//
// Inputs sit a fixed distance past a 64-byte boundary, so that every target
// takes the same head, block and tail split. Operations without rounding
// (minimum and maximum, integer conversions, fmax) are left to their own tests.
#include "frame/entry_table.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "support/sweep.h"
#include "zrcalc.h"

namespace {

class Fnv1a {
public:
    template <class T>
    Fnv1a& add(const T& value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        return bytes(&value, sizeof value);
    }
    template <class T>
    Fnv1a& add(const zrtest::OffsetArray<T>& array)
    {
        return bytes(array.data(), array.size() * sizeof(T));
    }
    std::uint64_t value() const { return h_; }

private:
    Fnv1a& bytes(const void* p, std::size_t n)
    {
        const auto* b = static_cast<const unsigned char*>(p);
        for (std::size_t i = 0; i < n; ++i) h_ = (h_ ^ b[i]) * 0x100000001b3ull;
        return *this;
    }
    std::uint64_t h_ = 0xcbf29ce484222325ull;
};

constexpr std::uint32_t kCount = 1011;  // blocks of every width and a tail

template <class T>
zrtest::OffsetArray<T> input(std::uint64_t seed, std::uint32_t count = kCount)
{
    return zrtest::OffsetArray<T>(zrtest::random_samples<T>(count, seed), 3 * sizeof(T));
}

template <class T>
zrtest::OffsetArray<T> output(std::uint32_t count = kCount)
{
    zrtest::OffsetArray<T> out(count, 3 * sizeof(T));
    std::memset(out.data(), 0, count * sizeof(T));
    return out;
}

template <class T>
zrtest::OffsetArray<T> non_negative(std::uint64_t seed)
{
    auto v = input<T>(seed);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = std::fabs(v[i]);
    return v;
}

using DigestBody = void (*)(const void* function, Fnv1a& h);

std::map<std::string, DigestBody>& digest_bodies()
{
    static std::map<std::string, DigestBody> bodies;
    return bodies;
}

bool register_digest(const char* name, DigestBody body)
{
    return digest_bodies().emplace(name, body).second;
}

#define ZRABI_DIGEST(name)                                                                       \
    void digest_##name(decltype(&name) fn, Fnv1a& h);                                           \
    [[maybe_unused]] const bool digest_registered_##name = register_digest(                     \
        #name, [](const void* p, Fnv1a& h) {                                                     \
            digest_##name(reinterpret_cast<decltype(&name)>(const_cast<void*>(p)), h);          \
        });                                                                                      \
    void digest_##name(decltype(&name) fn, Fnv1a& h)

// Element-wise arithmetic.
ZRABI_DIGEST(zrcalcAddScalarToVector_double_cdecl)
{
    auto s = input<double>(1), d = output<double>();
    fn(d.data(), s.data(), 0.1, kCount);
    h.add(d);
}
ZRABI_DIGEST(zrcalcAddScalarToVector_float_cdecl)
{
    auto s = input<float>(2), d = output<float>();
    fn(d.data(), s.data(), 0.1f, kCount);
    h.add(d);
}
ZRABI_DIGEST(zrcalcAddVectorsAndMultiplyByScalar_float)
{
    auto a = input<float>(3), b = input<float>(4), d = output<float>();
    fn(d.data(), a.data(), b.data(), kCount, 0.3f, 1.7f);
    h.add(d);
}
ZRABI_DIGEST(zrcalcSubtractVectorsAndMultiplyByScalar_float)
{
    auto a = input<float>(5), b = input<float>(6), d = output<float>();
    fn(d.data(), a.data(), b.data(), kCount, 0.7f);
    h.add(d);
}
ZRABI_DIGEST(zrcalcMultiplyVectorByScalar_double)
{
    auto d = input<double>(7);
    fn(d.data(), kCount, 1.1);
    h.add(d);
}
ZRABI_DIGEST(zrcalcMultiplyVectorByScalar_float)
{
    auto d = input<float>(8);
    fn(d.data(), kCount, 1.1f);
    h.add(d);
}
ZRABI_DIGEST(zrcalcMultiplyVectors_double_cdecl)
{
    auto a = input<double>(9), b = input<double>(10), d = output<double>();
    fn(d.data(), a.data(), b.data(), kCount);
    h.add(d);
}
ZRABI_DIGEST(zrcalcMultiplyVectors_float_cdecl)
{
    auto a = input<float>(11), b = input<float>(12), d = output<float>();
    fn(d.data(), a.data(), b.data(), kCount);
    h.add(d);
}
ZRABI_DIGEST(zrcalcSqrtVector_double_cdecl)
{
    auto s = non_negative<double>(13), d = output<double>();
    fn(d.data(), s.data(), kCount);
    h.add(d);
}
ZRABI_DIGEST(zrcalcSqrtVector_float_cdecl)
{
    auto s = non_negative<float>(14), d = output<float>();
    fn(d.data(), s.data(), kCount);
    h.add(d);
}
ZRABI_DIGEST(zrcalcComplexVectorAbs_double_cdecl)
{
    auto s = input<double>(15, 2 * kCount), d = output<double>();
    fn(d.data(), s.data(), false, kCount);
    h.add(d);
}
ZRABI_DIGEST(zrcalcComplexVectorAbs_float_cdecl)
{
    auto s = input<float>(16, 2 * kCount), d = output<float>();
    fn(d.data(), s.data(), false, kCount);
    h.add(d);
}

// Sums: the lane order and the tail decide the last bits.
ZRABI_DIGEST(zrcalcSumValues_double) { h.add(fn(input<double>(17).data(), kCount)); }
ZRABI_DIGEST(zrcalcSumValues_float) { h.add(fn(input<float>(18).data(), kCount)); }
ZRABI_DIGEST(zrcalcSumAbsValues_float) { h.add(fn(input<float>(19).data(), kCount)); }
ZRABI_DIGEST(zrcalcSumSquaredValues_float) { h.add(fn(input<float>(20).data(), kCount)); }
ZRABI_DIGEST(zrcalcMultiplyVectorsAndCalcSum_float)
{
    h.add(fn(input<float>(21).data(), input<float>(22).data(), kCount));
}

// Channel data: conversions that round, at a stride.
ZRABI_DIGEST(zrcalcChannelGetScaledValuesAtPos_double)
{
    auto raw = input<int64_t>(23, 3 * kCount);
    auto d = output<double>();
    ScaledValuesParams_double p{raw.data(), d.data(), 0.1, -0.3, int32_t(kCount), ChannelSampleType_Int64, 3};
    fn(&p);
    h.add(d);
}
ZRABI_DIGEST(zrcalcChannelGetScaledValuesAtPos_float)
{
    auto raw = input<uint32_t>(24, 3 * kCount);
    auto d = output<float>();
    ScaledValuesParams_float p{raw.data(), d.data(), 0.1f, -0.3f, int32_t(kCount), ChannelSampleType_UInt32, 3};
    fn(&p);
    h.add(d);
}
ZRABI_DIGEST(zrcalcChannelFillBufferWithLinearFunction_double)
{
    auto d = output<double>();
    fn(d.data(), kCount, 0.1, -0.3);
    h.add(d);
}
ZRABI_DIGEST(zrcalcChannelFillBufferWithLinearFunction_float)
{
    auto d = output<float>();
    fn(d.data(), kCount, 0.1f, -0.3f);
    h.add(d);
}

// Statistics: head, lanes, tail and the offset's precision.
template <class T, class Offset, class F>
void fold_statistics(F fn, std::uint64_t seed, Fnv1a& h)
{
    auto x = input<T>(seed);
    T minValue = x[0], maxValue = x[0];
    double sum = 0.5, sumOfSquares = 0.25;
    fn(x.data(), kCount, &minValue, &maxValue, &sum, &sumOfSquares, Offset(0.375));
    h.add(minValue).add(maxValue).add(sum).add(sumOfSquares);
}
ZRABI_DIGEST(zrcalcGetMinMaxAveRMS_double) { fold_statistics<double, double>(fn, 25, h); }
ZRABI_DIGEST(zrcalcGetMinMaxAveRMS_float) { fold_statistics<float, float>(fn, 26, h); }
ZRABI_DIGEST(zrcalcGetMinMaxAveRMS_int16_t) { fold_statistics<int16_t, float>(fn, 27, h); }
ZRABI_DIGEST(zrcalcGetMinMaxAveRMS_int32_t) { fold_statistics<int32_t, double>(fn, 28, h); }
ZRABI_DIGEST(zrcalcMoveAndGetMinMaxAveRMS_int16_t)
{
    auto s = input<int16_t>(29, 3 * kCount);
    for (int32_t stride : {1, 3}) {
        auto d = output<int16_t>();
        int16_t minValue = s[0], maxValue = s[0];
        double sum = 0.5, sumOfSquares = 0.25;
        fn(d.data(), s.data(), kCount, &minValue, &maxValue, &sum, &sumOfSquares, 0.375f, stride);
        h.add(d).add(minValue).add(maxValue).add(sum).add(sumOfSquares);
    }
}

// Recorded from the x86-64 build. A built operation with a digest body but no
// recorded value fails and prints the value to record here.
const std::map<std::string, std::uint64_t> kRecorded = {
    {"zrcalcAddScalarToVector_double_cdecl", 0x4d61fe43faa89e3aull},
    {"zrcalcAddScalarToVector_float_cdecl", 0x5513b983c3655410ull},
    {"zrcalcAddVectorsAndMultiplyByScalar_float", 0x0edcff1d843d0838ull},
    {"zrcalcChannelFillBufferWithLinearFunction_double", 0xbddd458717d13f87ull},
    {"zrcalcChannelFillBufferWithLinearFunction_float", 0xd3fc71e413c2775eull},
    {"zrcalcChannelGetScaledValuesAtPos_double", 0xac087d7867c89236ull},
    {"zrcalcChannelGetScaledValuesAtPos_float", 0x69c9b39935988040ull},
    {"zrcalcComplexVectorAbs_double_cdecl", 0x86b41907fcd2c1b6ull},
    {"zrcalcComplexVectorAbs_float_cdecl", 0x3cbd4fca365d84faull},
    {"zrcalcGetMinMaxAveRMS_double", 0xce96fc24c0d1aa7full},
    {"zrcalcGetMinMaxAveRMS_float", 0xa87d5ef44988047full},
    {"zrcalcGetMinMaxAveRMS_int16_t", 0xd18fa15bf324f1c6ull},
    {"zrcalcGetMinMaxAveRMS_int32_t", 0x4ff3541a520fbb9bull},
    {"zrcalcMoveAndGetMinMaxAveRMS_int16_t", 0x17a25c7ab6b86bddull},
    {"zrcalcMultiplyVectorByScalar_double", 0xd76069e6b04cdc79ull},
    {"zrcalcMultiplyVectorByScalar_float", 0x1fb76368936767f3ull},
    {"zrcalcMultiplyVectorsAndCalcSum_float", 0x075a4c18cf10899full},
    {"zrcalcMultiplyVectors_double_cdecl", 0xdc9997bce7f3f763ull},
    {"zrcalcMultiplyVectors_float_cdecl", 0xf3e2a0d885ce7616ull},
    {"zrcalcSqrtVector_double_cdecl", 0x41623ff594a35f9cull},
    {"zrcalcSqrtVector_float_cdecl", 0x37febe37d1802abcull},
    {"zrcalcSubtractVectorsAndMultiplyByScalar_float", 0x440ec095e301f545ull},
    {"zrcalcSumAbsValues_float", 0xf4ccce2ee5442204ull},
    {"zrcalcSumSquaredValues_float", 0xc192034e75fde648ull},
    {"zrcalcSumValues_double", 0x5e1b398ff32dbe6bull},
    {"zrcalcSumValues_float", 0xd1d5b331dcd6eb84ull},
};

TEST(CrossTarget, ResultBitsMatchThoseRecordedOnX8664)
{
    void* library = dlopen(ZRCALC_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    std::map<std::string, bool> built;
#define BUILT true
#define PLANNED false
#define ZRABI_STATE(name, kind, bytes, state) built[#name] = state;
    ZRCALC_ENTRY_POINTS(ZRABI_STATE)
#undef ZRABI_STATE
#undef BUILT
#undef PLANNED
    for (const auto& [name, body] : digest_bodies()) {
        ASSERT_EQ(built.count(name), 1u) << name << " is not in the table";
        if (!built[name]) continue;
        const void* function = dlsym(library, name.c_str());
        ASSERT_NE(function, nullptr) << name;
        Fnv1a h;
        body(function, h);
        const auto recorded = kRecorded.find(name);
        char actual[32];
        std::snprintf(actual, sizeof actual, "0x%016llx", static_cast<unsigned long long>(h.value()));
        if (recorded == kRecorded.end()) {
            ADD_FAILURE() << "no digest recorded: {\"" << name << "\", " << actual << "ull},";
            continue;
        }
        EXPECT_EQ(recorded->second, h.value()) << name << " gives " << actual;
    }
    for (const auto& [name, digest] : kRecorded) EXPECT_EQ(digest_bodies().count(name), 1u) << name;
}

}  // namespace
