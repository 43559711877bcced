// The scalar model of the running statistics' order of operations, written from
// the rule, not from the library; the accumulating statistics and the copy with
// statistics share it.
//
// Samples x[0 .. n) are folded into the totals s. The bounds take a sample only
// when it is strictly beyond them. Below W samples, or without blocks, the
// samples are added one at a time (a float offset added in single precision).
// Otherwise single samples up to the A-byte boundary of `at`, whole blocks of W
// whose sample k goes to double lane k % 4 (offset added in double), the lanes
// joined as (L0 + L2) + (L1 + L3), then single samples; float samples instead
// count their head and tail as the lanes of the first and the last eight that no
// whole block counts.
//
// The totals come and go by value: held in registers rather than in a cell
// flush against a guard page, where QEMU reads 16 bytes for a scalar fused
// multiply-add with a memory operand.
#pragma once

#include "support/sweep.h"

namespace zrtest {

template <class S>
struct Stats {
    S min, max;
    double sum, squares;
};

template <class S, class O, std::uint32_t W, std::uintptr_t A>
Stats<S> running_totals(const S* x, std::uint32_t n, Stats<S> s, O o, const void* at, bool blocks = true)
{
    constexpr bool kFloat = std::is_same_v<S, float>;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (x[i] < s.min) s.min = x[i];
        if (x[i] > s.max) s.max = x[i];
    }
    // One sample at a time on the totals: a float offset is added in single precision.
    auto one_by_one = [&](std::uint32_t from, std::uint32_t to) {
        for (std::uint32_t i = from; i < to; ++i) {
            double y = static_cast<double>(x[i]) + o;
            if constexpr (std::is_same_v<O, float>) y = static_cast<double>(static_cast<float>(x[i]) + o);
            s.sum = s.sum + static_cast<double>(x[i]);
            s.squares = std::fma(y, y, s.squares);
        }
    };
    if (n < W || !blocks) {
        one_by_one(0, n);
        return s;
    }
    const auto a = reinterpret_cast<std::uintptr_t>(at);
    const auto h = static_cast<std::uint32_t>((A - a % A) % A / sizeof(S));
    // Float lanes begin as the head block itself (-0.0 + x is x for every x);
    // the others at 0.0.
    double S4[4], Q4[4];
    for (int j = 0; j < 4; ++j) S4[j] = Q4[j] = kFloat ? -0.0 : 0.0;
    // Lane j takes e_j, e_(j+4), ... of a block, in double. Samples outside
    // [from, to) (the lanes a float head or tail leaves out) add -0.0.
    auto block = [&](const S* e, std::uint32_t from, std::uint32_t to) {
        for (std::uint32_t j = 0; j < 4; ++j) {
            for (std::uint32_t k = j; k < W; k += 4) {
                const bool in = k >= from && k < to;
                const double xk = in ? static_cast<double>(e[k]) : -0.0;
                const double yk = in ? xk + static_cast<double>(o) : -0.0;
                S4[j] = S4[j] + xk;
                Q4[j] = std::fma(yk, yk, Q4[j]);
            }
        }
    };
    std::uint32_t i = h;
    if constexpr (kFloat) {
        i = h == 0 ? 8 : h;
        block(x, 0, i);
        for (; n - i >= 8; i += 8) block(x + i, 0, 8);
        if (i < n) block(x + n - 8, 8 - (n - i), 8);
    } else {
        one_by_one(0, h);
        for (; n - i >= W; i += W) block(x + i, 0, W);
    }
    s.sum = s.sum + ((S4[0] + S4[2]) + (S4[1] + S4[3]));
    s.squares = s.squares + ((Q4[0] + Q4[2]) + (Q4[1] + Q4[3]));
    if constexpr (!kFloat) one_by_one(i, n);
    return s;
}

// Prior totals. With an even seed, which goes with signed zeros in the samples
// (whose seed is one less), zeros: bounds of both signs and sums of -0.0, which
// one-by-one additions of -0.0 keep. Otherwise bounds that the samples replace,
// bounds beyond every sample that must be kept, NaN bounds (which stay).
template <class S>
Stats<S> prior(std::uint64_t seed)
{
    if (seed % 2 == 0) return {S(seed % 4 ? 0.0 : -0.0), S(seed % 8 < 4 ? -0.0 : 0.0), -0.0, seed % 8 < 4 ? -0.0 : 0.0};
    using L = std::numeric_limits<S>;
    const S nan = L::has_quiet_NaN ? L::quiet_NaN() : S(0);
    const S low[] = {L::max(), L::lowest(), nan, S(5)}, high[] = {L::lowest(), L::max(), nan, S(-5)};
    const double sums[] = {0.75, -3.0, 1e-3};
    return {low[seed / 2 % 4], high[seed / 8 % 4], sums[seed / 32 % 3], sums[seed / 96 % 3]};
}

// The four totals as one cell of bytes, holding a prior.
template <class S>
Array totals_cell()
{
    return {elem_of<unsigned char>(), Dir::InOut, [](std::uint32_t) { return sizeof(Stats<S>); },
            [](void* p, std::size_t, std::uint64_t seed) { *static_cast<Stats<S>*>(p) = prior<S>(seed); }, 32};
}

}  // namespace zrtest
