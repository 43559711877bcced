// Scaled values at position for every raw type and stride kind through the
// sweep driver, against the conversion tables written here; the stated values;
// and byte offsets past 4 GiB.
#include "support/sweep.h"

#if defined(__x86_64__)
#include <sys/mman.h>
#endif

namespace {

using zrtest::BitsEqual;

constexpr uint32_t kTypes = 11;
constexpr std::size_t kRawBytes[kTypes] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 4, 8};

// N: two values per position for the pair codes 9 and 10, none for a count <= 0.
std::size_t values_of(uint32_t type, int32_t count)
{
    return count <= 0 ? 0 : std::size_t(count) * (type >= 9 ? 2 : 1);
}

// The raw sample as a double: exact for every type but int64, which rounds once.
double raw_double(uint32_t type, const unsigned char* p)
{
    const auto as = [p](auto v) { return std::memcpy(&v, p, sizeof v), double(v); };
    switch (type) {
    case 0: return as(uint8_t());
    case 1: return as(int8_t());
    case 2: return as(int16_t());
    case 3: return as(uint16_t());
    case 4: return as(int32_t());
    case 5: case 9: return as(float());
    case 6: return as(int64_t());
    case 8: return as(uint32_t());
    default: return as(double());
    }
}

// One result by the conversion tables, stored byte for byte (the copies keep a
// signalling NaN's bits). Integers of up to 32 bits are exact in double, so
// float(x) rounds them once; int64 rounds twice on its way to float.
void rule(uint32_t type, const unsigned char* p, double f, double o, double* out)
{
    const double x = raw_double(type, p);
    const double v = type == 9 ? x : std::fma(x, f, o);
    std::memcpy(out, type == 10 ? static_cast<const void*>(p) : &v, sizeof v);
}

void rule(uint32_t type, const unsigned char* p, float f, float o, float* out)
{
    const double x = raw_double(type, p);
    const float v = type == 7 ? float(std::fma(x, double(f), double(o))) : type == 10 ? float(x)
                                                                                      : std::fma(float(x), f, o);
    std::memcpy(out, type == 9 ? static_cast<const void*>(p) : &v, sizeof v);
}

template <class Out>
using Params = std::conditional_t<std::is_same_v<Out, double>, ScaledValuesParams_double, ScaledValuesParams_float>;

void call(const ScaledValuesParams_double* p) { zrcalcChannelGetScaledValuesAtPos_double(p); }
void call(const ScaledValuesParams_float* p) { zrcalcChannelGetScaledValuesAtPos_float(p); }

// Raw bytes of `count` samples: random bits for integers, with rounding ties and
// the sign bit; random values with infinities, NaN, signed zero, subnormals and
// values that round for floating point, and a signalling NaN, whose bits the
// copies (code 9 to float, code 10 to double) keep.
std::vector<unsigned char> raw_samples(uint32_t type, std::size_t count, uint64_t seed)
{
    auto bytes = zrtest::random_samples<unsigned char>(count * kRawBytes[type], seed);
    auto put = [&](std::size_t i, auto v) { if (i < count) std::memcpy(&bytes[i * sizeof v], &v, sizeof v); };
    const auto v = zrtest::random_samples<double>(count, seed, 1e6);
    if (type == 5 || type == 9) {
        for (std::size_t i = 0; i < count; ++i) put(i, float(v[i]));
        put(3, INFINITY), put(6, -0.0f), put(10, NAN), put(13, 1e-41f), put(15, uint32_t(0x7FA00001u));
    } else if (type == 7 || type == 10) {
        for (std::size_t i = 0; i < count; ++i) put(i, v[i]);
        put(2, 1.0 + 0x1p-30), put(5, -double(INFINITY)), put(9, double(NAN)), put(12, 1e300), put(14, 1e-310);
        put(16, uint64_t(0x7FF4000000000001u));
    } else if (type == 6) {
        put(1, (int64_t(1) << 62) + (int64_t(1) << 38) + 1);  // through double it ties and rounds down
        put(4, int64_t(9007199254740993));                      // 2^53 + 1 ties to even in double
    } else if (type == 4 || type == 8) {
        put(1, uint32_t(0x80000000u)), put(4, uint32_t(0xFFFFFF80u)), put(7, uint32_t(0x7FFFFFC0u));
    }
    return bytes;
}

