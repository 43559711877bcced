// Phase angles of the harmonic orders 1 .. n of a complex spectrum (contract,
// with every step and rounding that fixes the bits, in zrcalc.h).
//
// One scalar path. An order costs two double arctangents of the C runtime and a
// few single-precision steps; lanes could not share the arctangents without an
// arctangent of their own, whose last bits would differ from the runtime's.
//
// The phase of a line depends on that line alone, and the lines of successive
// orders never go back (the float product k * linesPerOrder grows with k). So
// the phases of the previous order's two lines serve the next order when it
// uses the same lines or starts one line further on: with fewer than two lines
// per order most arctangents are taken once instead of twice, and no bit moves.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

using zrcalc::fused_multiply_add;

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr float kTurnsPerDegree = 0.00277777785f;  // 1/360 rounded to float
// Line positions at or above this do not convert to a line index.
constexpr float kFirstPositionTooFar = 0x1p31f;

// Phase of line m in degrees, 0 to 360, measured from the imaginary axis toward
// the real axis. The 360 is added in float: the sum of two floats rounded once in
// double and again to float is the float sum (double has more than twice float's
// digits), so either way gives these bits.
float line_phase(const float* spectrum, std::size_t m)
{
    const double re = spectrum[2 * m];
    const double im = spectrum[2 * m + 1];
    float phase = static_cast<float>(std::atan2(re, im) * kDegreesPerRadian);
    if (phase < 0.0f) phase += 360.0f;
    return phase;
}

// 360 times the signed fractional part of r/360, r/360 taken as a float product.
float whole_turns_removed(float r)
{
    double whole;
    const double fraction = std::modf(static_cast<double>(r * kTurnsPerDegree), &whole);
    return static_cast<float>(360.0 * fraction);
}

// Each step sees the result of the one before.
float wrapped(float r)
{
    if (r < -360.0f) r = whole_turns_removed(r);
    if (r < -180.0f) r += 360.0f;
    if (r > 360.0f) r = whole_turns_removed(r);
    if (r > 180.0f) r -= 360.0f;
    return r;
}

// The angle of an order (k as a float) from its line m and the phases of lines m
// and m + 1. Out of line on purpose: inline, the arctangent calls between the
// steps of an order leave the loop's fixed operands on the stack, and the
// compiler would fold them into a scalar fused multiply-add as memory operands,
// which the emulator reads too wide (common/lanes.h). Here they come in registers.
[[gnu::noinline]] float order_angle(float order, int32_t m, float linesPerOrder, float referenceAngle, float phase1,
                                    float phase2)
{
    const float fraction = fused_multiply_add(order, linesPerOrder, -static_cast<float>(m));
    float step = phase2 - phase1;
    if (!(phase2 > phase1)) step += 360.0f;
    const float relative = fused_multiply_add(-order, referenceAngle, phase1);  // phase1 - k * reference
    return wrapped(-fused_multiply_add(fraction, step, relative));
}

}  // namespace

void ZRCALC_STDCALL zrcalcPowerAngles(const float* spectrum, float* angles, int32_t orderCount, float referenceAngle,
                                      float linesPerOrder)
{
    if (orderCount < 1) return;
    // A negative or NaN spacing, or a last line position past the int32 range,
    // would send the line index before the spectrum or anywhere at all: nothing is
    // read or written, as for no orders. (The lines grow with k, so order n's
    // position bounds every other.)
    const float lastPosition = static_cast<float>(orderCount) * linesPerOrder;
    if (!(linesPerOrder >= 0.0f) || !(lastPosition < kFirstPositionTooFar)) return;

    int32_t line = -2;  // the lines whose phases are at hand: line and line + 1 (none yet)
    float phase1 = 0.0f, phase2 = 0.0f;
    for (uint32_t k = 1; k <= static_cast<uint32_t>(orderCount); ++k) {
        const float order = static_cast<float>(static_cast<int32_t>(k));
        const int32_t m = static_cast<int32_t>(order * linesPerOrder);  // truncated toward zero
        if (m != line) {
            phase1 = m == line + 1 ? phase2 : line_phase(spectrum, std::size_t(m));
            phase2 = line_phase(spectrum, std::size_t(m) + 1);
            line = m;
        }
        angles[k] = order_angle(order, m, linesPerOrder, referenceAngle, phase1, phase2);
    }
}
