// Raw channel samples of eleven types, read at a stride and written densely as
// engineering values (contract and conversion tables in zrcalc.h).
//
// Example: int16 samples of four interleaved channels (code 2, stride 4), factor
// 0.001, offset 0: the first channel in volts.
//
// The sample type is chosen once per call and each type has its own loop: a
// template over the raw type and its conversion rule. A loop fills one output
// vector per pass (four doubles or eight floats), then goes one position at a
// time. A vector lane computes exactly what the single-position step computes
// (the same exact or once-rounded conversion, the same fused multiply-add), so a
// value does not depend on the count or on which step wrote it.
//
// Reading: stride 1 loads whole vectors of raw samples, 16-bit samples at strides
// +-2, +-4 and +-8 load the windows of raw samples that hold eight positions and
// pick the positions out of them, any other stride fetches the positions of a
// pass one by one, and stride 0 computes its one value once.
// Positions are offsets in pointer-width signed arithmetic, so a large count
// times a large or negative stride does not wrap at 32 bits.
//
// In place (allowed when the raw sample is as wide as the result and the stride
// is 1): a pass loads its samples before it stores over them, and a single
// position is read before its slot is written.
#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

// Raw samples are only naturally aligned, and on 32-bit x86 an 8-byte sample
// may sit on a 4-byte boundary: single samples and results move through memcpy.
template <class T>
T load_one(const void* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <class T>
void store_one(void* p, T value)
{
    std::memcpy(p, &value, sizeof value);
}

// ---------------------------------------------------------------------------
// Fetching the raw samples of one pass
// ---------------------------------------------------------------------------

// Stride 1: the positions of a pass are adjacent samples, read as one vector.
struct Contiguous {
    static constexpr std::ptrdiff_t step = 1;
};

// Any other stride (counted in raw samples, possibly negative): the positions
// of a pass are read one by one.
struct Strided {
    std::ptrdiff_t step;
};

template <class Access>
constexpr bool is_contiguous = std::is_same_v<Access, Contiguous>;

template <class Raw>
std::int32_t as_int32_lane(const Raw* p)
{
    return static_cast<std::int32_t>(load_one<Raw>(p));  // uint32 keeps its bits
}

// Four integer samples of up to 32 bits as 32-bit lanes, sign- or zero-extended
// as their type is.
template <class Raw, class Access>
__m128i int32_lanes4(const Raw* p, Access a)
{
    static_assert(std::is_integral_v<Raw> && sizeof(Raw) <= 4);
    if constexpr (is_contiguous<Access> && sizeof(Raw) == 1) {
        const __m128i bytes = _mm_cvtsi32_si128(load_one<std::int32_t>(p));
        return std::is_signed_v<Raw> ? _mm_cvtepi8_epi32(bytes) : _mm_cvtepu8_epi32(bytes);
    } else if constexpr (is_contiguous<Access> && sizeof(Raw) == 2) {
        const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        return std::is_signed_v<Raw> ? _mm_cvtepi16_epi32(words) : _mm_cvtepu16_epi32(words);
    } else if constexpr (is_contiguous<Access>) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    } else {
        const std::ptrdiff_t s = a.step;
        return _mm_setr_epi32(as_int32_lane(p), as_int32_lane(p + s), as_int32_lane(p + 2 * s),
                              as_int32_lane(p + 3 * s));
    }
}

// Eight integer samples of up to 32 bits as 32-bit lanes.
template <class Raw, class Access>
__m256i int32_lanes8(const Raw* p, Access a)
{
    static_assert(std::is_integral_v<Raw> && sizeof(Raw) <= 4);
    if constexpr (is_contiguous<Access> && sizeof(Raw) == 1) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        return std::is_signed_v<Raw> ? _mm256_cvtepi8_epi32(bytes) : _mm256_cvtepu8_epi32(bytes);
    } else if constexpr (is_contiguous<Access> && sizeof(Raw) == 2) {
        const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        return std::is_signed_v<Raw> ? _mm256_cvtepi16_epi32(words) : _mm256_cvtepu16_epi32(words);
    } else if constexpr (is_contiguous<Access>) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    } else {
        return _mm256_set_m128i(int32_lanes4(p + 4 * a.step, a), int32_lanes4(p, a));
    }
}

