// Element-wise arithmetic on double and float arrays: a scalar added, scaled sums
// and differences of two vectors, scaling in place, products, square roots,
// magnitudes of complex values and maxima. The contract, the rule of each element
// and the sequential result for overlapping arrays, is in zrcalc.h.
//
// The vector lanes compute exactly the rule of one element (the same operations
// in the same order, the same roundings, the same fused step), so which path ran
// never shows in a result. What the choice of path must respect is overlap: a
// vector step reads several elements before it stores any, which a sequential
// loop does not when the destination is a source shifted by a few elements. So
// the vector steps run only for arrays whose layout makes them equal to the
// sequential loop, decided once per call before anything is written; otherwise
// every element goes through the scalar steps, which keep the sequential order.
//
// Path structure of the arithmetic rules (one driver, below): vector passes of
// four 256-bit vectors (one vector for the square roots) while a whole pass
// remains, for arrays that the overlap test proves separate (always for the
// in-place scaling, which reads and writes each element at its own index); then,
// for the products, the scaling and the square roots, one 4-lane vector per step
// while four elements remain; then the scalar steps, four elements per step while
// four remain, then one at a time. The complex magnitudes and the maxima have
// loops of their own, further down.
#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

// --- Arithmetic for one element or many lanes ---------------------------------
// Each operation exists for a single float or double, for a 4-lane float vector
// and for the 256-bit vectors, so that a rule is written once and its lanes round
// exactly as its scalar steps do.

inline float add(float a, float b) { return a + b; }
inline double add(double a, double b) { return a + b; }
inline __m128 add(__m128 a, __m128 b) { return _mm_add_ps(a, b); }
inline __m256 add(__m256 a, __m256 b) { return _mm256_add_ps(a, b); }
inline __m256d add(__m256d a, __m256d b) { return _mm256_add_pd(a, b); }

inline float subtract(float a, float b) { return a - b; }
inline double subtract(double a, double b) { return a - b; }
inline __m128 subtract(__m128 a, __m128 b) { return _mm_sub_ps(a, b); }
inline __m256 subtract(__m256 a, __m256 b) { return _mm256_sub_ps(a, b); }
inline __m256d subtract(__m256d a, __m256d b) { return _mm256_sub_pd(a, b); }

inline float multiply(float a, float b) { return a * b; }
inline double multiply(double a, double b) { return a * b; }
inline __m128 multiply(__m128 a, __m128 b) { return _mm_mul_ps(a, b); }
inline __m256 multiply(__m256 a, __m256 b) { return _mm256_mul_ps(a, b); }
inline __m256d multiply(__m256d a, __m256d b) { return _mm256_mul_pd(a, b); }

// a * b + c rounded once. The scalar forms keep their operands in registers
// (common/lanes.h says why).
inline float multiply_add(float a, float b, float c) { return zrcalc::fused_multiply_add(a, b, c); }
inline double multiply_add(double a, double b, double c) { return zrcalc::fused_multiply_add(a, b, c); }
inline __m128 multiply_add(__m128 a, __m128 b, __m128 c) { return _mm_fmadd_ps(a, b, c); }
inline __m256 multiply_add(__m256 a, __m256 b, __m256 c) { return _mm256_fmadd_ps(a, b, c); }
inline __m256d multiply_add(__m256d a, __m256d b, __m256d c) { return _mm256_fmadd_pd(a, b, c); }

// Correctly rounded; a negative input gives the default NaN, as the vector
// instruction does. The instruction rather than std::sqrt: the C library's sqrt sets
// errno for a negative input, and this library leaves no error state behind.
inline float square_root(float x) { return _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(x))); }
inline double square_root(double x)
{
    const __m128d v = _mm_set_sd(x);
    return _mm_cvtsd_f64(_mm_sqrt_sd(v, v));
}
inline __m128 square_root(__m128 v) { return _mm_sqrt_ps(v); }
inline __m256 square_root(__m256 v) { return _mm256_sqrt_ps(v); }
inline __m256d square_root(__m256d v) { return _mm256_sqrt_pd(v); }

