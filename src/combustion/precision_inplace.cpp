// Doubles to floats and floats to doubles inside one buffer of 8 * count bytes
// (contract in zrcalc.h): float i lives at byte 4 i, double i at byte 8 i.
//
// What makes it safe without a second buffer is the order:
//  - narrowing runs upward: float i lands on bytes of doubles i / 2 and below,
//    all read by then. Groups of four read their four doubles before they store
//    four floats, then the count mod 4 last elements go one at a time;
//  - widening runs downward: double i lands on floats 2 i and 2 i + 1, which lie
//    above i and were read earlier (for i = 0, float 0 itself, read just before).
//    The count mod 8 highest elements go one at a time, then groups of eight from
//    the top, each reading its eight floats before it stores (the upper four
//    doubles, then the lower four): only group 0 stores over its own floats.
// Every access goes through bytes (memcpy or unaligned vector loads and stores),
// since float and double stores land on the same memory.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

// The rounding of the conversion instructions: to nearest even; beyond the float
// range an infinity of the sign; NaN stays NaN.
inline void narrow_one(unsigned char* bytes, std::size_t i)
{
    double wide;
    std::memcpy(&wide, bytes + 8 * i, sizeof wide);
    const float narrow = static_cast<float>(wide);
    std::memcpy(bytes + 4 * i, &narrow, sizeof narrow);
}

inline void widen_one(unsigned char* bytes, std::size_t i)
{
    float narrow;
    std::memcpy(&narrow, bytes + 4 * i, sizeof narrow);
    const double wide = narrow;
    std::memcpy(bytes + 8 * i, &wide, sizeof wide);
}

}  // namespace

void* ZRCALC_STDCALL zrcalcCADoubleArrToSingleArrInplace(void* buffer, uint32_t count)
{
    unsigned char* const bytes = static_cast<unsigned char*>(buffer);
    std::size_t i = 0;
    for (; count - i >= 4; i += 4) {
        const __m256d wide = _mm256_loadu_pd(reinterpret_cast<const double*>(bytes + 8 * i));
        _mm_storeu_ps(reinterpret_cast<float*>(bytes + 4 * i), _mm256_cvtpd_ps(wide));
    }
    for (; i < count; ++i) narrow_one(bytes, i);
    return buffer;
}

void* ZRCALC_STDCALL zrcalcCASingleArrToDoubleArrInplace(void* buffer, uint32_t count)
{
    unsigned char* const bytes = static_cast<unsigned char*>(buffer);
    std::size_t i = count;
    for (std::size_t rest = count % 8; rest > 0; --rest) widen_one(bytes, --i);
    while (i > 0) {
        i -= 8;
        const __m256 narrow = _mm256_loadu_ps(reinterpret_cast<const float*>(bytes + 4 * i));
        _mm256_storeu_pd(reinterpret_cast<double*>(bytes + 8 * i + 32), zrcalc::upper_floats_as_doubles(narrow));
        _mm256_storeu_pd(reinterpret_cast<double*>(bytes + 8 * i), zrcalc::lower_floats_as_doubles(narrow));
    }
    return buffer;
}
