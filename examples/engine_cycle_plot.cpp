// Part 3 of the example tour: one engine cycle drawn the way a combustion
// analyser draws it, into a 32-bit bottom-up bitmap that the program paints
// itself and writes as a PNG.
//  - A synthetic cycle: the cylinder volume of a slider-crank over 720 degrees of
//    crank angle and a single-zone pressure trace (polytropic compression and
//    expansion, heat released along a Wiebe curve), plus sensor noise.
//  - The noisy pressure smoothed with the averaging filter.
//  - Left panel, pressure over crank angle: the pressure axis mapped with the PV
//    mapping (zrcalcCAPV_lin), the angle axis by plain arithmetic.
//  - Right panel, the PV loop on logarithmic axes: the host's loop over
//    zrcalcGetXYValGraph2D, four points per call.
//  - A cursor placed in the right panel; zrcalcFindCursorXY finds the nearest
//    pixel of a trace (background, grid, axes and the cursor's own colour are
//    excluded) and the pick is marked with a ring.
#include "engine_cycle_plot.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "zrcalc.h"

namespace {

constexpr uint32_t kBackground = 0xFFFFFFFF, kGrid = 0xFFE0E0E0, kAxis = 0xFF000000, kCursor = 0xFF808080;
constexpr uint32_t kPressureTrace = 0xFFC04000, kPvTrace = 0xFF0050C0, kPick = 0xFF00A000;  // 0xAARRGGBB

// A bitmap stored bottom-up, as the cursor search expects: image row y (0 at the
// top) lives at memory row height - 1 - y.
struct Bitmap {
    int width, height;
    std::vector<uint32_t> pixels;
    Bitmap(int w, int h) : width(w), height(h), pixels(std::size_t(w) * h, kBackground) {}
    uint32_t* row(int y) { return &pixels[std::size_t(height - 1 - y) * width]; }
    void set(int x, int y, uint32_t colour)
    {
        if (x >= 0 && x < width && y >= 0 && y < height) row(y)[x] = colour;
    }
    void line(int x0, int y0, int x1, int y1, uint32_t colour)  // Bresenham
    {
        const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0), sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        for (int err = dx + dy;;) {
            set(x0, y0, colour);
            if (x0 == x1 && y0 == y1) return;
            const int e2 = 2 * err;
            if (e2 >= dy) err += dy, x0 += sx;
            if (e2 <= dx) err += dx, y0 += sy;
        }
    }
    void ring(int cx, int cy, int radius, uint32_t colour)
    {
        for (int a = 0; a < 64; ++a)
            set(cx + int(std::lround(radius * std::cos(a * M_PI / 32))),
                cy + int(std::lround(radius * std::sin(a * M_PI / 32))), colour);
    }
};

struct Panel {
    int16_t left, top, right, bottom;
};

void draw_frame(Bitmap& image, const Panel& p, int vertical_lines, int horizontal_lines)
{
    for (int i = 1; i < vertical_lines; ++i) {
        const int x = p.left + (p.right - p.left) * i / vertical_lines;
        image.line(x, p.top, x, p.bottom, kGrid);
    }
    for (int i = 1; i < horizontal_lines; ++i) {
        const int y = p.top + (p.bottom - p.top) * i / horizontal_lines;
        image.line(p.left, y, p.right, y, kGrid);
    }
    image.line(p.left, p.bottom, p.right, p.bottom, kAxis);
    image.line(p.left, p.top, p.left, p.bottom, kAxis);
}

void draw_polyline(Bitmap& image, const std::vector<int32_t>& xs, const std::vector<int32_t>& ys, uint32_t colour)
{
    for (std::size_t i = 1; i < xs.size(); ++i) image.line(xs[i - 1], ys[i - 1], xs[i], ys[i], colour);
}

// One cycle, 0.5 degree steps from -360 (gas exchange TDC) to +360 degrees:
// volumes in cm^3, pressures in bar.
struct Cycle {
    std::vector<double> angle, volume;
    std::vector<float> pressure;
};

Cycle synthesise_cycle()
{
    const double bore = 8.1, stroke = 9.0, rod = 14.5, ratio = 10.5;  // cm; compression ratio
    const double swept = M_PI / 4 * bore * bore * stroke, clearance = swept / (ratio - 1);
    const double crank = stroke / 2, gamma = 1.32, heat = 9000.0;  // heat in bar * cm^3
    const int steps = 1440;
    Cycle c;
    double p = 1.0, previous_volume = 0.0, previous_burnt = 0.0;
    uint32_t noise = 2024;
    for (int i = 0; i <= steps; ++i) {
        const double deg = -360.0 + 720.0 * i / steps, th = deg * M_PI / 180.0;
        const double s = crank * std::sin(th);
        const double v = clearance + M_PI / 4 * bore * bore *
                                         (crank * (1 - std::cos(th)) + rod - std::sqrt(rod * rod - s * s));
        // Wiebe burn from 12 degrees before top dead centre over 50 degrees.
        const double x = std::clamp((deg + 12.0) / 50.0, 0.0, 1.0), burnt = 1 - std::exp(-5.0 * std::pow(x, 3.0));
        if (deg < -180.0) {
            p = 1.0;  // intake stroke at ambient pressure
        } else if (deg > 180.0) {
            p = 1.0 + (p - 1.0) * 0.9;  // exhaust: the cylinder blows down
        } else if (i > 0) {
            const double dv = v - previous_volume;
            p += -gamma * p * dv / v + (gamma - 1) / v * heat * (burnt - previous_burnt);
        }
        previous_volume = v, previous_burnt = burnt;
        noise = noise * 1664525u + 1013904223u;
        c.angle.push_back(deg);
        c.volume.push_back(v);
        c.pressure.push_back(float(p + 0.04 * (double(noise >> 8) / double(1u << 24) - 0.5)));
    }
    return c;
}