template <class Access>
__m128 float_lanes4(const float* p, Access a)
{
    if constexpr (is_contiguous<Access>) {
        return _mm_loadu_ps(p);
    } else {
        const std::ptrdiff_t s = a.step;
        return _mm_setr_ps(load_one<float>(p), load_one<float>(p + s), load_one<float>(p + 2 * s),
                           load_one<float>(p + 3 * s));
    }
}

template <class Access>
__m256 float_lanes8(const float* p, Access a)
{
    if constexpr (is_contiguous<Access>) {
        return _mm256_loadu_ps(p);
    } else {
        return _mm256_set_m128(float_lanes4(p + 4 * a.step, a), float_lanes4(p, a));
    }
}

// Four 8-byte samples (int64 or double) as their bits.
template <class Raw, class Access>
__m256i bits64_lanes4(const Raw* p, Access a)
{
    static_assert(sizeof(Raw) == 8);
    if constexpr (is_contiguous<Access>) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    } else {
        const std::ptrdiff_t s = a.step;
        return _mm256_setr_epi64x(load_one<std::int64_t>(p), load_one<std::int64_t>(p + s),
                                  load_one<std::int64_t>(p + 2 * s), load_one<std::int64_t>(p + 3 * s));
    }
}

template <class Access>
__m256d double_lanes4(const double* p, Access a)
{
    if constexpr (is_contiguous<Access>) {
        return _mm256_loadu_pd(p);
    } else {
        const std::ptrdiff_t s = a.step;
        return _mm256_setr_pd(load_one<double>(p), load_one<double>(p + s), load_one<double>(p + 2 * s),
                              load_one<double>(p + 3 * s));
    }
}

// 16-bit samples at stride S in {+-2, +-4, +-8}: the eight positions of a pass
// lie in a window of 8|S| samples, from the first position up to just before the
// ninth (or, downwards, from the first position down to just after the ninth).
// The window is read as |S|/2 loads of 16 samples, each starting one 32-bit lane
// (two samples) further from its 16-sample block than the previous one, so that
// each load brings its positions into lanes of their own: a position is the low
// half of its lane going up and the high half going down. Blends join the loads,
// the halves are extended as the type is, and a permute puts the positions in
// order. The samples are the ones the one-by-one fetch reads, so every value is
// the same bits; only a pass with a position after it may read a window, since a
// window's last sample lies up to |S| - 1 samples past the pass's last position.
template <int S>
struct Window {
    static_assert(S == 2 || S == 4 || S == 8 || S == -2 || S == -4 || S == -8);
    static constexpr int span = 8 * (S < 0 ? -S : S);  // samples in the window
    static constexpr int loads = span / 16;
    // Offset of load i from the window's lowest sample.
    static constexpr int start(int i) { return 16 * i + (S > 0 ? -2 * i : 2 * (loads - 1 - i)); }
    // The window sample in (the chosen half of) lane L, and its position 0..7.
    static constexpr int sample(int lane) { return start(lane % loads) + 2 * lane + (S > 0 ? 0 : 1); }
    static constexpr int position(int lane) { return S > 0 ? sample(lane) / S : (span - 1 - sample(lane)) / -S; }
    static constexpr int lane_of(int j)
    {
        int found = 0;
        for (int lane = 0; lane < 8; ++lane) found = position(lane) == j ? lane : found;
        return found;
    }
    // Every lane holds a position, and each position once.
    static constexpr bool valid()
    {
        int seen = 0;
        for (int lane = 0; lane < 8; ++lane)
            if (S > 0 ? sample(lane) % S == 0 : (span - 1 - sample(lane)) % -S == 0) seen |= 1 << position(lane);
        return seen == 0xFF;
    }
    static_assert(valid());
    static constexpr int blend(int i)  // the lanes that load i brings
    {
        int mask = 0;
        for (int lane = i; lane < 8; lane += loads) mask |= 1 << lane;
        return mask;
    }
};

