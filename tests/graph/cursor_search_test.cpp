// zrcalcFindCursorXY through the sweep driver (rows going down and up in memory,
// lists of 0, 4, 63 and 70 excluded values), the stated ties, and the counts and
// cursors that the library refuses or mends.

#include "support/sweep.h"

namespace {

using Find = void (*)(const uint32_t*, int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t*, int32_t*, int32_t*,
                      const uint32_t*, int32_t);

// The stated rule: lanes by column mod 4 over the groups (taking d <= their best),
// merged in lane order, then the remaining pixels; both merge and remaining pixels
// replace only on a strictly smaller distance. Differences and dy^2 exact.
void model(const uint32_t* row0, int32_t pitch, int32_t columns, int32_t rows, int32_t cx, int32_t cy, uint32_t* value,
           int32_t* x, int32_t* y, const uint32_t* list, int32_t count)
{
    if (rows <= 0 || columns <= 0 || count >= (1 << 28)) return;
    float best = 3.40282347e+38f, lane[4] = {best, best, best, best};
    int32_t at[4][3] = {}, found[3] = {}, any = 0;
    const auto candidate = [&](uint32_t p) { return std::count(list, list + std::max(count, 0), p) == 0; };
    const auto merge = [&](float d, uint32_t v, int32_t c, int32_t r) {
        if (best > d) best = d, found[0] = int32_t(v), found[1] = c, found[2] = r, any = 1;
    };
    for (int32_t r = 0, groups = columns / 4 * 4; r < rows; ++r) {
        const uint32_t* row = row0 - std::ptrdiff_t(r) * (pitch / 4);
        const uint64_t ady = uint64_t(std::abs(int64_t(cy) - r));
        const float dy = float(double(cy) - r), dy2 = float(ady * ady);
        for (int32_t c = 0; c < groups; ++c) {
            const float dx = float(double(cx) - c), d = zrtest::fused(dx, dx, dy2);
            if (!candidate(row[c]) || !(d <= lane[c % 4])) continue;
            lane[c % 4] = d, at[c % 4][0] = int32_t(row[c]), at[c % 4][1] = c, at[c % 4][2] = r;
        }
        for (int l = 0; l < 4; ++l) merge(lane[l], uint32_t(at[l][0]), at[l][1], at[l][2]);
        for (int32_t c = groups; c < columns; ++c) {
            const float dx = float(double(cx) - c), d = zrtest::fused(dy, dy, dx * dx);
            if (candidate(row[c])) merge(d, row[c], c, r);
        }
    }
    if (any) *value = uint32_t(found[0]), *x = found[1], *y = found[2];
}

uint32_t listed(uint32_t k) { return 0xFF000000u + 0x10101u * k; }  // the k-th excluded value
int32_t rows_at(uint32_t n) { return int32_t(1 + n % 4); }
int32_t stride_at(uint32_t n) { return int32_t(n + n % 3); }  // pixels from one row to the next
size_t bitmap_length(uint32_t n) { return size_t(rows_at(n) - 1) * stride_at(n) + n; }

// count = columns; the first and the last row lie at the array's ends. The pitch
// in bytes has n mod 4 to round away; one run of pixels in six is not excluded.
zrtest::Body run(Find find, int32_t count, bool down)
{
    return [=](zrtest::Arrays a, uint32_t n) {
        const int32_t stride = stride_at(n), pitch = 4 * stride + int32_t(n % 4), cx = a.at<int32_t>(2)[0],
                      cy = a.at<int32_t>(2)[1];
        find(a.at<uint32_t>(0) + (down ? (rows_at(n) - 1) * stride : 0), down ? pitch : -pitch, int32_t(n),
             rows_at(n), cx, cy, a.at<uint32_t>(3), a.at<int32_t>(4), a.at<int32_t>(5), a.at<uint32_t>(1), count);
    };
}

zrtest::Case sweep(int32_t count, bool down)
{
    const auto pixels = [count](size_t n, uint64_t seed) {
        std::mt19937_64 rng(seed);
        std::vector<uint32_t> p(n);
        for (size_t i = 0; i < n; ++i)  // runs, so that groups repeat
            p[i] = i && rng() % 8 ? p[i - 1] : rng() % 6 ? listed(uint32_t(rng() % std::max(count, 1))) : i % 2 * 0xC0FF00u;
        return p;
    };
    const auto cursor = [](size_t, uint64_t seed) {  // far now and then: distances round, ties and flips in float
        const int32_t far = seed % 3 ? 0 : int32_t(seed % 5) * (3 << 23) - (6 << 23);
        return std::vector<int32_t>{far + int32_t(seed % 29) - 5, far / 2 + int32_t(seed % 9) - 2};
    };
    const auto list = [](size_t n, uint64_t) {
        std::vector<uint32_t> v(n);
        for (uint32_t k = 0; k < n; ++k) v[k] = listed(k);
        return v;
    };
    return {"zrcalcFindCursorXY", std::to_string(count) + (down ? " excluded" : " excluded, rows upward"),
            {zrtest::in<uint32_t>(zrtest::fill_with<uint32_t>(pixels), bitmap_length),
             zrtest::in<uint32_t>(zrtest::fill_with<uint32_t>(list), [count](uint32_t) { return size_t(count); }),
             {zrtest::elem_of<int32_t>(), zrtest::Dir::In, [](uint32_t) { return size_t(2); },
              zrtest::fill_with<int32_t>(cursor), 32},
             zrtest::cell<uint32_t>(zrtest::Dir::Out), zrtest::cell<int32_t>(zrtest::Dir::Out),
             zrtest::cell<int32_t>(zrtest::Dir::Out)},
            19, run(zrcalcFindCursorXY, count, down), run(model, count, down), {}, {35, 67}, 4};
}

ZRTEST_SWEEP(cursor_search)
{
    return {sweep(0, true), sweep(4, true), sweep(63, true), sweep(70, true), sweep(4, false)};
}

// The area as text, row 0 first: '.' the background (excluded, first of a list
// of 70 values) and any other character a pixel of that value. {value, x, y}, or
// the outputs' prior {0, -1, -1}.
std::vector<int32_t> find(const std::vector<std::string>& area, int32_t cx, int32_t cy, int32_t count = 1,
                          int32_t rows = 0)
{
    std::vector<uint32_t> bitmap, list(70);
    for (auto r = area.rbegin(); r != area.rend(); ++r) bitmap.insert(bitmap.end(), r->begin(), r->end());
    for (uint32_t k = 0; k < 70; ++k) list[k] = k ? listed(k) : '.';
    const int32_t columns = int32_t(area[0].size());
    uint32_t value = 0;
    int32_t x = -1, y = -1;
    rows = rows ? rows : int32_t(area.size());
    zrcalcFindCursorXY(bitmap.data() + bitmap.size() - columns, 4 * columns, columns, rows, cx, cy, &value, &x, &y,
                       list.data(), count);
    return {int32_t(value), x, y};
}

TEST(FindCursorXY, StatedValuesAndTies)
{
    using V = std::vector<int32_t>;
    EXPECT_EQ(find({".a..b"}, 4, 0), (V{'b', 4, 0}));
    EXPECT_EQ(find({"..a...b."}, 4, 0), (V{'b', 6, 0})) << "a lane keeps the rightmost";
    EXPECT_EQ(find({".a.b"}, 2, 0), (V{'a', 1, 0})) << "lanes merge in order";
    EXPECT_EQ(find({"...a", "....", "...b"}, 3, 1), (V{'a', 3, 0})) << "the earlier row";
    EXPECT_EQ(find({"a...b"}, 2, 0), (V{'a', 0, 0})) << "a remaining pixel does not displace a group pixel";
    EXPECT_EQ(find({"a....", ".....", ".b..."}, -2, 3), (V{'b', 1, 2})) << "cursor outside";
    for (int32_t count : {63, 70}) EXPECT_EQ(find({"..c.", "a..b"}, 0, 0, count), (V{'a', 0, 1}));
    EXPECT_EQ(find({"....."}, 3, 0, -1), (V{'.', 3, 0})) << "a negative count excludes nothing";
}

TEST(FindCursorXY, LeavesTheOutputsWhenItSearchesNothing)
{
    const std::vector<int32_t> untouched{0, -1, -1};
    EXPECT_EQ(find({"...."}, 0, 0), untouched) << "no candidate";
    EXPECT_EQ(find({"ab"}, 0, 0, 1, -1), untouched);
    EXPECT_EQ(find({""}, 0, 0), untouched);
    for (int32_t count : {INT32_MAX, 1 << 28}) EXPECT_EQ(find({"ab"}, 0, 0, count), untouched) << count;
    if (sizeof(void*) == 4) {
        EXPECT_EQ(find({"ab"}, 0, 0, (1 << 28) - 1), untouched) << "no heap for 4 GiB";
    }
}

// Where 32-bit differences or dy^2 would wrap and make a far pixel look near.
TEST(FindCursorXY, FarCursorsMeasureExactly)
{
    EXPECT_EQ(find({"a...", "b..."}, 0, 46341), (std::vector<int32_t>{'b', 0, 1}));
    std::string row(204, '.');
    row[0] = 'a', row[200] = 'b';
    EXPECT_EQ(find({row}, INT32_MIN, 0), (std::vector<int32_t>{'a', 0, 0}));
}

}  // namespace