// Arrays: the raw bytes of a span of (N - 1) * |stride| + 1 samples (the call
// starts at its top for a negative stride), then the N results. Counts 0..20 run
// past two passes of eight; in place where the raw sample is as wide as the
// result and the stride is 1.
template <class Out>
zrtest::Case scaled(uint32_t type, int32_t stride)
{
    const std::size_t size = kRawBytes[type];
    const auto span = [=](uint32_t count) {
        const std::size_t n = values_of(type, int32_t(count));
        return n == 0 ? 0 : (n - 1) * std::size_t(std::abs(stride)) + 1;
    };
    const auto first = [=](zrtest::Arrays a, uint32_t count) {
        return a.at<unsigned char>(0) + (stride < 0 && span(count) ? (span(count) - 1) * size : 0);
    };
    const Out factor = Out(0.0123), offset = Out(-7.5);
    zrtest::Case c{std::is_same_v<Out, double> ? "zrcalcChannelGetScaledValuesAtPos_double"
                                               : "zrcalcChannelGetScaledValuesAtPos_float",
                   "type " + std::to_string(type) + ", stride " + std::to_string(stride),
                   {{zrtest::elem_of<unsigned char>(), zrtest::Dir::In, [=](uint32_t n) { return span(n) * size; },
                     [=](void* data, std::size_t bytes, uint64_t seed) {
                         std::memcpy(data, raw_samples(type, (bytes + size - 1) / size, seed).data(), bytes);
                     },
                     size},
                    zrtest::out<Out>([=](uint32_t count) { return values_of(type, int32_t(count)); })},
                   20,
                   [=](zrtest::Arrays a, uint32_t count) {
                       const Params<Out> p{first(a, count), a.at<Out>(1), factor, offset, int32_t(count), type, stride};
                       call(&p);
                   },
                   [=](zrtest::Arrays a, uint32_t count) {
                       const unsigned char* source = first(a, count);
                       for (std::size_t k = 0; k < values_of(type, int32_t(count)); ++k)
                           rule(type, source + std::ptrdiff_t(k) * stride * std::ptrdiff_t(size), factor, offset,
                                a.at<Out>(1) + k);
                   }};
    if (stride == 1 && size == sizeof(Out)) c.overlaps.push_back({1, {0}, {0}});
    return c;
}

ZRTEST_SWEEP(scaled_values)
{
    std::vector<zrtest::Case> cases;
    for (uint32_t type = 0; type < kTypes; ++type)
        for (int32_t stride : {1, 3, 0, -1, -3, 2, 4, 8, -2, -4, -8}) {
            if (std::abs(stride) % 2 == 0 && type != 2 && type != 3) continue;  // the window strides of 16-bit samples
            for (auto c : {scaled<double>(type, stride), scaled<float>(type, stride)}) {
                if (std::abs(stride) % 2 == 0) c.moreCounts = {31, 32, 33, 40, 41};  // past three window passes
                cases.push_back(c);
            }
        }
    return cases;
}

template <class Out>
class ScaledValues : public ::testing::Test {};
using ResultTypes = ::testing::Types<double, float>;
TYPED_TEST_SUITE(ScaledValues, ResultTypes);

template <class T>
std::vector<unsigned char> bytes_of(std::initializer_list<T> values)
{
    std::vector<unsigned char> bytes(values.size() * sizeof(T));
    std::memcpy(bytes.data(), values.begin(), bytes.size());
    return bytes;
}

struct Stated {
    uint32_t type;
    int32_t count, stride;
    double factor, offset;
    std::vector<unsigned char> raw;
    std::vector<double> values;  // each rounds once, if at all, to a float result
};