// The eight positions from p (the pass's first) as 32-bit lanes.
template <int S, class Raw>
__m256i int32_window8(const Raw* p)
{
    static_assert(std::is_integral_v<Raw> && sizeof(Raw) == 2);
    using W = Window<S>;
    const Raw* window = S > 0 ? p : p - (W::span - 1);
    const auto load = [window](int i) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(window + W::start(i)));
    };
    __m256i v = load(0);
    if constexpr (W::loads >= 2) v = _mm256_blend_epi32(v, load(1), W::blend(1));
    if constexpr (W::loads == 4) {
        v = _mm256_blend_epi32(v, load(2), W::blend(2));
        v = _mm256_blend_epi32(v, load(3), W::blend(3));
    }
    if constexpr (S > 0) {
        v = std::is_signed_v<Raw> ? _mm256_srai_epi32(_mm256_slli_epi32(v, 16), 16)
                                  : _mm256_and_si256(v, _mm256_set1_epi32(0xFFFF));
    } else {
        v = std::is_signed_v<Raw> ? _mm256_srai_epi32(v, 16) : _mm256_srli_epi32(v, 16);
    }
    if constexpr (S == 2) {
        return v;  // one load, already in order
    } else {
        const __m256i order = _mm256_setr_epi32(W::lane_of(0), W::lane_of(1), W::lane_of(2), W::lane_of(3),
                                                W::lane_of(4), W::lane_of(5), W::lane_of(6), W::lane_of(7));
        return _mm256_permutevar8x32_epi32(v, order);
    }
}

// ---------------------------------------------------------------------------
// Conversions that AVX2 lacks, each equal to the scalar conversion
// ---------------------------------------------------------------------------

// uint32 to double, exact: with the top bit flipped the lanes read as signed
// u - 2^31, which converts exactly; adding 2^31 back gives an integer below 2^32,
// so the sum is exact too.
__m256d uint32_to_double(__m128i u)
{
    const __m128i flipped = _mm_xor_si128(u, _mm_set1_epi32(INT32_MIN));
    return _mm256_add_pd(zrcalc::int32x4_to_double(flipped), _mm256_set1_pd(2147483648.0));
}

// uint32 to float, rounded once (the same as exactly to double, then to float):
// the high and low halves convert exactly, 65536 * high is exact, and the fused
// sum rounds the exact value once.
__m256 uint32_to_float(__m256i u)
{
    const __m256 high = _mm256_cvtepi32_ps(_mm256_srli_epi32(u, 16));
    const __m256 low = _mm256_cvtepi32_ps(_mm256_and_si256(u, _mm256_set1_epi32(0xFFFF)));
    return _mm256_fmadd_ps(high, _mm256_set1_ps(65536.0f), low);
}

// int64 to double, rounded once, as the scalar conversion rounds. The low half
// placed in the mantissa of 2^52 gives 2^52 + lo exactly; the high half (top
// bit flipped) placed in the mantissa of 2^84 gives 2^84 + 2^63 + hi * 2^32,
// from which subtracting 2^84 + 2^63 + 2^52 leaves hi * 2^32 - 2^52 exactly.
// The final sum of the two parts is the only step that rounds.
__m256d int64_to_double(__m256i v)
{
    const __m256i two52 = _mm256_set1_epi64x(0x4330000000000000);              // 2^52
    const __m256i two84_63 = _mm256_set1_epi64x(0x4530000080000000);           // 2^84 + 2^63
    const __m256d two84_63_52 = _mm256_castsi256_pd(_mm256_set1_epi64x(0x4530000080100000));
    const __m256i low = _mm256_blend_epi32(two52, v, 0x55);                    // 2^52 + lo
    const __m256i high = _mm256_xor_si256(_mm256_srli_epi64(v, 32), two84_63);
    const __m256d high_part = _mm256_sub_pd(_mm256_castsi256_pd(high), two84_63_52);
    return _mm256_add_pd(high_part, _mm256_castsi256_pd(low));
}

// Two vectors of four doubles, each rounded to float, as one vector of eight.
__m256 doubles_to_float8(__m256d low, __m256d high)
{
    return _mm256_set_m128(_mm256_cvtpd_ps(high), _mm256_cvtpd_ps(low));
}

// ---------------------------------------------------------------------------
// Conversion rules: one per raw type and result type
// ---------------------------------------------------------------------------
// Each rule names its raw type, result type and scale, computes one position
// (one) and one output vector of positions (pass) from the same conversion and
// the same fused multiply-add.

struct DoubleScale {
    DoubleScale(double f, double o) : factor(f), offset(o), factors(_mm256_set1_pd(f)), offsets(_mm256_set1_pd(o)) {}
    double factor, offset;
    __m256d factors, offsets;
};