bool write_png(const char* path, Bitmap& image)
{
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info && !setjmp(png_jmpbuf(png));
    if (ok) {
        png_init_io(png, file);
        png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<png_byte> rgb(std::size_t(image.width) * 3);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const uint32_t v = image.row(y)[x];
                rgb[3 * x] = png_byte(v >> 16), rgb[3 * x + 1] = png_byte(v >> 8), rgb[3 * x + 2] = png_byte(v);
            }
            png_write_row(png, rgb.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

}  // namespace

bool plot_engine_cycle(const char* png_path)
{
    Cycle cycle = synthesise_cycle();
    const auto n = uint32_t(cycle.pressure.size());
    std::vector<float> smooth(n);
    zrcalcCACalcAveFilter_float(cycle.pressure.data(), smooth.data(), 5, n);  // a 5-sample moving mean
    const float peak = *std::max_element(smooth.begin(), smooth.end());
    const auto peak_at = std::size_t(std::max_element(smooth.begin(), smooth.end()) - smooth.begin());

    Bitmap image(960, 480);
    const Panel angle_panel{40, 30, 460, 440}, pv_panel{520, 30, 940, 440};
    draw_frame(image, angle_panel, 8, 6);
    draw_frame(image, pv_panel, 6, 6);

    // Pressure over crank angle: 0 .. 60 bar upwards from the panel's bottom edge.
    const float p_max = 60.0f, scale = float(angle_panel.top - angle_panel.bottom) / p_max;
    std::vector<int32_t> ys(n), xs(n);
    zrcalcCAPV_lin(smooth.data(), n, ys.data(), angle_panel.top, angle_panel.bottom, scale, angle_panel.bottom);
    for (uint32_t i = 0; i < n; ++i)
        xs[i] = angle_panel.left + int32_t(std::lround((cycle.angle[i] + 360.0) / 720.0 *
                                                       (angle_panel.right - angle_panel.left)));
    draw_polyline(image, xs, ys, kPressureTrace);

    // The PV loop, log volume against log pressure: the host's loop, four points
    // per call (one near the end), pointers and index advanced by what it did.
    XYValGraph2DParams g{};
    g.xSource = 1;
    g.yDataType = 5;  // floats
    g.xAxisMode = 1, g.yAxisMode = 1;
    g.rectLeft = pv_panel.left, g.rectTop = pv_panel.top, g.rectRight = pv_panel.right, g.rectBottom = pv_panel.bottom;
    g.yFactor = 1.0, g.yOffset = 0.0;
    g.xMin = 40.0, g.xMax = 600.0, g.xLogMin = std::log10(g.xMin), g.xLogMax = std::log10(g.xMax);
    g.yMin = 0.5, g.yMax = 100.0, g.yLogMin = std::log10(g.yMin), g.yLogMax = std::log10(g.yMax);
    g.xData = cycle.volume.data();
    uint32_t processed = 0;
    g.processed = &processed;
    for (uint32_t done = 0; done < n; done += processed) {
        g.count = n - done, g.index = done;
        g.yData = smooth.data() + done;
        g.xPixels = xs.data() + done, g.yPixels = ys.data() + done;
        zrcalcGetXYValGraph2D(&g);
    }
    draw_polyline(image, xs, ys, kPvTrace);

    // The cursor: a cross in the PV panel; the search area is the panel.
    const int cursor_x = 740, cursor_y = 200;
    image.line(cursor_x - 8, cursor_y, cursor_x + 8, cursor_y, kCursor);
    image.line(cursor_x, cursor_y - 8, cursor_x, cursor_y + 8, kCursor);
    const uint32_t excluded[] = {kBackground, kGrid, kAxis, kCursor};
    uint32_t found_value = 0;
    int32_t found_x = -1, found_y = -1;
    zrcalcFindCursorXY(image.row(pv_panel.top) + pv_panel.left, int32_t(image.width * sizeof(uint32_t)),
                       pv_panel.right - pv_panel.left + 1, pv_panel.bottom - pv_panel.top + 1,
                       cursor_x - pv_panel.left, cursor_y - pv_panel.top, &found_value, &found_x, &found_y, excluded,
                       4);
    const bool picked = found_x >= 0 && found_value == kPvTrace;
    if (picked) image.ring(pv_panel.left + found_x, pv_panel.top + found_y, 6, kPick);

    std::printf("3. an engine cycle of %u points: peak pressure %.2f bar at %.1f degrees after TDC\n", n,
                double(peak), cycle.angle[peak_at]);
    std::printf("   cursor at (%d, %d) picks the PV trace's pixel (%d, %d)\n", cursor_x, cursor_y,
                pv_panel.left + found_x, pv_panel.top + found_y);
    const bool written = write_png(png_path, image);
    std::printf("   picture written to %s%s\n\n", png_path, written ? "" : " FAILED");
    return picked && written && peak > 20.0f && peak < 100.0f;
}
