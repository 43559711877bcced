#include "support/sweep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>

#include "support/bits.h"
#include "support/entry_table_view.h"
#include "support/guarded_buffer.h"

namespace zrtest {

namespace {

std::vector<std::vector<Case> (*)()>& makers()
{
    static std::vector<std::vector<Case> (*)()> registered;
    return registered;
}

std::size_t size_of(Elem e)
{
    switch (e) {
    case Elem::F64: case Elem::I64: return 8;
    case Elem::F32: case Elem::I32: case Elem::U32: return 4;
    case Elem::I16: return 2;
    default: return 1;
    }
}

template <class F>
auto visit(Elem e, const unsigned char* p, F f)
{
    const auto as = [&](auto v) { return std::memcpy(&v, p, sizeof v), f(v); };
    switch (e) {
    case Elem::F64: return as(double());
    case Elem::F32: return as(float());
    case Elem::I64: return as(std::int64_t());
    case Elem::I32: return as(std::int32_t());
    case Elem::U32: return as(std::uint32_t());
    case Elem::I16: return as(std::int16_t());
    default: return as(std::uint8_t());
    }
}

// Memory that a call may write: compared byte for byte, reported by element.
struct Region {
    unsigned char* p;
    std::size_t bytes;
    std::size_t array;
    const Array* spec;
};

::testing::AssertionResult same_bytes(const std::vector<Region>& regions,
                                      const std::vector<std::vector<unsigned char>>& expected)
{
    for (std::size_t r = 0; r < regions.size(); ++r) {
        const Region& g = regions[r];
        const std::size_t size = size_of(g.spec->elem), n = g.bytes / size;
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char* want = expected[r].data() + i * size;
            const unsigned char* got = g.p + i * size;
            if (std::memcmp(want, got, size) == 0) continue;
            const auto nan = [](auto v) { return v != v; };
            if (g.spec->anyNaN && visit(g.spec->elem, want, nan) && visit(g.spec->elem, got, nan)) continue;
            const auto text = [](auto v) { return describe(v); };
            return ::testing::AssertionFailure() << "array " << g.array << ", element " << i << " of " << n
                                                 << ": expected " << visit(g.spec->elem, want, text) << ", actual "
                                                 << visit(g.spec->elem, got, text);
        }
    }
    return ::testing::AssertionSuccess();
}

// The arrays at `pointers` hold the values of the count (inputs already
// read-only where the layout asks for it). The model runs on them, its results
// are kept and the written memory is put back as it was; then the call runs.
::testing::AssertionResult call_matches_model(const Case& c, std::uint32_t n, std::vector<void*>& pointers,
                                              const std::vector<Region>& written)
{
    std::vector<std::vector<unsigned char>> prior, expected;
    for (const Region& g : written) prior.emplace_back(g.p, g.p + g.bytes);
    c.model(Arrays{pointers.data()}, n);
    for (std::size_t r = 0; r < written.size(); ++r) {
        expected.emplace_back(written[r].p, written[r].p + written[r].bytes);
        if (written[r].bytes) std::memcpy(written[r].p, prior[r].data(), written[r].bytes);
    }
    c.call(Arrays{pointers.data()}, n);
    return same_bytes(written, expected);
}

bool writes(const Array& a) { return a.dir != Dir::In; }

using Values = std::vector<std::vector<unsigned char>>;

// The bytes of every array for one count and value set. Array i gets seed
// base + i, so a fill may rebuild its neighbour's values from seed - 1.
Values make_values(const Case& c, std::uint32_t n, std::uint32_t set)
{
    Values values;
    std::uint64_t base = (std::uint64_t(n) << 16 | set) * 0x9E3779B97F4A7C15u;  // mixed, so that seed % k varies
    base ^= base >> 29;
    for (std::size_t i = 0; i < c.arrays.size(); ++i) {
        const Array& a = c.arrays[i];
        const std::size_t elements = a.length(n);
        values.emplace_back(elements * size_of(a.elem));
        if (elements) a.fill(values.back().data(), elements, base + i);
    }
    return values;
}

// Plain memory for one array at any offset within 32 bytes of a 64-byte boundary.
struct Scratch {
    std::vector<unsigned char> storage;
    unsigned char* at(std::size_t offset)
    {
        const auto base = (reinterpret_cast<std::uintptr_t>(storage.data()) + 63) / 64 * 64;
        return reinterpret_cast<unsigned char*>(base + offset);
    }
};

void place(const Case& c, const Values& v, std::vector<void*>& pointers, std::vector<Region>& written,
           std::size_t i, unsigned char* at)
{
    if (!v[i].empty()) std::memcpy(at, v[i].data(), v[i].size());
    pointers[i] = at;
    if (writes(c.arrays[i])) written.push_back({at, v[i].size(), i, &c.arrays[i]});
}

void every_alignment(const Case& c, std::uint32_t n, const Values& v)
{
    const std::size_t k = c.arrays.size();
    std::vector<Scratch> scratch(k);
    std::vector<std::size_t> step(k), offset(k, 0);
    for (std::size_t i = 0; i < k; ++i) {
        scratch[i].storage.resize(v[i].size() + 160);
        step[i] = c.arrays[i].alignStep ? c.arrays[i].alignStep : size_of(c.arrays[i].elem);
    }
    for (;;) {
        std::vector<void*> pointers(k);
        std::vector<Region> written;
        for (std::size_t i = 0; i < k; ++i) place(c, v, pointers, written, i, scratch[i].at(offset[i]));
        const auto result = call_matches_model(c, n, pointers, written);
        if (!result) {
            std::ostringstream where;
            for (std::size_t i = 0; i < k; ++i) where << (i ? "/" : "") << offset[i];
            FAIL() << result.message() << "\n  count " << n << ", arrays at byte offsets " << where.str();
        }
        std::size_t i = 0;  // the next combination of offsets, array 0 fastest
        while (i < k && (offset[i] += step[i]) >= 32) offset[i++] = 0;
        if (i == k) return;
    }
}

void against_guard_pages(const Case& c, std::uint32_t n, const Values& v)
{
    for (const Guard guard : {Guard::After, Guard::Before}) {
        std::vector<std::unique_ptr<GuardedRegion>> regions;
        std::vector<void*> pointers(c.arrays.size());
        std::vector<Region> written;
        for (std::size_t i = 0; i < c.arrays.size(); ++i) {
            regions.push_back(std::make_unique<GuardedRegion>(v[i].size(), guard));
            place(c, v, pointers, written, i, regions.back()->bytes());
            if (c.arrays[i].dir == Dir::In || v[i].empty()) regions.back()->make_read_only();
        }
        ASSERT_TRUE(call_matches_model(c, n, pointers, written))
            << "\n  count " << n << ", every array flush against an inaccessible page "
            << (guard == Guard::After ? "after it" : "before it");
    }
}

void overlapping(const Case& c, std::uint32_t n, const Values& v, std::uint32_t set)
{
    for (const Overlap& o : c.overlaps) {
        const Array& source = c.arrays[o.ins[0]];
        const std::size_t unit = size_of(source.elem), outSize = size_of(c.arrays[o.out].elem);
        std::size_t span = v[o.out].size();
        for (std::size_t i : o.ins) span = std::max(span, v[i].size());
        for (std::ptrdiff_t shift : o.shifts) {
            const std::size_t margin = 64, bytes = (2 * margin + span + 16 * outSize + unit - 1) / unit * unit;
            Scratch shared{std::vector<unsigned char>(bytes + 64)};
            std::vector<Scratch> other(c.arrays.size());
            unsigned char* memory = shared.at(0);
            source.fill(memory, bytes / unit, 7777 + n + 131 * set);
            std::vector<void*> pointers(c.arrays.size());
            std::vector<Region> written{{memory, bytes, o.out, &source}};
            for (std::size_t i = 0; i < c.arrays.size(); ++i) {
                pointers[i] = memory + margin;
                if (i == o.out) pointers[i] = memory + margin + shift * std::ptrdiff_t(outSize);
                if (i == o.out || std::find(o.ins.begin(), o.ins.end(), i) != o.ins.end()) continue;
                other[i].storage.resize(v[i].size() + 64);
                place(c, v, pointers, written, i, other[i].at(0));
            }
            ASSERT_TRUE(call_matches_model(c, n, pointers, written))
                << "\n  count " << n << ", array " << o.out << " over array " << o.ins[0] << " shifted by "
                << shift << " elements";
        }
    }
}

}  // namespace