struct FloatScale {
    FloatScale(float f, float o) : factor(f), offset(o), factors(_mm256_set1_ps(f)), offsets(_mm256_set1_ps(o)) {}
    float factor, offset;
    __m256 factors, offsets;
};

struct ToDouble {
    using Out = double;
    using Scale = DoubleScale;
    static constexpr std::size_t kLanes = 4;
};

struct ToFloat {
    using Out = float;
    using Scale = FloatScale;
    static constexpr std::size_t kLanes = 8;
};

// The scaled rules: the raw value converted to the result type, then
// fma(x, factor, offset) rounded once. Each conversion gives one value (value)
// and the lanes of one pass (lanes), rounding alike, so that every position is
// computed by the same rule whichever loop reaches it.
template <class Conversion>
struct ScaledToDouble : ToDouble {
    using Raw = typename Conversion::Raw;
    static void one(const Raw* p, double* out, const Scale& s)
    {
        store_one(out, zrcalc::fused_multiply_add(Conversion::value(load_one<Raw>(p)), s.factor, s.offset));
    }
    template <class Access>
    static void pass(const Raw* p, Access a, double* out, const Scale& s)
    {
        _mm256_storeu_pd(out, _mm256_fmadd_pd(Conversion::lanes(p, a), s.factors, s.offsets));
    }
    // Eight positions from one window (integer conversions of 16-bit samples).
    template <int S>
    static void window(const Raw* p, double* out, const Scale& s)
    {
        const __m256i v = int32_window8<S>(p);
        const __m256d low = zrcalc::int32x4_to_double(_mm256_castsi256_si128(v));
        const __m256d high = zrcalc::int32x4_to_double(_mm256_extracti128_si256(v, 1));
        _mm256_storeu_pd(out, _mm256_fmadd_pd(low, s.factors, s.offsets));
        _mm256_storeu_pd(out + 4, _mm256_fmadd_pd(high, s.factors, s.offsets));
    }
};

template <class Conversion>
struct ScaledToFloat : ToFloat {
    using Raw = typename Conversion::Raw;
    static void one(const Raw* p, float* out, const Scale& s)
    {
        store_one(out, zrcalc::fused_multiply_add(Conversion::value(load_one<Raw>(p)), s.factor, s.offset));
    }
    template <class Access>
    static void pass(const Raw* p, Access a, float* out, const Scale& s)
    {
        _mm256_storeu_ps(out, _mm256_fmadd_ps(Conversion::lanes(p, a), s.factors, s.offsets));
    }
    // Eight positions from one window (integer conversions of 16-bit samples).
    template <int S>
    static void window(const Raw* p, float* out, const Scale& s)
    {
        _mm256_storeu_ps(out, _mm256_fmadd_ps(_mm256_cvtepi32_ps(int32_window8<S>(p)), s.factors, s.offsets));
    }
};

// Codes 0 to 4 to double: integers that fit in int32 lanes, all exact in double.
template <class R>
struct NarrowIntAsDouble {
    using Raw = R;
    static double value(Raw x) { return static_cast<double>(x); }
    template <class Access>
    static __m256d lanes(const Raw* p, Access a) { return zrcalc::int32x4_to_double(int32_lanes4(p, a)); }
};

// Code 8 to double: read as unsigned (0x80000000 is 2147483648), exact.
struct UInt32AsDouble {
    using Raw = std::uint32_t;
    static double value(Raw x) { return static_cast<double>(x); }
    template <class Access>
    static __m256d lanes(const Raw* p, Access a) { return uint32_to_double(int32_lanes4(p, a)); }
};

// Code 5 to double: exact widening.
struct FloatAsDouble {
    using Raw = float;
    static double value(Raw x) { return static_cast<double>(x); }
    template <class Access>
    static __m256d lanes(const Raw* p, Access a) { return _mm256_cvtps_pd(float_lanes4(p, a)); }
};

// Code 6 to double: rounded to the nearest double.
struct Int64AsDouble {
    using Raw = std::int64_t;
    static double value(Raw x) { return static_cast<double>(x); }
    template <class Access>
    static __m256d lanes(const Raw* p, Access a) { return int64_to_double(bits64_lanes4(p, a)); }
};

// Code 7 to double: no conversion.
struct DoubleAsDouble {
    using Raw = double;
    static double value(Raw x) { return x; }
    template <class Access>
    static __m256d lanes(const Raw* p, Access a) { return double_lanes4(p, a); }
};