const Stated kStated[] = {
    {2, 3, 4, 1, 0, bytes_of<int16_t>({100, -1, -1, -1, 200, -1, -1, -1, 300}), {100, 200, 300}},
    {0, 1, 1, 1, 0, bytes_of<uint8_t>({0xFF}), {255}},
    {1, 1, 1, 1, 0, bytes_of<uint8_t>({0xFF}), {-1}},
    {3, 1, 1, 1, 0, bytes_of<uint16_t>({0xFFFF}), {65535}},
    {2, 1, 1, 1, 0, bytes_of<uint16_t>({0xFFFF}), {-1}},
    {8, 2, 1, 1, 0, bytes_of<uint32_t>({0x80000000u, 0xFFFFFFFFu}), {2147483648.0, 4294967295.0}},
    {4, 5, 0, 2, 1, bytes_of<int32_t>({-3, 9}), {-5, -5, -5, -5, -5}},  // stride 0 repeats the first sample
    // Pairs ignore factor and offset.
    {9, 2, 1, 2, 1, bytes_of<float>({1.5f, -2.25f, 0.1f, 1e-41f}), {1.5, -2.25, double(0.1f), double(1e-41f)}},
    {10, 1, 3, 2, 1, bytes_of<double>({0.1, 9, 9, -2.5, 9}), {0.1, -2.5}},
    // Scaled in double before a float result is rounded: about 9.3e-10, not 0.
    {7, 1, 1, 1, -1, bytes_of<double>({1.0 + 0x1p-30}), {0x1p-30}},
    // Unknown types and counts of 0 or below write nothing.
    {11, 4, 1, 1, 0, {}, {}}, {0xFFFFFFFFu, 4, 1, 1, 0, {}, {}}, {2, 0, 1, 1, 0, {}, {}}, {2, -5, 1, 1, 0, {}, {}},
    {9, -1, 1, 1, 0, {}, {}}, {10, INT32_MIN, 1, 1, 0, {}, {}}, {0, INT32_MIN, 1, 1, 0, {}, {}},
};

TYPED_TEST(ScaledValues, StatedValues)
{
    using Out = TypeParam;
    for (const Stated& s : kStated) {
        zrtest::GuardedRegion region(s.values.size() * sizeof(Out), zrtest::Guard::After);
        if (s.values.empty()) region.make_read_only();  // nothing may be written
        Out* out = reinterpret_cast<Out*>(region.bytes());
        const Params<Out> p{s.raw.data(), out, Out(s.factor), Out(s.offset), s.count, s.type, s.stride};
        call(&p);
        for (std::size_t k = 0; k < s.values.size(); ++k)
            EXPECT_TRUE(BitsEqual(Out(s.values[k]), out[k])) << "type " << s.type << ", value " << k;
    }
    // The copies (code 9 to float, code 10 to double) keep a signalling NaN's bits.
}

#if defined(__x86_64__)
// Byte offsets past 2^32 (k * stride past 2^31 as well), upwards and downwards,
// in a sparse mapping of which only the pages read are touched.
TYPED_TEST(ScaledValues, AddressesBeyondFourGibibytes)
{
    constexpr int32_t kStride = 1 << 29, kCount = 9;  // int16: 2^30 bytes per step, 8 GiB in all
    constexpr std::size_t kStep = std::size_t(kStride) * 2, kBytes = (kCount - 1) * kStep + 4096;
    void* map = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto* base = static_cast<unsigned char*>(map);
    for (int k = 0; k < kCount; ++k) {
        const int16_t raw = int16_t(1000 + k);
        std::memcpy(base + k * kStep, &raw, sizeof raw);
    }
    for (int32_t stride : {kStride, -kStride}) {
        TypeParam out[kCount];
        const Params<TypeParam> p{base + (stride < 0 ? (kCount - 1) * kStep : 0), out, 1, 0, kCount, 2, stride};
        call(&p);
        for (int k = 0; k < kCount; ++k) EXPECT_EQ(out[k], stride > 0 ? 1000 + k : 1008 - k) << "stride " << stride;
    }
    munmap(map, kBytes);
}
#endif

}  // namespace
