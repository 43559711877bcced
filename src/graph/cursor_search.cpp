// The pixel nearest to a cursor whose value is not excluded, in an area of a
// bottom-up bitmap of 32-bit pixels (contract, tie rules and mends in zrcalc.h).
//
// Work buffer: every excluded value four times over (one 16-byte entry per value)
// behind an 8-byte header that keeps the number of entries; one compare of an
// entry with four pixels tests all four against that value. Up to 1,024 bytes it
// lies on the stack, beyond that on the C runtime heap, freed before returning.
// A buffer whose size does not fit 32 bits, or that the heap cannot supply, means
// no search at all.
//
// Each row, in three steps:
//  - Groups of four pixels (columns 4g + l go to lane l). Whether a pixel is a
//    candidate depends on its value alone, so a group equal to one of the last
//    two groups found all excluded is all excluded too and is passed over (eight
//    pixels at once while they equal the more recent one); a plot's background
//    and grid cost one compare per four or eight pixels, however long the list.
//    Any other group is compared with the entries four at a time and left as
//    soon as all four pixels have matched. A lane takes a candidate when its
//    distance d = fma(dx, dx, dy^2) is at most the lane's best: of equally near
//    pixels a lane keeps the rightmost, and the later row.
//  - Merge: lanes 0, 1, 2, 3 in that order, each taken only when strictly nearer
//    than the pixel found so far. When no lane took a pixel in the row, the lanes
//    hold what an earlier merge already saw and none is strictly nearer, so the
//    merge is skipped.
//  - Remaining pixels (columns 4G .. columns - 1), one at a time: d =
//    fma(dy, dy, dx * dx) with the product dx * dx rounded first, taken only when
//    strictly nearer. The two paths square different operands inside the fused
//    step, so a pixel's distance depends on its path in the last bit.
//
// Differences to the cursor are exact whatever the cursor: dx comes from the
// cursor and the columns in double (exact there) and is rounded to float once;
// dy^2 is the exact 64-bit square, rounded to float once.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

constexpr float kFar = 3.40282347e+38f;  // the largest finite float; every distance lies below it
constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kEntryBytes = 16;
constexpr std::size_t kStackBytes = 1024;
// The buffer's size, 16 * count + 8, fits 32 bits up to this count on every target.
constexpr std::int64_t kMostEntries = (0xFFFFFFFFll - std::int64_t(kHeaderBytes)) / std::int64_t(kEntryBytes);

// The excluded values, each in all four lanes of an entry.
class WorkBuffer {
public:
    WorkBuffer(const std::uint32_t* values, std::size_t count) : count_(count)
    {
        const std::size_t bytes = kHeaderBytes + kEntryBytes * count;
        // On the stack the entries start on a 16-byte boundary, the header just before them.
        if (bytes <= kStackBytes)
            base_ = stack_ + kEntryBytes - kHeaderBytes;
        else
            base_ = heap_ = static_cast<unsigned char*>(std::malloc(bytes));
        if (!base_) return;
        const std::uint32_t header[2] = {static_cast<std::uint32_t>(count), 0};
        __builtin_memcpy(base_, header, kHeaderBytes);
        for (std::size_t k = 0; k < count; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(base_ + kHeaderBytes + kEntryBytes * k),
                             _mm_set1_epi32(static_cast<int>(values[k])));
    }
    // Called by hand, not from a destructor: a destructor would make the compiler
    // add an unwinding path, which brings the C++ runtime's exception support (and
    // its imports) into the Windows DLL.
    void release() const { std::free(heap_); }
    WorkBuffer(const WorkBuffer&) = delete;
    WorkBuffer& operator=(const WorkBuffer&) = delete;

    bool ready() const { return base_ != nullptr; }
    std::size_t count() const { return count_; }
    const __m128i* entries() const { return reinterpret_cast<const __m128i*>(base_ + kHeaderBytes); }

private:
    alignas(16) unsigned char stack_[kStackBytes + kEntryBytes];
    unsigned char* heap_ = nullptr;
    unsigned char* base_ = nullptr;
    std::size_t count_;
};

