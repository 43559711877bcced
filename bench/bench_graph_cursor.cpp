// Cursor search over a 1920 x 1080 plot: a background, a grid every 64 pixels,
// axes and four traces (sine curves two pixels thick), the cursor in the middle.
// The exclusion list holds the 4 decoration colours, or 66 further colours that
// never occur followed by those 4 (70, from the heap), so that a background
// pixel is only known to be excluded at the end of the list. Each beside a plain
// scalar loop of the same rule (the pixels one at a time, the list searched in
// order up to the first match, four lane bests merged per row), in pixels/s.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080;
constexpr uint32_t kBackground = 0xFFFFFFu, kGrid = 0xD0D0D0u, kAxis = 0x000000u, kLabel = 0x404040u;

// Rows bottom-up in memory: row 0 (the top of the plot) last.
const std::vector<uint32_t>& plot()
{
    static const std::vector<uint32_t> bitmap = [] {
        std::vector<uint32_t> b(std::size_t(kWidth) * kHeight, kBackground);
        const auto at = [&](int32_t x, int32_t y) -> uint32_t& { return b[std::size_t(kHeight - 1 - y) * kWidth + x]; };
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                if (x % 64 == 0 || y % 64 == 0) at(x, y) = kGrid;
                if (x == 40 || y == kHeight - 40) at(x, y) = kAxis;
                if (x < 30 && y % 64 < 8 && (x + y) % 3 == 0) at(x, y) = kLabel;
            }
        const uint32_t traces[4] = {0xFF0000u, 0x00A000u, 0x0000FFu, 0xC000C0u};
        for (int t = 0; t < 4; ++t)
            for (int32_t x = 41; x < kWidth; ++x) {
                const int32_t y = int32_t(kHeight / 2 + (kHeight / 3) * std::sin(0.004 * (t + 1) * x + t));
                at(x, y) = at(x, y + 1) = traces[t];
            }
        return b;
    }();
    return bitmap;
}

std::vector<uint32_t> excluded(int count)
{
    std::vector<uint32_t> list;
    for (int k = 0; k < count - 4; ++k) list.push_back(0x10000000u + uint32_t(k));
    for (uint32_t v : {kBackground, kGrid, kAxis, kLabel}) list.push_back(v);
    return list;
}

using Find = void (*)(const uint32_t*, int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t*, int32_t*, int32_t*,
                      const uint32_t*, int32_t);

// The plain loop of the same rule: lanes by column mod 4 over the groups, taking
// d = fma(dx, dx, dy^2) when at most their best; merged in lane order when strictly
// nearer; then the remaining pixels with d = fma(dy, dy, dx * dx).
void scalar_loop(const uint32_t* rowStart, int32_t rowPitch, int32_t columns, int32_t rows, int32_t cursorX,
                 int32_t cursorY, uint32_t* foundValue, int32_t* foundX, int32_t* foundY, const uint32_t* list,
                 int32_t count)
{
    float best = 3.40282347e+38f, lane[4] = {best, best, best, best};
    uint32_t laneValue[4] = {}, value = 0;
    int32_t laneX[4] = {}, laneY[4] = {}, x = 0, y = 0;
    bool found = false;
    const auto excluded = [&](uint32_t p) {
        for (int32_t k = 0; k < count; ++k)
            if (list[k] == p) return true;
        return false;
    };
    const int32_t groups = columns / 4 * 4;
    for (int32_t r = 0; r < rows; ++r) {
        const uint32_t* row = rowStart - std::ptrdiff_t(r) * (rowPitch / 4);
        const double dy = double(cursorY) - r;
        const uint64_t ady = uint64_t(std::fabs(dy));
        const float dy2 = float(ady * ady), dyf = float(dy);
        for (int32_t c = 0; c < groups; ++c) {
            if (excluded(row[c])) continue;
            const float dx = float(double(cursorX) - c), d = std::fma(dx, dx, dy2);
            if (d <= lane[c % 4]) lane[c % 4] = d, laneValue[c % 4] = row[c], laneX[c % 4] = c, laneY[c % 4] = r;
        }
        for (int l = 0; l < 4; ++l)
            if (best > lane[l]) best = lane[l], value = laneValue[l], x = laneX[l], y = laneY[l], found = true;
        for (int32_t c = groups; c < columns; ++c) {
            if (excluded(row[c])) continue;
            const float dx = float(double(cursorX) - c), d = std::fma(dyf, dyf, dx * dx);
            if (best > d) best = d, value = row[c], x = c, y = r, found = true;
        }
    }
    if (found) *foundValue = value, *foundX = x, *foundY = y;
}

void search(benchmark::State& state, Find find)
{
    const std::vector<uint32_t>& bitmap = plot();
    const std::vector<uint32_t> list = excluded(int(state.range(0)));
    const uint32_t* rowStart = bitmap.data() + std::size_t(kHeight - 1) * kWidth;
    uint32_t value = 0;
    int32_t x = -1, y = -1;
    for (auto _ : state) {
        find(rowStart, 4 * kWidth, kWidth, kHeight, kWidth / 2, kHeight / 2, &value, &x, &y, list.data(),
             int32_t(list.size()));
        benchmark::DoNotOptimize(value);
        benchmark::ClobberMemory();
    }
    uint32_t v2 = 0;
    int32_t x2 = -1, y2 = -1;
    (find == zrcalcFindCursorXY ? scalar_loop : zrcalcFindCursorXY)(rowStart, 4 * kWidth, kWidth, kHeight,
                                                                    kWidth / 2, kHeight / 2, &v2, &x2, &y2,
                                                                    list.data(), int32_t(list.size()));
    if (v2 != value || x2 != x || y2 != y) state.SkipWithError("the library and the plain loop disagree");
    zrbench::set_throughput(state, std::size_t(kWidth) * kHeight, sizeof(uint32_t));
}

void BM_FindCursorXY(benchmark::State& state) { search(state, zrcalcFindCursorXY); }
void BM_ScalarLoop_FindCursorXY(benchmark::State& state) { search(state, scalar_loop); }

}  // namespace

BENCHMARK(BM_FindCursorXY)->Arg(4)->Arg(70)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScalarLoop_FindCursorXY)->Arg(4)->Arg(70)->Unit(benchmark::kMillisecond);