// x in every lane of a value shaped like the first argument.
inline float broadcast(float, float x) { return x; }
inline double broadcast(double, double x) { return x; }
inline __m128 broadcast(__m128, float x) { return _mm_set1_ps(x); }
inline __m256 broadcast(__m256, float x) { return _mm256_set1_ps(x); }
inline __m256d broadcast(__m256d, double x) { return _mm256_set1_pd(x); }

// --- Loads and stores ---------------------------------------------------------
// The step widths: one element, a 4-lane vector (128-bit for float, 256-bit for
// double) and a full 256-bit vector. Vector loads and stores are unaligned: the
// caller's arrays carry only their element's own alignment.

struct One {};
struct Four {};
struct Full {};

template <class T> constexpr std::uint32_t lanes(One) { return 1; }
template <class T> constexpr std::uint32_t lanes(Four) { return 4; }
template <class T> constexpr std::uint32_t lanes(Full) { return 32 / sizeof(T); }

inline float load(const float* p, One) { return *p; }
inline __m128 load(const float* p, Four) { return _mm_loadu_ps(p); }
inline __m256 load(const float* p, Full) { return _mm256_loadu_ps(p); }
inline double load(const double* p, One) { return *p; }
inline __m256d load(const double* p, Four) { return _mm256_loadu_pd(p); }
inline __m256d load(const double* p, Full) { return _mm256_loadu_pd(p); }

inline void store(float* p, float v) { *p = v; }
inline void store(float* p, __m128 v) { _mm_storeu_ps(p, v); }
inline void store(float* p, __m256 v) { _mm256_storeu_ps(p, v); }
inline void store(double* p, double v) { *p = v; }
inline void store(double* p, __m256d v) { _mm256_storeu_pd(p, v); }

// f(0), f(1), ... f(N - 1), in that order, unrolled.
template <class F, std::uint32_t... k>
inline void repeat(F&& f, std::integer_sequence<std::uint32_t, k...>)
{
    (f(k), ...);
}
template <std::uint32_t N, class F>
inline void repeat(F&& f)
{
    repeat(f, std::make_integer_sequence<std::uint32_t, N>{});
}

// --- Which path a layout allows -----------------------------------------------

// The first and last byte of an array of count elements (count > 0). The byte
// count is formed in uintptr_t from the widened count, so no count wraps it; the
// last byte of an array that exists never lies past the top of the address space.
struct ByteRange {
    std::uintptr_t first, last;
};
template <class T>
ByteRange bytes_of(const T* p, std::size_t count)
{
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(p);
    return {first, first + static_cast<std::uintptr_t>(count) * sizeof(T) - 1};
}

// True when the destination shares no byte with the source: it starts after the
// source's last byte or ends before its first. Either array may be empty.
template <class D, class S>
bool are_separate(const D* destination, std::size_t destination_count, const S* source, std::size_t source_count)
{
    if (destination_count == 0 || source_count == 0) return true;
    const ByteRange d = bytes_of(destination, destination_count);
    const ByteRange s = bytes_of(source, source_count);
    return d.first > s.last || d.last < s.first;
}

// --- The driver of the arithmetic rules ---------------------------------------

// Steps of kSteps x (Width's lanes) elements from i while a whole step remains:
// destination[j] = rule(sources[j]...). Within a step each part is loaded,
// computed and stored before the next part is loaded, so the scalar steps keep the
// sequential order. Returns the first index not done.
template <class Width, std::uint32_t kSteps, class T, class Rule, class... Sources>
inline std::size_t apply_steps(T* destination, std::size_t i, std::size_t count, const Rule& rule,
                               const Sources*... sources)
{
    constexpr std::size_t kLanes = lanes<T>(Width{});
    constexpr std::size_t kStep = kSteps * kLanes;
    for (; count - i >= kStep; i += kStep) {
        repeat<kSteps>([&](std::uint32_t part) {
            const std::size_t at = i + part * kLanes;
            store(destination + at, rule(load(sources + at, Width{})...));
        });
    }
    return i;
}

