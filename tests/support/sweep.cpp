#include "support/sweep.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <set>

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
    constexpr std::size_t sizes[] = {8, 4, 8, 4, 4, 2, 1};  // in the order of Elem
    return sizes[static_cast<int>(e)];
}

// f(the element at p, as its type).
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

// Memory that a call may write (an output array, or the whole memory of an
// overlapping layout), compared byte for byte and reported by element.
struct Region {
    unsigned char* p;
    std::size_t bytes, array;
    const Array* spec;
};

::testing::AssertionResult same_bytes(const std::vector<Region>& regions, const std::vector<std::vector<unsigned char>>& want)
{
    const auto nan = [](auto v) { return v != v; };
    const auto text = [](auto v) { return describe(v); };
    for (std::size_t r = 0; r < regions.size(); ++r) {
        const Region& g = regions[r];
        const std::size_t size = size_of(g.spec->elem), n = g.bytes / size;
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char *e = want[r].data() + i * size, *a = g.p + i * size;
            if (std::memcmp(e, a, size) == 0 || (g.spec->anyNaN && visit(g.spec->elem, e, nan) && visit(g.spec->elem, a, nan)))
                continue;
            return ::testing::AssertionFailure() << "array " << g.array << ", element " << i << " of " << n
                                                 << ": expected " << visit(g.spec->elem, e, text) << ", actual "
                                                 << visit(g.spec->elem, a, text);
        }
    }
    return ::testing::AssertionSuccess();
}

// The arrays at `pointers` hold the values of the count (inputs already read-only
// where the layout asks for it). The model runs on them, its results are kept and
// the written memory is put back as it was; then the call runs.
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

using Values = std::vector<std::vector<unsigned char>>;

// The bytes of every array for one count and value set. Array i gets seed
// base + i, so that a fill may rebuild its neighbour's values from seed - 1.
Values make_values(const Case& c, std::uint32_t n, std::uint32_t set)
{
    Values values;
    std::uint64_t base = (std::uint64_t(n) << 16 | set) * 0x9E3779B97F4A7C15u;  // mixed: seed % k varies
    base ^= base >> 29;
    for (std::size_t i = 0; i < c.arrays.size(); ++i) {
        const std::size_t elements = c.arrays[i].length(n);
        values.emplace_back(elements * size_of(c.arrays[i].elem));
        if (elements) c.arrays[i].fill(values.back().data(), elements, base + i);
    }
    return values;
}

// Plain memory with room for `bytes` at any offset below 64 past a 64-byte boundary.
struct Scratch {
    explicit Scratch(std::size_t bytes) : storage(bytes + 192) {}
    unsigned char* at(std::size_t offset)
    {
        return reinterpret_cast<unsigned char*>((reinterpret_cast<std::uintptr_t>(storage.data()) + 63) / 64 * 64 +
                                                offset);
    }
    std::vector<unsigned char> storage;
};

// Array i at `at`, holding its values; an output joins the written memory.
void place(const Case& c, const Values& v, std::size_t i, unsigned char* at, std::vector<void*>& pointers,
           std::vector<Region>& written)
{
    if (!v[i].empty()) std::memcpy(at, v[i].data(), v[i].size());
    pointers[i] = at;
    if (c.arrays[i].dir != Dir::In) written.push_back({at, v[i].size(), i, &c.arrays[i]});
}

void every_alignment(const Case& c, std::uint32_t n, const Values& v)
{
    const std::size_t k = c.arrays.size();
    std::vector<Scratch> scratch;
    std::vector<std::size_t> offset(k, 0);
    for (std::size_t i = 0; i < k; ++i) scratch.emplace_back(v[i].size());
    for (;;) {
        std::vector<void*> pointers(k);
        std::vector<Region> written;
        for (std::size_t i = 0; i < k; ++i) place(c, v, i, scratch[i].at(offset[i]), pointers, written);
        const auto result = call_matches_model(c, n, pointers, written);
        if (!result) {
            std::string where;
            for (std::size_t o : offset) where += (where.empty() ? "" : "/") + std::to_string(o);
            FAIL() << result.message() << "\n  count " << n << ", arrays at byte offsets " << where;
        }
        std::size_t i = 0;  // the next combination of offsets, array 0 fastest
        for (; i < k; offset[i++] = 0) {
            const std::size_t step = c.arrays[i].alignStep ? c.arrays[i].alignStep : size_of(c.arrays[i].elem);
            if ((offset[i] += step) < 32) break;
        }
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
            place(c, v, i, regions.back()->bytes(), pointers, written);
            if (c.arrays[i].dir == Dir::In || v[i].empty()) regions.back()->make_read_only();
        }
        ASSERT_TRUE(call_matches_model(c, n, pointers, written))
            << "\n  count " << n << ", every array flush against an inaccessible page "
            << (guard == Guard::After ? "after it" : "before it");
    }
}

// The shared memory holds the first input's kind of values, with a margin on
// either side that the shifted output may reach into.
void overlapping(const Case& c, std::uint32_t n, const Values& v, std::uint32_t set)
{
    for (const Overlap& o : c.overlaps) {
        const Array& source = c.arrays[o.ins[0]];
        const std::size_t unit = size_of(source.elem), outSize = size_of(c.arrays[o.out].elem), margin = 64;
        std::size_t span = v[o.out].size();
        for (std::size_t i : o.ins) span = std::max(span, v[i].size());
        const std::size_t bytes = (2 * margin + span + 16 * outSize + unit - 1) / unit * unit;
        for (std::ptrdiff_t shift : o.shifts) {
            Scratch shared(bytes);
            unsigned char* memory = shared.at(0);
            source.fill(memory, bytes / unit, 7777 + n + 131 * set);
            std::vector<void*> pointers(c.arrays.size(), memory + margin);
            pointers[o.out] = memory + margin + shift * std::ptrdiff_t(outSize);
            std::vector<Region> written{{memory, bytes, o.out, &source}};
            std::vector<Scratch> other;
            for (std::size_t i = 0; i < c.arrays.size(); ++i)
                if (i != o.out && std::find(o.ins.begin(), o.ins.end(), i) == o.ins.end())
                    place(c, v, i, other.emplace_back(v[i].size()).at(0), pointers, written);
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
        for (std::uint32_t set = 0; set < c.seeds && !HasFatalFailure(); ++set) {
            const Values values = make_values(c, n, set);
            every_alignment(c, n, values);
            if (!HasFatalFailure()) against_guard_pages(c, n, values);
            if (!HasFatalFailure()) overlapping(c, n, values, set);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, Sweep, ::testing::ValuesIn(registered_cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name = info.param.entry + "_" + info.param.label;
                             for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

TEST(SweepCases, EveryBuiltEntryPointHasOne)
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
