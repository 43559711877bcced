// zrcalcFindCursorXY through the sweep driver (rows going down and up in memory,
// lists of 0, 4, 63 and 70 excluded values), the stated ties, and the counts and
// cursors that the library refuses or mends.

#include "support/sweep.h"

namespace {

using V = std::vector<int32_t>;

// The stated rule: lanes by column mod 4 over the groups (taking d <= their best),
// merged in lane order, then the remaining pixels; both merge and remaining pixels
// replace only on a strictly smaller distance. Differences and dy^2 exact.
void model(const uint32_t* row0, int32_t pitch, int32_t columns, int32_t rows, int32_t cx, int32_t cy, uint32_t* value,
           int32_t* x, int32_t* y, const uint32_t* list, int32_t count)
{
    if (rows <= 0 || columns <= 0 || count >= (1 << 28)) return;
    float best[5] = {3.40282347e+38f, 3.40282347e+38f, 3.40282347e+38f, 3.40282347e+38f, 3.40282347e+38f};
    int32_t at[5][3] = {}, any = 0;  // lanes 0 .. 3, then the result: value, column, row
    const auto candidate = [&](uint32_t p) { return std::count(list, list + std::max(count, 0), p) == 0; };
    const auto take = [&](int i, float d, int32_t v, int32_t c, int32_t r) {
        best[i] = d, at[i][0] = v, at[i][1] = c, at[i][2] = r, any |= i == 4;
    };
    for (int32_t r = 0, groups = columns / 4 * 4; r < rows; ++r) {
        const uint32_t* row = row0 - std::ptrdiff_t(r) * (pitch / 4);
        const uint64_t ady = uint64_t(std::abs(int64_t(cy) - r));
        const float dy = float(double(cy) - r), dy2 = float(ady * ady);
        for (int32_t c = 0; c < groups; ++c) {
            const float dx = float(double(cx) - c), d = zrtest::fused(dx, dx, dy2);
            if (candidate(row[c]) && d <= best[c % 4]) take(c % 4, d, int32_t(row[c]), c, r);
        }
        for (int l = 0; l < 4; ++l)
            if (best[4] > best[l]) take(4, best[l], at[l][0], at[l][1], at[l][2]);
        for (int32_t c = groups; c < columns; ++c) {
            const float dx = float(double(cx) - c), d = zrtest::fused(dy, dy, dx * dx);
            if (candidate(row[c]) && best[4] > d) take(4, d, int32_t(row[c]), c, r);
        }
    }
    if (any) *value = uint32_t(at[4][0]), *x = at[4][1], *y = at[4][2];
}

uint32_t listed(uint32_t k) { return 0xFF000000u + 0x10101u * k; }  // the k-th excluded value
int32_t rows_at(uint32_t n) { return int32_t(1 + n % 4); }
int32_t stride_at(uint32_t n) { return int32_t(n + n % 3); }  // pixels from one row to the next

// count = columns; the first and the last row lie at the array's ends, the pitch
// in bytes has n mod 4 to round away. The cursor is now and then far off, where
// distances round and ties and flips come from float.
template <class Find>
zrtest::Body run(Find find, int32_t count, bool down)
{
    return [=](zrtest::Arrays a, uint32_t n) {
        const int32_t stride = stride_at(n), pitch = 4 * stride + int32_t(n % 4);
        const int32_t far = n % 3 ? 0 : int32_t(n % 5) * (3 << 23) - (6 << 23);
        find(a.at<uint32_t>(0) + (down ? (rows_at(n) - 1) * stride : 0), down ? pitch : -pitch, int32_t(n),
             rows_at(n), far + int32_t(n * 7 % 29) - 5, far / 2 + int32_t(n % 9) - 2, a.at<uint32_t>(2),
             a.at<int32_t>(3), a.at<int32_t>(4), a.at<uint32_t>(1), count);
    };
}

zrtest::Case sweep(int32_t count, bool down)
{
    // Runs of pixels, so that groups repeat; one run in six not excluded (0 among them).
    const auto pixels = [count](void* d, size_t n, uint64_t seed) {
        std::mt19937_64 rng(seed);
        for (uint32_t i = 0, *p = static_cast<uint32_t*>(d); i < n; ++i)
            p[i] = i && rng() % 8  ? p[i - 1]
                   : rng() % 6 ? listed(uint32_t(rng() % std::max(count, 1)))
                               : i % 2 * 0xC0FF00u;
    };
    const auto list = [](void* d, size_t n, uint64_t) {
        for (uint32_t k = 0; k < n; ++k) static_cast<uint32_t*>(d)[k] = listed(k);
    };
    using zrtest::Dir;
    return {"zrcalcFindCursorXY", std::to_string(count) + (down ? " excluded" : " excluded, rows upward"),
            {zrtest::in<uint32_t>(pixels, [](uint32_t n) { return size_t(rows_at(n) - 1) * stride_at(n) + n; }),
             zrtest::in<uint32_t>(list, [count](uint32_t) { return size_t(count); }), zrtest::cell<uint32_t>(Dir::Out),
             zrtest::cell<int32_t>(Dir::Out), zrtest::cell<int32_t>(Dir::Out)},
            27, run(zrcalcFindCursorXY, count, down), run(model, count, down), {}, {67}, 4};
}

ZRTEST_SWEEP(cursor_search)
{
    return {sweep(0, true), sweep(4, true), sweep(63, true), sweep(70, true), sweep(4, false)};
}

// The area as text, row 0 first: '.' the background (excluded, first of a list
// of 70 values) and any other character a pixel of that value. {value, x, y}, or
// the outputs' prior {0, -1, -1}.
V find(const std::vector<std::string>& area, int32_t cx, int32_t cy, int32_t count = 1, int32_t rows = 0)
{
    std::vector<uint32_t> bitmap, list{'.'};
    for (auto r = area.rbegin(); r != area.rend(); ++r) bitmap.insert(bitmap.end(), r->begin(), r->end());
    for (uint32_t k = 1; k < 70; ++k) list.push_back(listed(k));
    const int32_t columns = int32_t(area[0].size());
    V found{0, -1, -1};
    rows = rows ? rows : int32_t(area.size());
    zrcalcFindCursorXY(bitmap.data() + bitmap.size() - columns, 4 * columns, columns, rows, cx, cy,
                       reinterpret_cast<uint32_t*>(&found[0]), &found[1], &found[2], list.data(), count);
    return found;
}

TEST(FindCursorXY, StatedValuesTiesRefusalsAndFarCursors)
{
    EXPECT_EQ(find({".a..b"}, 4, 0), (V{'b', 4, 0}));
    EXPECT_EQ(find({"..a...b."}, 4, 0), (V{'b', 6, 0})) << "a lane keeps the rightmost";
    EXPECT_EQ(find({".a.b"}, 2, 0), (V{'a', 1, 0})) << "lanes merge in order";
    EXPECT_EQ(find({"...a", "....", "...b"}, 3, 1), (V{'a', 3, 0})) << "the earlier row";
    EXPECT_EQ(find({"a...b"}, 2, 0), (V{'a', 0, 0})) << "a remaining pixel does not displace a group pixel";
    EXPECT_EQ(find({"a....", ".....", ".b..."}, -2, 3), (V{'b', 1, 2})) << "cursor outside";
    for (int32_t count : {63, 70}) EXPECT_EQ(find({"..c.", "a..b"}, 0, 0, count), (V{'a', 0, 1})) << "stack, heap";
    EXPECT_EQ(find({"....."}, 3, 0, -1), (V{'.', 3, 0})) << "a negative count excludes nothing";
    const V untouched{0, -1, -1};
    EXPECT_EQ(find({"...."}, 0, 0), untouched) << "no candidate";
    EXPECT_EQ(find({"ab"}, 0, 0, 1, -1), untouched);
    EXPECT_EQ(find({""}, 0, 0), untouched);
    // A buffer of 2^32 bytes or more; on 32-bit x86 also one of 2^32 - 8 bytes, which no heap there has.
    for (int32_t count : {INT32_MAX, 1 << 28, (1 << 28) - int32_t(sizeof(void*) == 4)})
        EXPECT_EQ(find({"ab"}, 0, 0, count), untouched) << count;
    // Where 32-bit differences or dy^2 would wrap and make a far pixel look near.
    EXPECT_EQ(find({"a...", "b..."}, 0, 46341), (V{'b', 0, 1}));
    std::string row(204, '.');
    row[0] = 'a', row[200] = 'b';
    EXPECT_EQ(find({row}, INT32_MIN, 0), (V{'a', 0, 0}));
}

}  // namespace