enum class FourLaneSteps { No, Yes };

// destination[i] = rule(sources[i]...) for every i, in the path structure told at
// the top of this file. vectors_allowed: the arrays' layout lets the vector steps
// give the sequential result.
template <std::uint32_t kVectorsPerPass, FourLaneSteps kFourLane, class T, class Rule, class... Sources>
void apply_elementwise(T* destination, std::size_t count, bool vectors_allowed, const Rule& rule,
                       const Sources*... sources)
{
    std::size_t i = 0;
    if (vectors_allowed) {
        i = apply_steps<Full, kVectorsPerPass>(destination, i, count, rule, sources...);
        if constexpr (kFourLane == FourLaneSteps::Yes)
            i = apply_steps<Four, 1>(destination, i, count, rule, sources...);
    }
    i = apply_steps<One, 4>(destination, i, count, rule, sources...);
    apply_steps<One, 1>(destination, i, count, rule, sources...);
}

// A pass of four 256-bit vectors: 16 doubles or 32 floats.
constexpr std::uint32_t kFourVectors = 4;

template <class T, class... Sources>
bool separate_from_all(const T* destination, std::size_t count, const Sources*... sources)
{
    return (are_separate(destination, count, sources, count) && ...);
}

// --- The rules ----------------------------------------------------------------

template <class T>
void add_scalar(T* destination, const T* source, T scalar, std::uint32_t count)
{
    const auto rule = [scalar](auto x) { return add(broadcast(x, scalar), x); };
    apply_elementwise<kFourVectors, FourLaneSteps::No>(destination, count,
                                                       separate_from_all(destination, count, source), rule, source);
}

template <class T>
void scale_in_place(T* data, std::uint32_t count, T factor)
{
    // Element i is read and written at the same index only, so every step of every
    // width gives the sequential result: no overlap test.
    const auto rule = [factor](auto x) { return multiply(broadcast(x, factor), x); };
    const T* source = data;
    apply_elementwise<kFourVectors, FourLaneSteps::Yes>(data, count, true, rule, source);
}

template <class T>
void multiply_elements(T* destination, const T* source1, const T* source2, std::uint32_t count)
{
    const auto rule = [](auto a, auto b) { return multiply(a, b); };
    apply_elementwise<kFourVectors, FourLaneSteps::Yes>(
        destination, count, separate_from_all(destination, count, source1, source2), rule, source1, source2);
}

template <class T>
void square_roots(T* destination, const T* source, std::uint32_t count)
{
    // One vector per pass: the square-root unit's throughput bounds the loop, and a
    // wider pass gains nothing on it.
    const auto rule = [](auto x) { return square_root(x); };
    apply_elementwise<1, FourLaneSteps::Yes>(destination, count, separate_from_all(destination, count, source), rule,
                                             source);
}

// --- Magnitudes of complex values ---------------------------------------------
// p = fma(im, im, re * re): the real part's square rounded, then the imaginary
// part's square added to it in one fused step; no scaling guards the squares.

template <bool kSquared, class V>
inline V magnitude(V re, V im)
{
    const V p = multiply_add(im, im, multiply(re, re));
    if constexpr (kSquared)
        return p;
    else
        return square_root(p);
}

