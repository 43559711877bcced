// Cursor search: areas up to 40 x 12 pixels of a few colours, pitches of both
// signs (the bitmap sized for exactly the rows the area spans), cursors anywhere,
// exclusion lists of -3 .. 80 values or a huge count over a short list. Stated
// results: a huge count searches nothing; otherwise the outputs are written when
// and only when a candidate exists, and name a candidate pixel with its value.
#include "fuzz_input.h"
#include "zrcalc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::Input in(data, size);
    const int32_t columns = in.in<int32_t>(-1, 40), rows = in.in<int32_t>(-1, 12);
    const int32_t width = std::max(columns, 0), extra = in.in<int32_t>(0, 7);
    const int32_t pitch = (in.ConsumeBool() ? 1 : -1) * (4 * width + extra), step = pitch / 4;
    const std::size_t span = rows > 0 ? std::size_t(std::abs(step)) * std::size_t(rows - 1) + std::size_t(width) : 0;
    zrfuzz::Array<uint32_t> bitmap(span);
    for (std::size_t i = 0; i < span; ++i) bitmap[i] = in.in<uint32_t>(0, 5);
    const uint32_t* row0 = bitmap.data() + (step > 0 && rows > 0 ? std::size_t(step) * std::size_t(rows - 1) : 0);
    const bool huge = in.in<int>(0, 15) == 0;
    const int32_t count = huge ? in.in<int32_t>(1 << 28, INT32_MAX) : in.in<int32_t>(-3, 80);
    zrfuzz::Array<uint32_t> list(huge ? 2 : std::size_t(std::max(count, 0)));
    for (std::size_t i = 0; i < list.size(); ++i) list[i] = in.in<uint32_t>(0, 5);
    const int32_t cx = in.ConsumeBool() ? in.in<int32_t>(-50, 90) : in.integer<int32_t>();
    const int32_t cy = in.ConsumeBool() ? in.in<int32_t>(-20, 30) : in.integer<int32_t>();
    zrfuzz::Array<uint32_t> value(1);
    zrfuzz::Array<int32_t> fx(1), fy(1);
    value[0] = 77, fx[0] = -5, fy[0] = -5;
    zrcalcFindCursorXY(row0, pitch, columns, rows, cx, cy, value.data(), fx.data(), fy.data(), list.data(), count);
    const auto excluded = [&](uint32_t v) {
        for (int32_t i = 0; i < (huge ? 0 : count); ++i)
            if (list[std::size_t(i)] == v) return true;
        return false;
    };
    bool candidate = false;
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < columns; ++c) candidate |= !excluded(row0[std::ptrdiff_t(r) * -step + c]);
    const bool written = !(value[0] == 77 && fx[0] == -5 && fy[0] == -5);
    ZRFUZZ_CHECK(written == (candidate && !huge));
    if (written) {
        ZRFUZZ_CHECK(fx[0] >= 0 && fx[0] < columns && fy[0] >= 0 && fy[0] < rows);
        ZRFUZZ_CHECK(row0[std::ptrdiff_t(fy[0]) * -step + fx[0]] == value[0] && !excluded(value[0]));
    }
    return 0;
}