// All lanes set where the four pixels equal an entry's value. Blocks of four
// entries, then the rest; done as soon as every pixel has matched.
__m128i excluded_pixels(__m128i pixels, const __m128i* entry, std::size_t count)
{
    __m128i hit = _mm_setzero_si128();
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m128i h01 = _mm_or_si128(_mm_cmpeq_epi32(pixels, _mm_loadu_si128(entry + k)),
                                         _mm_cmpeq_epi32(pixels, _mm_loadu_si128(entry + k + 1)));
        const __m128i h23 = _mm_or_si128(_mm_cmpeq_epi32(pixels, _mm_loadu_si128(entry + k + 2)),
                                         _mm_cmpeq_epi32(pixels, _mm_loadu_si128(entry + k + 3)));
        hit = _mm_or_si128(hit, _mm_or_si128(h01, h23));
        if (_mm_movemask_ps(_mm_castsi128_ps(hit)) == 0xF) return hit;
    }
    for (; k < count; ++k) hit = _mm_or_si128(hit, _mm_cmpeq_epi32(pixels, _mm_loadu_si128(entry + k)));
    return hit;
}

// The remaining pixels' test: the list in order, up to the first match.
bool is_excluded(std::uint32_t pixel, const std::uint32_t* values, std::size_t count)
{
    for (std::size_t k = 0; k < count; ++k)
        if (values[k] == pixel) return true;
    return false;
}

struct Nearest {
    float distance = kFar;
    std::uint32_t value = 0;
    std::int32_t x = 0, y = 0;
    bool found = false;

    void take(float d, std::uint32_t v, std::int32_t column, std::int32_t row)
    {
        distance = d, value = v, x = column, y = row, found = true;
    }
};

// Each lane's nearest candidate so far, kept across rows.
struct LaneBests {
    __m128 distance = _mm_set1_ps(kFar);
    __m128 value = _mm_setzero_ps(), column = _mm_setzero_ps(), row = _mm_setzero_ps();  // int32 bits

    // Lanes 0 .. 3 in order, each taken only when strictly nearer than the pixel found.
    void merge_into(Nearest& nearest) const
    {
        alignas(16) float d[4];
        alignas(16) std::int32_t v[4], x[4], y[4];
        _mm_store_ps(d, distance);
        _mm_store_ps(reinterpret_cast<float*>(v), value);
        _mm_store_ps(reinterpret_cast<float*>(x), column);
        _mm_store_ps(reinterpret_cast<float*>(y), row);
        for (int l = 0; l < 4; ++l)
            if (nearest.distance > d[l]) nearest.take(d[l], static_cast<std::uint32_t>(v[l]), x[l], y[l]);
    }
};

// v rounded to float once, in SSE arithmetic (a 32-bit build would convert a
// 64-bit integer on the x87 unit, whose precision the host may have set to 53
// bits, rounding twice). Beyond 2^53 the bits below the 53rd are first rounded
// to odd, which leaves the rounding to 24 bits as if done at once.
float rounded_once(std::uint64_t v)
{
    if (v < (std::uint64_t(1) << 53)) return static_cast<float>(static_cast<double>(v));  // exact in double
    return static_cast<float>(static_cast<double>((v >> 11) | ((v & 0x7FF) != 0)) * 2048.0);
}

bool all_equal(__m128i a, __m128i b) { return _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(a, b))) == 0xF; }

// The two groups of four pixels last found all excluded, the more recent first (a
// plot alternates between background and grid). A group equal to one of them is
// all excluded too, which spares the list. Before any such group, four copies of
// the first excluded value.
struct KnownGroups {
    __m128i recent = _mm_setzero_si128(), older = _mm_setzero_si128();
};

struct Search {
    const WorkBuffer& excluded;
    const std::uint32_t* values;  // the caller's list, for the remaining pixels
    std::int32_t columns, cursorX, cursorY;
};