// The magnitudes of the 4 (double) or 8 (float) complex values at pairs, in index
// order. The shuffles that split real from imaginary parts work within 128-bit
// halves and leave the results in the order of their 64-bit units 0 2 1 3; one
// permute puts them back.
template <bool kSquared>
inline __m256d magnitudes_of_vector(const double* pairs)
{
    const __m256d p01 = _mm256_loadu_pd(pairs);      // re0 im0 re1 im1
    const __m256d p23 = _mm256_loadu_pd(pairs + 4);  // re2 im2 re3 im3
    const __m256d re = _mm256_unpacklo_pd(p01, p23);  // re0 re2 re1 re3
    const __m256d im = _mm256_unpackhi_pd(p01, p23);  // im0 im2 im1 im3
    return _mm256_permute4x64_pd(magnitude<kSquared>(re, im), _MM_SHUFFLE(3, 1, 2, 0));
}
template <bool kSquared>
inline __m256 magnitudes_of_vector(const float* pairs)
{
    const __m256 p0123 = _mm256_loadu_ps(pairs);      // re0 im0 re1 im1 | re2 im2 re3 im3
    const __m256 p4567 = _mm256_loadu_ps(pairs + 8);  // re4 im4 re5 im5 | re6 im6 re7 im7
    const __m256 re = _mm256_shuffle_ps(p0123, p4567, _MM_SHUFFLE(2, 0, 2, 0));  // re0 re1 re4 re5 | re2 re3 re6 re7
    const __m256 im = _mm256_shuffle_ps(p0123, p4567, _MM_SHUFFLE(3, 1, 3, 1));
    const __m256d m = _mm256_castps_pd(magnitude<kSquared>(re, im));
    return _mm256_castpd_ps(_mm256_permute4x64_pd(m, _MM_SHUFFLE(3, 1, 2, 0)));
}

template <bool kSquared, class T>
void complex_magnitudes(T* destination, const T* source, std::size_t count)
{
    // A vector step loads the pairs of its elements before it stores their
    // magnitudes. That equals the sequential loop when the destination starts at or
    // before the source (element i is stored at or below the bytes of pair i, which
    // only earlier elements read; so in place works) or shares no byte with it.
    const bool vectors_allowed =
        reinterpret_cast<std::uintptr_t>(destination) <= reinterpret_cast<std::uintptr_t>(source) ||
        are_separate(destination, count, source, 2 * count);

    constexpr std::size_t kLanes = 32 / sizeof(T);
    constexpr std::size_t kPass = 2 * kLanes;  // two vectors per pass hide the shuffles' latency
    std::size_t i = 0;
    if (vectors_allowed) {
        for (; count - i >= kPass; i += kPass) {
            const auto low = magnitudes_of_vector<kSquared>(source + 2 * i);
            const auto high = magnitudes_of_vector<kSquared>(source + 2 * (i + kLanes));
            store(destination + i, low);
            store(destination + i + kLanes, high);
        }
        for (; count - i >= kLanes; i += kLanes) store(destination + i, magnitudes_of_vector<kSquared>(source + 2 * i));
    }

    const auto element = [&](std::size_t j) { destination[j] = magnitude<kSquared>(source[2 * j], source[2 * j + 1]); };
    for (; count - i >= 4; i += 4) repeat<4>([&](std::uint32_t part) { element(i + part); });
    for (; i < count; ++i) element(i);
}

// squared is a flag byte: any nonzero value asks for the squares. Its byte is read
// as a number, so a caller that passes TRUE as 0xFF (not the 1 of a C++ bool) still
// gets the squares.
template <class T>
void complex_magnitudes(T* destination, const T* source, bool squared, std::uint32_t count)
{
    unsigned char flag;
    std::memcpy(&flag, &squared, 1);
    if (flag != 0)
        complex_magnitudes<true>(destination, source, count);
    else
        complex_magnitudes<false>(destination, source, count);
}

// --- Maxima -------------------------------------------------------------------
// Each element is fmax of the two: the larger value, and where exactly one is a
// NaN, the other. The C runtime's fmax decides every element whose result the
// maximum instruction might not give bit for bit; the vector path takes the
// instruction only where every standard fmax must agree with it.

inline float fmax_of(float a, float b) { return std::fmax(a, b); }
inline double fmax_of(double a, double b) { return std::fmax(a, b); }