// Code 9 to double: the floats widened, unscaled.
struct FloatPairsToDouble : ToDouble {
    using Raw = float;
    static void one(const Raw* p, double* out, const Scale&) { store_one(out, static_cast<double>(load_one<Raw>(p))); }
    template <class Access>
    static void pass(const Raw* p, Access a, double* out, const Scale&)
    {
        _mm256_storeu_pd(out, _mm256_cvtps_pd(float_lanes4(p, a)));
    }
};

// Code 10 to double and code 9 to float: the raw values copied bit for bit. They
// move as integers, so that no floating-point step can quiet a signalling NaN.
template <class T>
struct BitCopy {
    using Raw = T;
    using Out = T;
    using Scale = std::conditional_t<sizeof(T) == 8, DoubleScale, FloatScale>;
    using Bits = std::conditional_t<sizeof(T) == 8, std::uint64_t, std::uint32_t>;
    static constexpr std::size_t kLanes = 32 / sizeof(T);
    static void one(const Raw* p, Out* out, const Scale&) { std::memcpy(out, p, sizeof(T)); }
    template <class Access>
    static void pass(const Raw* p, Access a, Out* out, const Scale&)
    {
        const Bits* bits = reinterpret_cast<const Bits*>(p);
        __m256i v;
        if constexpr (sizeof(T) == 8) {
            v = bits64_lanes4(bits, a);
        } else {
            v = int32_lanes8(bits, a);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v);
    }
};

// Codes 0 to 4 to float (integers that fit in int32 lanes): 8- and 16-bit ones
// convert exactly, int32 rounds once to the nearest float; one instruction does
// both.
template <class R>
struct NarrowIntAsFloat {
    using Raw = R;
    static float value(Raw x) { return static_cast<float>(x); }
    template <class Access>
    static __m256 lanes(const Raw* p, Access a) { return _mm256_cvtepi32_ps(int32_lanes8(p, a)); }
};

// Code 8 to float: exactly to double, then rounded once to float.
struct UInt32AsFloat {
    using Raw = std::uint32_t;
    static float value(Raw x) { return static_cast<float>(static_cast<double>(x)); }
    template <class Access>
    static __m256 lanes(const Raw* p, Access a) { return uint32_to_float(int32_lanes8(p, a)); }
};

// Code 5 to float: no conversion.
struct FloatAsFloat {
    using Raw = float;
    static float value(Raw x) { return x; }
    template <class Access>
    static __m256 lanes(const Raw* p, Access a) { return float_lanes8(p, a); }
};

// Code 6 to float: rounded to double, then rounded again to float (two
// roundings, which can differ from one direct rounding).
struct Int64AsFloat {
    using Raw = std::int64_t;
    static float value(Raw x) { return static_cast<float>(static_cast<double>(x)); }
    template <class Access>
    static __m256 lanes(const Raw* p, Access a)
    {
        const __m256d low = int64_to_double(bits64_lanes4(p, a));
        const __m256d high = int64_to_double(bits64_lanes4(p + 4 * a.step, a));
        return doubles_to_float8(low, high);
    }
};

// Code 7 to float: scaled in double with the widened factor and offset, rounded
// to float only at the end, so that small differences of large values survive.
struct DoubleToFloatScaledInDouble : ToFloat {
    using Raw = double;
    using Scale = DoubleScale;
    static void one(const Raw* p, float* out, const Scale& s)
    {
        store_one(out, static_cast<float>(zrcalc::fused_multiply_add(load_one<Raw>(p), s.factor, s.offset)));
    }
    template <class Access>
    static void pass(const Raw* p, Access a, float* out, const Scale& s)
    {
        const __m256d low = _mm256_fmadd_pd(double_lanes4(p, a), s.factors, s.offsets);
        const __m256d high = _mm256_fmadd_pd(double_lanes4(p + 4 * a.step, a), s.factors, s.offsets);
        _mm256_storeu_ps(out, doubles_to_float8(low, high));
    }
};

// Code 10 to float: each double rounded to float, unscaled.
struct DoublePairsToFloat : ToFloat {
    using Raw = double;
    static void one(const Raw* p, float* out, const Scale&) { store_one(out, static_cast<float>(load_one<Raw>(p))); }
    template <class Access>
    static void pass(const Raw* p, Access a, float* out, const Scale&)
    {
        _mm256_storeu_ps(out, doubles_to_float8(double_lanes4(p, a), double_lanes4(p + 4 * a.step, a)));
    }
};