// One row: its groups into the lanes, the merge, then its remaining pixels.
void search_row(const Search& s, const std::uint32_t* pixels, std::int32_t r, LaneBests& lanes, Nearest& nearest,
                KnownGroups& known)
{
    const double dy = double(s.cursorY) - r;  // exact
    const std::uint64_t distanceY = static_cast<std::uint64_t>(dy < 0 ? -dy : dy);
    const __m128 dy2 = _mm_set1_ps(rounded_once(distanceY * distanceY));  // exact square, rounded once
    const __m128 rowLanes = _mm_castsi128_ps(_mm_set1_epi32(r));
    const __m256d laneOffsets = _mm256_setr_pd(0.0, 1.0, 2.0, 3.0);
    const std::int32_t groups = s.columns / 4;
    __m128 took = _mm_setzero_ps();
    const std::size_t count = s.excluded.count();
    const auto group = [&](std::int32_t c) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + c));
        if (count && all_equal(p, known.recent)) return;
        if (count && all_equal(p, known.older)) return std::swap(known.recent, known.older);
        const __m128i hit = excluded_pixels(p, s.excluded.entries(), count);
        if (_mm_movemask_ps(_mm_castsi128_ps(hit)) == 0xF) {
            known.older = known.recent;
            known.recent = p;
            return;
        }
        const __m128 dx = _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_set1_pd(double(s.cursorX) - c), laneOffsets));
        const __m128 d = _mm_fmadd_ps(dx, dx, dy2);
        const __m128 take = _mm_andnot_ps(_mm_castsi128_ps(hit), _mm_cmple_ps(d, lanes.distance));
        lanes.distance = _mm_blendv_ps(lanes.distance, d, take);
        lanes.value = _mm_blendv_ps(lanes.value, _mm_castsi128_ps(p), take);
        lanes.column = _mm_blendv_ps(lanes.column, _mm_castsi128_ps(_mm_setr_epi32(c, c + 1, c + 2, c + 3)), take);
        lanes.row = _mm_blendv_ps(lanes.row, rowLanes, take);
        took = _mm_or_ps(took, take);
    };
    // Two groups at a time while both equal the more recent known group: one compare for eight pixels.
    std::int32_t g = 0;
    for (; count && g + 2 <= groups; g += 2) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + 4 * g));
        const __m256i same = _mm256_cmpeq_epi32(p, _mm256_broadcastsi128_si256(known.recent));
        if (_mm256_movemask_ps(_mm256_castsi256_ps(same)) == 0xFF) continue;
        group(4 * g);
        group(4 * g + 4);
    }
    for (; g < groups; ++g) group(4 * g);
    if (_mm_movemask_ps(took)) lanes.merge_into(nearest);

    const float dyf = static_cast<float>(dy);
    for (std::int32_t c = 4 * groups; c < s.columns; ++c) {
        if (is_excluded(pixels[c], s.values, s.excluded.count())) continue;
        const float dx = static_cast<float>(double(s.cursorX) - c);
        const float d = zrcalc::fused_multiply_add(dyf, dyf, dx * dx);
        if (nearest.distance > d) nearest.take(d, pixels[c], c, r);
    }
}

}  // namespace

void ZRCALC_STDCALL zrcalcFindCursorXY(const uint32_t* rowStart, int32_t rowPitch, int32_t columns, int32_t rows,
                                       int32_t cursorX, int32_t cursorY, uint32_t* foundValue, int32_t* foundX,
                                       int32_t* foundY, const uint32_t* excludedValues, int32_t excludedCount)
{
    if (rows <= 0 || columns <= 0 || excludedCount > kMostEntries) return;
    const std::size_t count = excludedCount < 0 ? 0 : static_cast<std::size_t>(excludedCount);
    const WorkBuffer excluded(excludedValues, count);
    if (!excluded.ready()) return;

    // The next row lies rowPitch bytes lower, the pitch rounded toward zero to whole pixels.
    const std::ptrdiff_t step = rowPitch / 4;
    const Search s{excluded, excludedValues, columns, cursorX, cursorY};
    LaneBests lanes;
    Nearest nearest;
    const std::uint32_t* pixels = rowStart;
    KnownGroups known;
    if (count) known.recent = known.older = _mm_loadu_si128(excluded.entries());
    for (std::int32_t r = 0;; pixels -= step) {
        search_row(s, pixels, r, lanes, nearest, known);
        if (++r == rows) break;
    }
    excluded.release();
    if (!nearest.found) return;
    *foundValue = nearest.value;
    *foundX = nearest.x;
    *foundY = nearest.y;
}