inline __m256 maximum(__m256 a, __m256 b) { return _mm256_max_ps(a, b); }
inline __m256d maximum(__m256d a, __m256d b) { return _mm256_max_pd(a, b); }
inline __m256 compare_equal_or_unordered(__m256 a, __m256 b) { return _mm256_cmp_ps(a, b, _CMP_EQ_UQ); }
inline __m256d compare_equal_or_unordered(__m256d a, __m256d b) { return _mm256_cmp_pd(a, b, _CMP_EQ_UQ); }
inline __m256 compare_unordered(__m256 a, __m256 b) { return _mm256_cmp_ps(a, b, _CMP_UNORD_Q); }
inline __m256d compare_unordered(__m256d a, __m256d b) { return _mm256_cmp_pd(a, b, _CMP_UNORD_Q); }
inline __m256 compare_bits_different(__m256 a, __m256 b)
{
    const __m256i same = _mm256_cmpeq_epi32(_mm256_castps_si256(a), _mm256_castps_si256(b));
    return _mm256_castsi256_ps(_mm256_xor_si256(same, _mm256_set1_epi32(-1)));
}
inline __m256d compare_bits_different(__m256d a, __m256d b)
{
    const __m256i same = _mm256_cmpeq_epi64(_mm256_castpd_si256(a), _mm256_castpd_si256(b));
    return _mm256_castsi256_pd(_mm256_xor_si256(same, _mm256_set1_epi64x(-1)));
}
inline __m256 either(__m256 a, __m256 b) { return _mm256_or_ps(a, b); }
inline __m256d either(__m256d a, __m256d b) { return _mm256_or_pd(a, b); }
inline __m256 both(__m256 a, __m256 b) { return _mm256_and_ps(a, b); }
inline __m256d both(__m256d a, __m256d b) { return _mm256_and_pd(a, b); }
inline bool none(__m256 m) { return _mm256_testz_ps(m, m) != 0; }
inline bool none(__m256d m) { return _mm256_testz_pd(m, m) != 0; }

// The lanes where the instruction may differ from fmax: a NaN on either side
// (fmax returns the other value, the instruction its second operand) and two equal
// values of different bits, +0 against -0 (C runtimes differ in which zero they
// return). Two equal values of the same bits are that value either way.
template <class V>
inline V lanes_for_fmax(V a, V b)
{
    return either(compare_unordered(a, b), both(compare_equal_or_unordered(a, b), compare_bits_different(a, b)));
}

template <class T>
void elementwise_maxima(T* destination, const T* source1, const T* source2, std::size_t count)
{
    constexpr std::size_t kLanes = 32 / sizeof(T);
    constexpr std::size_t kPass = kFourVectors * kLanes;
    using V = decltype(load(source1, Full{}));

    const auto fmax_steps = [&](std::size_t from, std::size_t to) {
        for (std::size_t j = from; j < to; ++j) destination[j] = fmax_of(source1[j], source2[j]);
    };

    std::size_t i = 0;
    if (separate_from_all(destination, count, source1, source2)) {
        // Passes of four vectors. One compare per vector finds whether a pass has any
        // equal or unordered pair at all; most data has none, and the pass is stored
        // as the instruction gives it. Otherwise the exact test decides, and a pass
        // with a NaN or a signed zero pair goes through fmax whole.
        for (; count - i >= kPass; i += kPass) {
            V a[kFourVectors], b[kFourVectors], maxima[kFourVectors];
            V candidates{};  // all lanes clear
            repeat<kFourVectors>([&](std::uint32_t part) {
                a[part] = load(source1 + i + part * kLanes, Full{});
                b[part] = load(source2 + i + part * kLanes, Full{});
                maxima[part] = maximum(a[part], b[part]);
                candidates = either(candidates, compare_equal_or_unordered(a[part], b[part]));
            });
            bool plain = none(candidates);
            if (!plain) {
                V special{};
                repeat<kFourVectors>(
                    [&](std::uint32_t part) { special = either(special, lanes_for_fmax(a[part], b[part])); });
                plain = none(special);
            }
            if (plain)
                repeat<kFourVectors>([&](std::uint32_t part) { store(destination + i + part * kLanes, maxima[part]); });
            else
                fmax_steps(i, i + kPass);
        }
        for (; count - i >= kLanes; i += kLanes) {
            const V a = load(source1 + i, Full{});
            const V b = load(source2 + i, Full{});
            if (none(lanes_for_fmax(a, b)))
                store(destination + i, maximum(a, b));
            else
                fmax_steps(i, i + kLanes);
        }
    }
    fmax_steps(i, count);
}

}  // namespace