// ---------------------------------------------------------------------------
// The loops
// ---------------------------------------------------------------------------

// Positions k = 0 .. n-1: whole output vectors, then one at a time. Two passes
// per iteration while they fit: in the short loops of the narrow types the loop's
// own counting is otherwise a good part of the work.
template <class Rule, class Access>
void scale_positions(const typename Rule::Raw* source, Access a, typename Rule::Out* destination, std::size_t n,
                     const typename Rule::Scale& scale)
{
    constexpr std::size_t lanes = Rule::kLanes;
    std::size_t k = 0;
    for (; n - k >= 2 * lanes; k += 2 * lanes) {
        Rule::pass(source + static_cast<std::ptrdiff_t>(k) * a.step, a, destination + k, scale);
        Rule::pass(source + static_cast<std::ptrdiff_t>(k + lanes) * a.step, a, destination + k + lanes, scale);
    }
    if (n - k >= lanes) {
        Rule::pass(source + static_cast<std::ptrdiff_t>(k) * a.step, a, destination + k, scale);
        k += lanes;
    }
    for (; k < n; ++k) Rule::one(source + static_cast<std::ptrdiff_t>(k) * a.step, destination + k, scale);
}

// 16-bit samples at stride S in {+-2, +-4, +-8}: window passes while a position
// remains after the pass, so that no window reaches past the last sample read
// (below it, going down); the rest as at any other stride.
template <class Rule, int S>
void scale_windowed(const typename Rule::Raw* source, typename Rule::Out* destination, std::size_t n,
                    const typename Rule::Scale& scale)
{
    std::size_t k = 0;
    for (; n - k > 16; k += 16) {
        Rule::template window<S>(source + static_cast<std::ptrdiff_t>(k) * S, destination + k, scale);
        Rule::template window<S>(source + static_cast<std::ptrdiff_t>(k + 8) * S, destination + k + 8, scale);
    }
    if (n - k > 8) {
        Rule::template window<S>(source + static_cast<std::ptrdiff_t>(k) * S, destination + k, scale);
        k += 8;
    }
    scale_positions<Rule>(source + static_cast<std::ptrdiff_t>(k) * S, Strided{S}, destination + k, n - k, scale);
}

// Stride 0: every position reads the same sample, so its value is computed once
// and stored n times.
template <class Out>
void store_copies(Out* destination, std::size_t n, Out value)
{
    constexpr std::size_t lanes = 32 / sizeof(Out);
    __m256i copies;
    if constexpr (sizeof(Out) == 8) {
        copies = _mm256_castpd_si256(_mm256_broadcast_sd(&value));
    } else {
        copies = _mm256_castps_si256(_mm256_broadcast_ss(&value));
    }
    std::size_t k = 0;
    for (; n - k >= lanes; k += lanes) _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + k), copies);
    for (; k < n; ++k) std::memcpy(destination + k, &value, sizeof value);
}

template <class Rule, class Params>
void scaled_values(const Params& params, std::size_t n)
{
    const auto* source = static_cast<const typename Rule::Raw*>(params.source);
    const typename Rule::Scale scale(params.factor, params.offset);
    const std::ptrdiff_t stride = params.stride;
    if (stride == 1) return scale_positions<Rule>(source, Contiguous{}, params.destination, n, scale);
    if (stride == 0) {
        typename Rule::Out value;
        Rule::one(source, &value, scale);
        return store_copies(params.destination, n, value);
    }
    scale_positions<Rule>(source, Strided{stride}, params.destination, n, scale);
}

// 16-bit integer samples: the window strides, or else as any type.
template <class Rule, class Params>
void scaled_values_16bit(const Params& params, std::size_t n)
{
    const auto* source = static_cast<const typename Rule::Raw*>(params.source);
    const auto window = [&](auto stride) {
        scale_windowed<Rule, decltype(stride)::value>(source, params.destination, n,
                                                      typename Rule::Scale(params.factor, params.offset));
    };
    switch (params.stride) {
    case 2: return window(std::integral_constant<int, 2>{});
    case 4: return window(std::integral_constant<int, 4>{});
    case 8: return window(std::integral_constant<int, 8>{});
    case -2: return window(std::integral_constant<int, -2>{});
    case -4: return window(std::integral_constant<int, -4>{});
    case -8: return window(std::integral_constant<int, -8>{});
    default: return scaled_values<Rule>(params, n);
    }
}