bool register_cases(std::vector<Case> (*make)())
{
    makers().push_back(make);
    return true;
}

std::vector<Case> registered_cases()
{
    std::vector<Case> all;
    for (auto make : makers())
        for (Case& c : make()) all.push_back(std::move(c));
    return all;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.entry << (c.label.empty() ? "" : ", ") << c.label; }

namespace {

class Sweep : public ::testing::TestWithParam<Case> {};

TEST_P(Sweep, MatchesTheModelAtEveryCountAlignmentAndLayout)
{
    const Case& c = GetParam();
    std::vector<std::uint32_t> counts = c.moreCounts;
    for (std::uint32_t n = 0; n <= c.maxCount; ++n) counts.push_back(n);
    for (std::uint32_t n : counts) {
        for (std::uint32_t set = 0; set < c.seeds; ++set) {
            const Values values = make_values(c, n, set);
            every_alignment(c, n, values);
            if (HasFatalFailure()) return;
            against_guard_pages(c, n, values);
            if (HasFatalFailure()) return;
            overlapping(c, n, values, set);
            if (HasFatalFailure()) return;
        }
    }
}

std::string test_name(const ::testing::TestParamInfo<Case>& info)
{
    std::string name = info.param.entry + (info.param.label.empty() ? "" : "_" + info.param.label);
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Operations, Sweep, ::testing::ValuesIn(registered_cases()), test_name);

TEST(SweepCases, EveryBuiltEntryPointHasACase)
{
    std::set<std::string> swept, built;
    for (const Case& c : registered_cases()) swept.insert(c.entry);
    for (const TableEntry& e : table_entries()) {
        if (e.built) built.insert(e.name);
        EXPECT_TRUE(!e.built || swept.count(e.name)) << e.name << " is built but has no sweep case (ZRTEST_SWEEP)";
    }
    for (const std::string& name : swept) EXPECT_TRUE(built.count(name)) << name << " is swept but not built";
}

}  // namespace
}  // namespace zrtest