// --- Entry points -------------------------------------------------------------

void ZRCALC_CDECL zrcalcAddScalarToVector_double_cdecl(double* destination, const double* source, double scalar,
                                                       uint32_t count)
{
    add_scalar(destination, source, scalar, count);
}

void ZRCALC_CDECL zrcalcAddScalarToVector_float_cdecl(float* destination, const float* source, float scalar,
                                                      uint32_t count)
{
    add_scalar(destination, source, scalar, count);
}

// The second vector is the scaled one: (source1 + source2 * source2Factor) * factor,
// the inner product and sum fused.
void ZRCALC_STDCALL zrcalcAddVectorsAndMultiplyByScalar_float(float* destination, const float* source1,
                                                              const float* source2, uint32_t count,
                                                              float source2Factor, float factor)
{
    const auto rule = [source2Factor, factor](auto a, auto b) {
        return multiply(multiply_add(b, broadcast(b, source2Factor), a), broadcast(a, factor));
    };
    apply_elementwise<kFourVectors, FourLaneSteps::No>(
        destination, count, separate_from_all(destination, count, source1, source2), rule, source1, source2);
}

// (source1 - source2) * factor: two roundings, no fused step.
void ZRCALC_STDCALL zrcalcSubtractVectorsAndMultiplyByScalar_float(float* destination, const float* source1,
                                                                   const float* source2, uint32_t count, float factor)
{
    const auto rule = [factor](auto a, auto b) { return multiply(subtract(a, b), broadcast(a, factor)); };
    apply_elementwise<kFourVectors, FourLaneSteps::No>(
        destination, count, separate_from_all(destination, count, source1, source2), rule, source1, source2);
}

void ZRCALC_STDCALL zrcalcMultiplyVectorByScalar_double(double* data, uint32_t count, double factor)
{
    scale_in_place(data, count, factor);
}

void ZRCALC_STDCALL zrcalcMultiplyVectorByScalar_float(float* data, uint32_t count, float factor)
{
    scale_in_place(data, count, factor);
}

void ZRCALC_CDECL zrcalcMultiplyVectors_double_cdecl(double* destination, const double* source1,
                                                     const double* source2, uint32_t count)
{
    multiply_elements(destination, source1, source2, count);
}

void ZRCALC_CDECL zrcalcMultiplyVectors_float_cdecl(float* destination, const float* source1, const float* source2,
                                                    uint32_t count)
{
    multiply_elements(destination, source1, source2, count);
}

void ZRCALC_CDECL zrcalcSqrtVector_double_cdecl(double* destination, const double* source, uint32_t count)
{
    square_roots(destination, source, count);
}

void ZRCALC_CDECL zrcalcSqrtVector_float_cdecl(float* destination, const float* source, uint32_t count)
{
    square_roots(destination, source, count);
}

void ZRCALC_CDECL zrcalcComplexVectorAbs_double_cdecl(double* destination, const double* source, bool squared,
                                                      uint32_t count)
{
    complex_magnitudes(destination, source, squared, count);
}

void ZRCALC_CDECL zrcalcComplexVectorAbs_float_cdecl(float* destination, const float* source, bool squared,
                                                     uint32_t count)
{
    complex_magnitudes(destination, source, squared, count);
}

void ZRCALC_CDECL zrcalcVectorsMax_double_cdecl(double* destination, const double* source1, const double* source2,
                                                uint32_t count)
{
    elementwise_maxima(destination, source1, source2, count);
}

void ZRCALC_CDECL zrcalcVectorsMax_float_cdecl(float* destination, const float* source1, const float* source2,
                                               uint32_t count)
{
    elementwise_maxima(destination, source1, source2, count);
}
