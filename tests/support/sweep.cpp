#include "support/sweep.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <set>
#include <stdexcept>

#include "frame/entry_table.h"

namespace zrtest {

// The data pages lie between two PROT_NONE pages; the array is flush against one.
GuardedRegion::GuardedRegion(std::size_t bytes, Guard guard)
    : page_(std::size_t(sysconf(_SC_PAGESIZE))), dataBytes_(std::max(page_, (bytes + page_ - 1) / page_ * page_))
{
    void* map = mmap(nullptr, dataBytes_ + 2 * page_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED || mprotect(static_cast<unsigned char*>(map) + page_, dataBytes_, PROT_READ | PROT_WRITE))
        throw std::runtime_error("guard pages cannot be mapped");
    map_ = static_cast<unsigned char*>(map);
    std::memset(map_ + page_, 0xFF, dataBytes_);  // a NaN in every float width
    start_ = map_ + page_ + (guard == Guard::Before ? 0 : dataBytes_ - bytes);
}

GuardedRegion::~GuardedRegion() { munmap(map_, dataBytes_ + 2 * page_); }

void GuardedRegion::make_read_only() { mprotect(map_ + page_, dataBytes_, PROT_READ); }

std::vector<TableEntry> table_entries()
{
    std::vector<TableEntry> entries;
    const auto add = [&](std::string name, Kind kind, int bytes, bool built) {
        const bool decorated = kind == Kind::DECORATED || kind == Kind::DECORATED_TWIN;
        const std::string windows = decorated ? "_" + name + "@" + std::to_string(bytes) : name;
        entries.push_back({name, kind, bytes, built, {{name, kind == Kind::CDECL_ONLY, windows}}});
        if (kind == Kind::BOTH || kind == Kind::DECORATED_TWIN)
            entries.back().names.push_back({name + "_cdecl", true, name + "_cdecl"});
    };
    const auto alias = [&](const std::string& alias, const std::string& target) {
        for (auto& e : entries)
            if (e.name == target)
                e.names.insert(e.names.end(), {{alias, false, alias}, {alias + "_cdecl", true, alias + "_cdecl"}});
    };
#define BUILT true
#define PLANNED false
#define ZRTEST_ENTRY_ROW(name, kind, bytes, state) add(#name, Kind::kind, bytes, state);
#define ZRTEST_ALIAS_ROW(name, target, state) alias(#name, #target);
    ZRCALC_ENTRY_POINTS(ZRTEST_ENTRY_ROW)
    ZRCALC_ALIASES(ZRTEST_ALIAS_ROW)
    return entries;
}

namespace {

std::vector<std::vector<Case> (*)()>& makers()
{
    static std::vector<std::vector<Case> (*)()> registered;
    return registered;
}

// Memory that a call may write (an output array, or the whole memory of an
// overlapping layout), compared byte for byte and reported by element.
struct Region {
    unsigned char* p;
    std::size_t bytes, array;
    const Array* spec;
};

::testing::AssertionResult same_bytes(const std::vector<Region>& regions,
                                      const std::vector<std::vector<unsigned char>>& want)
{
    for (std::size_t r = 0; r < regions.size(); ++r) {
        const Elem& type = *regions[r].spec->elem;
        const std::size_t n = regions[r].bytes / type.size;
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char *e = want[r].data() + i * type.size, *a = regions[r].p + i * type.size;
            if (std::memcmp(e, a, type.size) != 0)
                    return ::testing::AssertionFailure() << "array " << regions[r].array << ", element " << i << " of "
                                                     << n << ": expected " << type.describe(e) << ", actual "
                                                     << type.describe(a);
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

// Array i gets seed base + i, so that a fill may rebuild its neighbour's values
// from seed - 1.
Values make_values(const Case& c, std::uint32_t n, std::uint32_t set)
{
    Values values;
    std::uint64_t base = (std::uint64_t(n) << 16 | set) * 0x9E3779B97F4A7C15u;  // mixed: seed % k varies
    base ^= base >> 29;
    for (std::size_t i = 0; i < c.arrays.size(); ++i) {
        const std::size_t elements = c.arrays[i].length ? c.arrays[i].length(n) : n;
        values.emplace_back(elements * c.arrays[i].elem->size);
        if (elements) c.arrays[i].fill(values.back().data(), elements, base + i);
    }
    return values;
}

namespace {

// Array i lies at at[i] and holds its values, the inputs read-only where the
// layout asks for it; the arrays of an overlap share one region, given in
// `written`. The model runs on them, its results are kept and the written memory
// is put back as it was; then the call runs, and must leave the model's bytes.
::testing::AssertionResult check_layout(const Case& c, std::uint32_t n, const Values& v,
                                        const std::vector<unsigned char*>& at, std::vector<Region> written = {},
                                        const Overlap* shared = nullptr)
{
    for (std::size_t i = 0; i < at.size(); ++i) {
        const bool inShared = shared && (i == shared->out || std::count(shared->ins.begin(), shared->ins.end(), i));
        if (c.arrays[i].dir != Dir::In && !inShared) written.push_back({at[i], v[i].size(), i, &c.arrays[i]});
    }
    std::vector<void*> pointers(at.begin(), at.end());
    std::vector<std::vector<unsigned char>> prior, expected;
    for (const Region& g : written) prior.emplace_back(g.p, g.p + g.bytes);
    c.model(Arrays{pointers.data()}, n);
    for (std::size_t r = 0; r < written.size(); ++r) {
        expected.emplace_back(written[r].p, written[r].p + written[r].bytes);
        std::copy(prior[r].begin(), prior[r].end(), written[r].p);
    }
    c.call(Arrays{pointers.data()}, n);
    return same_bytes(written, expected);
}

// Every combination of the arrays' alignments; or, with `oneAtATime`, each array
// through its alignments while the others stay at offset 0 (for the large counts).
void every_alignment(const Case& c, std::uint32_t n, const Values& v, bool oneAtATime = false)
{
    std::vector<std::size_t> offset(c.arrays.size(), 0);
    for (std::size_t next = 0; next < c.arrays.size();) {
        std::vector<OffsetArray<unsigned char>> arrays;
        std::vector<unsigned char*> at;
        for (std::size_t i = 0; i < v.size(); ++i) at.push_back(arrays.emplace_back(v[i], offset[i]).data());
        const auto result = check_layout(c, n, v, at);
        if (!result) {
            std::string where;
            for (std::size_t o : offset) where += (where.empty() ? "" : "/") + std::to_string(o);
            FAIL() << result.message() << "\n  count " << n << ", arrays at byte offsets " << where;
        }
        for (next = 0; next < c.arrays.size(); offset[next++] = 0) {  // the next offsets, array 0 fastest
            const Array& a = c.arrays[next];
            if ((offset[next] += a.alignStep ? a.alignStep : a.elem->size) < 32) break;
            if (oneAtATime && next + 1 < c.arrays.size()) {  // the next array's first step, from 0
                offset[next] = 0;
                const Array& b = c.arrays[++next];
                if ((offset[next] += b.alignStep ? b.alignStep : b.elem->size) < 32) break;
            }
        }
    }
}

void against_guard_pages(const Case& c, std::uint32_t n, const Values& v)
{
    for (const Guard guard : {Guard::After, Guard::Before}) {
        std::vector<std::unique_ptr<GuardedRegion>> regions;
        std::vector<unsigned char*> at;
        for (std::size_t i = 0; i < c.arrays.size(); ++i) {
            at.push_back(regions.emplace_back(std::make_unique<GuardedRegion>(v[i].size(), guard))->bytes());
            std::copy(v[i].begin(), v[i].end(), at.back());
            if (c.arrays[i].dir == Dir::In || v[i].empty()) regions.back()->make_read_only();
        }
        ASSERT_TRUE(check_layout(c, n, v, at)) << "\n  count " << n << ", every array flush against an inaccessible "
                                              << (guard == Guard::After ? "page after it" : "page before it");
    }
}

// The shared memory holds the first input's kind of values, with a margin on
// either side that the shifted output may reach into.
void overlapping(const Case& c, std::uint32_t n, const Values& v, std::uint32_t set)
{
    for (const Overlap& o : c.overlaps) {
        const Array& source = c.arrays[o.ins[0]];
        const std::size_t unit = source.elem->size, outSize = c.arrays[o.out].elem->size, margin = 64;
        std::size_t span = v[o.out].size();
        for (std::size_t i : o.ins) span = std::max(span, v[i].size());
        const std::size_t bytes = (2 * margin + span + 16 * outSize + unit - 1) / unit * unit;
        for (std::ptrdiff_t shift : o.shifts) {
            OffsetArray<unsigned char> shared(std::vector<unsigned char>(bytes), 0);
            source.fill(shared.data(), bytes / unit, 7777 + n + 131 * set);
            std::vector<OffsetArray<unsigned char>> others;
            std::vector<unsigned char*> at;
            for (std::size_t i = 0; i < v.size(); ++i) at.push_back(others.emplace_back(v[i], 0).data());
            for (std::size_t i : o.ins) at[i] = shared.data() + margin;
            at[o.out] = shared.data() + margin + shift * std::ptrdiff_t(outSize);
            ASSERT_TRUE(check_layout(c, n, v, at, {{shared.data(), bytes, o.out, &source}}, &o))
                << "\n  count " << n << ", array " << o.out << " over array " << o.ins[0] << " shifted by " << shift
                << " elements";
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

// The counts that run. The full range is every count 0 .. kFullRange, the case's
// own range and extra counts, and the large counts (each array through its
// alignments in turn there, the others at offset 0). It is the default: the
// native x86-64 suite and the sanitizer build run it (about 40 s of one core,
// natively). Under the emulators (qemu-x86_64 -cpu Haswell, qemu-i386), where a
// call costs twenty to fifty times more, ZRTEST_SWEEP_COUNTS=own (set by the
// 32-bit build's tests and by scripts/test.sh) keeps each case to its own range:
// every count up to past two of its widest passes, and its extra counts.
constexpr std::uint32_t kFullRange = 300;
const std::uint32_t kLargeCounts[] = {1031, 4099};

bool full_range()
{
    const char* counts = std::getenv("ZRTEST_SWEEP_COUNTS");
    return !counts || std::string(counts) != "own";
}

class Sweep : public ::testing::TestWithParam<Case> {};

TEST_P(Sweep, MatchesTheModelAtEveryCountAlignmentAndLayout)
{
    const Case& c = GetParam();
    std::set<std::uint32_t> counts(c.moreCounts.begin(), c.moreCounts.end());
    const std::uint32_t last = full_range() ? std::max(c.maxCount, kFullRange) : c.maxCount;
    for (std::uint32_t n = 0; n <= last; ++n) counts.insert(n);
    if (full_range()) counts.insert(std::begin(kLargeCounts), std::end(kLargeCounts));
    for (std::uint32_t n : counts) {
        for (std::uint32_t set = 0; set < c.seeds && !HasFatalFailure(); ++set) {
            const Values values = make_values(c, n, set);
            every_alignment(c, n, values, n > std::max(c.maxCount, kFullRange));
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
    for (const TableEntry& e : table_entries())
        if (e.built) built.insert(e.name);
    EXPECT_EQ(built, swept) << "each built entry point needs a sweep case (ZRTEST_SWEEP), and only those have one";
}

}  // namespace
}  // namespace zrtest
