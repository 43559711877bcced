// The IIR cascades against the stated steps, written here one sample at a time,
// through the sweep driver (each form, several orders and section counts, the
// four entry points, the arrays also in place); a designed Butterworth low-pass
// against a direct-form difference equation; the values stated for them.
#include "support/sweep.h"

namespace {

using zrtest::fused;

double lower_first(double x)
{
    x = x > -1e10 ? x : -1e10;
    return x < 1e10 ? x : 1e10;
}

double upper_first(double x)
{
    x = x < 1e10 ? x : 1e10;
    return x > -1e10 ? x : -1e10;
}

// One sample through the cascade, as the steps are stated.
double model(IIRFilterParams& f, double x)
{
    const bool second = f.order == 2 || f.type == 3;
    const int32_t n = second ? 2 : std::max(f.order, 0);
    for (int32_t s = 0; s < f.sectionCount; ++s) {
        IIRTap* t = f.taps + s * (n + 1);
        for (int32_t k = 0; k < n; ++k) t[k].w = t[k + 1].w, t[k].y = t[k + 1].y;
        t[n].w = x * f.sectionGains[s];
        if (second) {
            const double b = fused(t[1].w, t[1].b, t[0].w * t[0].b), a = fused(t[1].y, t[1].a, t[0].y * t[0].a);
            x = t[2].y = upper_first(fused(t[2].w, t[2].b, b - a));
        } else {
            double acc = 0.0;
            for (int32_t k = 0; k < n; ++k) acc = (t[k].b * t[k].w - t[k].a * t[k].y) + acc;
            x = t[n].y = lower_first(fused(t[n].w, t[n].b, acc));
        }
    }
    return x;
}

struct Shape {
    int32_t type, sections, order;
};

// Arrays: the section gains, the taps (four doubles each: histories and
// coefficients in [-1, 1), so that some cascades reach the limits), the input
// samples and the outputs. In is the input sample type, Out the output's.
template <class In, class Out>
zrtest::Case iir(const char* entry, Shape shape, void (*call)(IIRFilterParams*, const In*, Out*, uint32_t))
{
    const int32_t sections = std::max(shape.sections, 0);
    const int32_t taps = sections * (shape.order == 2 || shape.type == 3 ? 3 : std::max(shape.order, 0) + 1);
    const auto filter = [shape](zrtest::Arrays a) {
        return IIRFilterParams{shape.type, shape.sections, shape.order, 0, a.at<double>(0), a.at<IIRTap>(1)};
    };
    zrtest::Case c{entry,
                   "type " + std::to_string(shape.type) + ", sections " + std::to_string(shape.sections) +
                       ", order " + std::to_string(shape.order),
                   {zrtest::in<double>(zrtest::random_fill<double>(2.0), [=](uint32_t) { return std::size_t(sections); }),
                    {zrtest::elem_of<double>(), zrtest::Dir::InOut, [=](uint32_t) { return std::size_t(4 * taps); },
                     zrtest::random_fill<double>(1.0)},
                    zrtest::in<In>(), zrtest::out<Out>()},
                   12,
                   [=](zrtest::Arrays a, uint32_t n) {
                       IIRFilterParams f = filter(a);
                       call(&f, a.at<In>(2), a.at<Out>(3), n);
                   },
                   [=](zrtest::Arrays a, uint32_t n) {
                       IIRFilterParams f = filter(a);
                       for (uint32_t i = 0; i < n; ++i) a.at<Out>(3)[i] = Out(model(f, double(a.at<In>(2)[i])));
                   }};
    if (std::is_same_v<In, Out>) c.overlaps.push_back({3, {2}, {0}});
    return c;
}

ZRTEST_SWEEP(iir)
{
    std::vector<zrtest::Case> cases;
    for (Shape shape : {Shape{0, 2, 0}, Shape{0, 1, 1}, Shape{0, 2, 2}, Shape{0, 2, 3}, Shape{0, 1, 6}, Shape{3, 2, 4},
                        Shape{0, 0, 2}, Shape{0, -1, 1}}) {
        cases.push_back(iir<double, double>("zrcalcIIRFilter_double", shape, [](auto f, auto x, auto y, uint32_t n) {
            for (uint32_t i = 0; i < n; ++i) y[i] = zrcalcIIRFilter_double(f, x[i]);
        }));
        cases.push_back(iir<float, double>("zrcalcIIRFilter_float", shape, [](auto f, auto x, auto y, uint32_t n) {
            for (uint32_t i = 0; i < n; ++i) y[i] = zrcalcIIRFilter_float(f, x[i]);
        }));
        cases.push_back(iir<double, double>("zrcalcIIRFilterArr_double", shape, [](auto f, auto x, auto y, uint32_t n) {
            zrcalcIIRFilterArr_double(f, x, y, n);
        }));
        cases.push_back(iir<float, float>("zrcalcIIRFilterArr_float", shape, [](auto f, auto x, auto y, uint32_t n) {
            zrcalcIIRFilterArr_float(f, x, y, n);
        }));
    }
    return cases;
}

// Taps of one section, oldest first, from the difference equation
// y[n] = sum b_j x[n-j] - sum a_j y[n-j] (a_0 = 1).
std::vector<IIRTap> section(const std::vector<double>& b, const std::vector<double>& a)
{
    std::vector<IIRTap> taps(b.size());
    for (std::size_t j = 0; j < b.size(); ++j) taps[b.size() - 1 - j] = {0, 0, b[j], a[j]};
    return taps;
}

// A second-order Butterworth low-pass at a tenth of the sample rate (bilinear
// transform), in the second-order form and as a general section of order 3: DC
// passes with gain 1, Nyquist is blocked, and both follow the direct-form
// difference equation up to rounding.
TEST(IirFilter, ButterworthLowPassAgainstTheDifferenceEquation)
{
    const double k = std::tan(M_PI * 0.1), norm = 1 / (1 + std::sqrt(2.0) * k + k * k);
    const std::vector<double> b = {k * k * norm, 2 * k * k * norm, k * k * norm, 0};
    const std::vector<double> a = {1, 2 * (k * k - 1) * norm, (1 - std::sqrt(2.0) * k + k * k) * norm, 0};
    for (int32_t order : {2, 3}) {
        std::vector<IIRTap> taps = section({b.begin(), b.begin() + order + 1}, {a.begin(), a.begin() + order + 1});
        const double gain = 1.0;
        IIRFilterParams f{0, 1, order, 0, &gain, taps.data()};
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0, y = 0;
        for (int i = 0; i < 400; ++i) {
            const double x = i < 200 ? 1.0 : (i % 2 ? 1.0 : -1.0);
            const double direct = b[0] * x + b[1] * x1 + b[2] * x2 - a[1] * y1 - a[2] * y2;
            y = zrcalcIIRFilter_double(&f, x);
            EXPECT_NEAR(y, direct, 1e-12) << "order " << order << ", sample " << i;
            x2 = x1, x1 = x, y2 = y1, y1 = direct;
            if (i == 199) {
                EXPECT_NEAR(y, 1.0, 1e-9) << "DC";
            }
        }
        EXPECT_NEAR(y, 0.0, 1e-9) << "Nyquist";
    }
}

// Pass-through without sections; b = (0, 0, 1) passes the input; a = -0.5 on the
// older tap feeds back half the previous output; a section driven beyond the
// limit gives it exactly to the next; a NaN gives -1e10 in the general form and
// +1e10 in the second-order form; the float array rounds, the float sample does not.
TEST(IirFilter, StatedValues)
{
    const double gains[2] = {1.0, 1.0};
    IIRFilterParams none{0, 0, 2, 0, gains, nullptr};
    EXPECT_EQ(zrcalcIIRFilter_float(&none, 0.1f), double(0.1f));
    std::vector<IIRTap> pass = section({1, 0, 0}, {1, 0, 0});
    IIRFilterParams second{0, 1, 2, 0, gains, pass.data()};
    EXPECT_EQ(zrcalcIIRFilter_double(&second, 1.25), 1.25);
    std::vector<IIRTap> feedback = section({1, 0}, {1, -0.5});
    IIRFilterParams first{0, 1, 1, 0, gains, feedback.data()};
    for (double expected : {1.0, 0.5, 0.25, 0.125}) EXPECT_EQ(zrcalcIIRFilter_double(&first, expected == 1.0), expected);
    std::vector<IIRTap> loud = section({1e12, 0}, {1, 0}), after = section({1, 0}, {1, 0});
    loud.insert(loud.end(), after.begin(), after.end());
    IIRFilterParams cascade{0, 2, 1, 0, gains, loud.data()};
    EXPECT_EQ(zrcalcIIRFilter_double(&cascade, -1.0), -1e10);
    EXPECT_EQ(loud[3].w, -1e10);
    EXPECT_EQ(zrcalcIIRFilter_double(&first, NAN), -1e10);
    EXPECT_EQ(zrcalcIIRFilter_double(&second, NAN), 1e10);
    std::vector<IIRTap> third = section({1.0 / 3, 0, 0}, {1, 0, 0});
    IIRFilterParams thirds{3, 1, 4, 0, gains, third.data()};
    const float x = 1.0f;
    float y = 0.0f;
    zrcalcIIRFilterArr_float(&thirds, &x, &y, 1);
    EXPECT_EQ(y, float(1.0 / 3));
    EXPECT_EQ(zrcalcIIRFilter_float(&thirds, 1.0f), 1.0 / 3);
}

}  // namespace