// N, the number of raw values read and results written: count, or two per
// position for the pair types; 0 for a count of 0 or below. Computed in pointer
// width, so that 2 * count cannot wrap.
std::size_t values_to_write(std::uint32_t type, std::int32_t count)
{
    if (count <= 0) return 0;
    const bool pairs = type == ChannelSampleType_FloatPairs || type == ChannelSampleType_DoublePairs;
    return (pairs ? 2 : 1) * static_cast<std::size_t>(count);
}

}  // namespace

void ZRCALC_STDCALL zrcalcChannelGetScaledValuesAtPos_double(const ScaledValuesParams_double* params)
{
    const ScaledValuesParams_double p = *params;
    const std::size_t n = values_to_write(p.sampleType, p.count);
    if (n == 0) return;
    switch (p.sampleType) {
    case ChannelSampleType_UInt8: return scaled_values<ScaledToDouble<NarrowIntAsDouble<std::uint8_t>>>(p, n);
    case ChannelSampleType_Int8: return scaled_values<ScaledToDouble<NarrowIntAsDouble<std::int8_t>>>(p, n);
    case ChannelSampleType_Int16: return scaled_values_16bit<ScaledToDouble<NarrowIntAsDouble<std::int16_t>>>(p, n);
    case ChannelSampleType_UInt16:
        return scaled_values_16bit<ScaledToDouble<NarrowIntAsDouble<std::uint16_t>>>(p, n);
    case ChannelSampleType_Int32: return scaled_values<ScaledToDouble<NarrowIntAsDouble<std::int32_t>>>(p, n);
    case ChannelSampleType_Float: return scaled_values<ScaledToDouble<FloatAsDouble>>(p, n);
    case ChannelSampleType_Int64: return scaled_values<ScaledToDouble<Int64AsDouble>>(p, n);
    case ChannelSampleType_Double: return scaled_values<ScaledToDouble<DoubleAsDouble>>(p, n);
    case ChannelSampleType_UInt32: return scaled_values<ScaledToDouble<UInt32AsDouble>>(p, n);
    case ChannelSampleType_FloatPairs: return scaled_values<FloatPairsToDouble>(p, n);
    case ChannelSampleType_DoublePairs: return scaled_values<BitCopy<double>>(p, n);
    default: return;  // not a sample type: nothing is written
    }
}

void ZRCALC_STDCALL zrcalcChannelGetScaledValuesAtPos_float(const ScaledValuesParams_float* params)
{
    const ScaledValuesParams_float p = *params;
    const std::size_t n = values_to_write(p.sampleType, p.count);
    if (n == 0) return;
    switch (p.sampleType) {
    case ChannelSampleType_UInt8: return scaled_values<ScaledToFloat<NarrowIntAsFloat<std::uint8_t>>>(p, n);
    case ChannelSampleType_Int8: return scaled_values<ScaledToFloat<NarrowIntAsFloat<std::int8_t>>>(p, n);
    case ChannelSampleType_Int16: return scaled_values_16bit<ScaledToFloat<NarrowIntAsFloat<std::int16_t>>>(p, n);
    case ChannelSampleType_UInt16: return scaled_values_16bit<ScaledToFloat<NarrowIntAsFloat<std::uint16_t>>>(p, n);
    case ChannelSampleType_Int32: return scaled_values<ScaledToFloat<NarrowIntAsFloat<std::int32_t>>>(p, n);
    case ChannelSampleType_Float: return scaled_values<ScaledToFloat<FloatAsFloat>>(p, n);
    case ChannelSampleType_Int64: return scaled_values<ScaledToFloat<Int64AsFloat>>(p, n);
    case ChannelSampleType_Double: return scaled_values<DoubleToFloatScaledInDouble>(p, n);
    case ChannelSampleType_UInt32: return scaled_values<ScaledToFloat<UInt32AsFloat>>(p, n);
    case ChannelSampleType_FloatPairs: return scaled_values<BitCopy<float>>(p, n);
    case ChannelSampleType_DoublePairs: return scaled_values<DoublePairsToFloat>(p, n);
    default: return;  // not a sample type: nothing is written
    }
}
