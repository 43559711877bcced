// Conversions between int16 and int32 arrays (contract in zrcalc.h): sign
// extension one way, the low 16 bits the other way.
//
// Both are exact integer maps, so the vector paths give the same elements as the
// one-at-a-time loops; what the paths must respect is the memory they touch:
// nothing outside the caller's arrays, and for the narrowing conversion a
// destination that is the source itself.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

// ---------------------------------------------------------------- int16 -> int32

constexpr std::size_t kWidenVector = 8;                  // int16 elements per sign-extending load
constexpr std::size_t kWidenPass = 4 * kWidenVector;     // four vectors per pass

inline void widen8(const int16_t* source, int32_t* destination)
{
    const __m128i narrow = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination), zrcalc::int16x8_to_int32(narrow));
}

}  // namespace

// The arrays must not overlap (a widening copy cannot run in place in ascending
// order), so loads and stores need no ordering between them.
void ZRCALC_STDCALL zrcalcConvertInt16ToInt32(const int16_t* source, int32_t* destination, uint32_t count)
{
    std::size_t i = 0;
    // Passes of four vectors.
    for (; count - i >= kWidenPass; i += kWidenPass) {
        widen8(source + i, destination + i);
        widen8(source + i + kWidenVector, destination + i + kWidenVector);
        widen8(source + i + 2 * kWidenVector, destination + i + 2 * kWidenVector);
        widen8(source + i + 3 * kWidenVector, destination + i + 3 * kWidenVector);
    }
    // Whole vectors left over.
    for (; count - i >= kWidenVector; i += kWidenVector) widen8(source + i, destination + i);
    // Tail, one element at a time.
    for (; i < count; ++i) destination[i] = source[i];
}

namespace {

// ---------------------------------------------------------------- int32 -> int16

constexpr std::size_t kNarrowHalf = 8;               // int32 elements per 256-bit load
constexpr std::size_t kNarrowPass = 2 * kNarrowHalf;  // one 256-bit store of int16

// Keeps the low 16 bits of each 32-bit lane, zero above: packing such lanes with
// unsigned saturation then never saturates and yields exactly the low 16 bits.
inline __m256i low_halves(__m256i v)
{
    return _mm256_and_si256(v, _mm256_set1_epi32(0xFFFF));
}

// Sixteen elements. Both source vectors are loaded before the store: in place,
// the 32 bytes stored cover source elements i/2 .. i/2 + 7, all of which were read
// by this pass or an earlier one.
inline void narrow16(const int32_t* source, int16_t* destination)
{
    const __m256i first = low_halves(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(source)));
    const __m256i second = low_halves(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + kNarrowHalf)));
    // The pack interleaves 128-bit halves: first0-3 second0-3 | first4-7 second4-7.
    const __m256i packed = _mm256_packus_epi32(first, second);
    const __m256i ordered = _mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination), ordered);
}

// Eight elements; in place, the 16 bytes stored lie within the 32 just loaded or
// below them.
inline void narrow8(const int32_t* source, int16_t* destination)
{
    const __m256i v = low_halves(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(source)));
    const __m128i packed = _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), packed);
}

// One element. In place, an int16 store lands on memory that is also the int32
// source array, so both accesses go through memcpy: the compiler may then not
// assume that the two types keep the accesses apart.
inline void narrow1(const int32_t* source, int16_t* destination)
{
    int32_t wide;
    std::memcpy(&wide, source, sizeof wide);
    const int16_t low = static_cast<int16_t>(wide);
    std::memcpy(destination, &low, sizeof low);
}

}  // namespace

// destination may equal source. In ascending order every element is read before
// its 16-bit result is stored, at a lower or equal address; the vector steps keep
// that by loading all they convert before storing, and the tail never steps back
// over elements already converted (which in place no longer hold their source).
void ZRCALC_STDCALL zrcalcConvertInt32ToInt16(const int32_t* source, int16_t* destination, uint32_t count)
{
    std::size_t i = 0;
    for (; count - i >= kNarrowPass; i += kNarrowPass) narrow16(source + i, destination + i);
    if (count - i >= kNarrowHalf) {
        narrow8(source + i, destination + i);
        i += kNarrowHalf;
    }
    for (; i < count; ++i) narrow1(source + i, destination + i);
}
