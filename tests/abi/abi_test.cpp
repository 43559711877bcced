// Every entry point of the table, called by name from the built library the way
// a host calls it: each name of a built entry point resolves and keeps its
// calling convention, its result arrives where the convention puts it and equals
// the case's model bit for bit; a planned entry point is not resolvable at all.
#include "frame/entry_table.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "abi_call.h"

namespace {

enum class Kind { BOTH, CDECL_ONLY, DECORATED, DECORATED_TWIN };

struct TableEntry {
    std::string name;
    Kind kind;
    int bytes;
    bool built;
    std::vector<std::string> aliases;
};

std::vector<TableEntry> table_entries()
{
    std::vector<TableEntry> entries;
#define BUILT true
#define PLANNED false
#define ZRABI_ENTRY_ROW(name, kind, bytes, state) entries.push_back({#name, Kind::kind, bytes, state, {}});
    ZRCALC_ENTRY_POINTS(ZRABI_ENTRY_ROW)
#define ZRABI_ALIAS_ROW(alias, target, state)                                                   \
    for (auto& e : entries)                                                                     \
        if (e.name == #target) e.aliases.push_back(#alias);
    ZRCALC_ALIASES(ZRABI_ALIAS_ROW)
#undef ZRABI_ALIAS_ROW
#undef ZRABI_ENTRY_ROW
#undef BUILT
#undef PLANNED
    return entries;
}

// Every exported name of an entry point with the convention it uses on 32-bit
// x86. On ELF the decorated stdcall names are exported undecorated.
std::vector<std::pair<std::string, zrabi::Convention>> names_of(const TableEntry& e)
{
    using zrabi::Convention;
    std::vector<std::pair<std::string, Convention>> names;
    switch (e.kind) {
    case Kind::BOTH:
    case Kind::DECORATED_TWIN:
        names.push_back({e.name, Convention::Stdcall});
        names.push_back({e.name + "_cdecl", Convention::Cdecl});
        break;
    case Kind::CDECL_ONLY: names.push_back({e.name, Convention::Cdecl}); break;
    case Kind::DECORATED: names.push_back({e.name, Convention::Stdcall}); break;
    }
    for (const std::string& alias : e.aliases) {
        names.push_back({alias, Convention::Stdcall});
        names.push_back({alias + "_cdecl", Convention::Cdecl});
    }
    return names;
}

void* library()
{
    static void* handle = dlopen(ZRCALC_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    return handle;
}

class EntryPointAbi : public ::testing::TestWithParam<TableEntry> {};

TEST_P(EntryPointAbi, EveryNameKeepsItsConventionAndGivesTheModelsResult)
{
    const TableEntry& e = GetParam();
    ASSERT_NE(library(), nullptr) << dlerror();
    const auto names = names_of(e);
    std::vector<const void*> addresses;
    for (const auto& [symbol, convention] : names) {
        const void* address = dlsym(library(), symbol.c_str());
        if (e.built)
            EXPECT_NE(address, nullptr) << symbol << " is built but not resolvable";
        else
            EXPECT_EQ(address, nullptr) << symbol << " is planned but resolvable";
        addresses.push_back(address);
    }
    if (!e.built || HasFailure()) return;

    const zrabi::CaseBody* body = zrabi::find_case(e.name);
    ASSERT_NE(body, nullptr) << e.name << " is built but has no ABI case (add one with ZRABI_CASE)";
    for (std::size_t i = 0; i < names.size(); ++i) {
        for (unsigned offset : zrabi::stack_offsets()) {
            zrabi::Target target;
            target.symbol = names[i].first;
            target.address = addresses[i];
            target.convention = names[i].second;
            target.argument_bytes = e.bytes;
            target.stack_offset = offset;
#if defined(__i386__)
            SCOPED_TRACE(target.symbol + " called with ESP = " + std::to_string(offset) + " mod 16");
#else
            SCOPED_TRACE(target.symbol);
#endif
            (*body)(target);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, EntryPointAbi, ::testing::ValuesIn(table_entries()),
                         [](const ::testing::TestParamInfo<TableEntry>& info) { return info.param.name; });

TEST(AbiCases, EachNamesOneEntryOfTheTable)
{
    const auto entries = table_entries();
    for (const std::string& name : zrabi::case_names()) {
        EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [&](const TableEntry& e) { return e.name == name; }))
            << "ABI case " << name << " names no entry of the table";
    }
    EXPECT_TRUE(zrabi::duplicate_cases().empty()) << "registered twice: " << zrabi::duplicate_cases().front();
}

}  // namespace

ZRABI_CASE(zrcalcGetVersion, void(int32_t*, int32_t*, int32_t, int32_t*))
{
    int32_t major = -1, minor = -1, flag = -1;
    entry(&major, &minor, 13, &flag);
    EXPECT_EQ(major, 3);
    EXPECT_EQ(minor, 4);
    EXPECT_EQ(flag, 1);
}

namespace {

#if defined(__i386__)

// Functions that keep or break the 32-bit conventions on purpose, to show that
// the checks see each fault.
asm(R"(
    .pushsection .text
    .p2align 4
zrabi_probe_stdcall8:
    movl $42, %eax
    ret $8
zrabi_probe_removes_4_of_8:
    ret $4
zrabi_probe_returns_one_in_st0:
    fld1
    ret
zrabi_probe_clobbers_ebx:
    xorl %ebx, %ebx
    ret
zrabi_probe_plain_return:
    ret
    .popsection
)");
extern "C" void zrabi_probe_stdcall8();
extern "C" void zrabi_probe_removes_4_of_8();
extern "C" void zrabi_probe_returns_one_in_st0();
extern "C" void zrabi_probe_clobbers_ebx();
extern "C" void zrabi_probe_plain_return();

struct ProbeResult {
    zrabi::RawCall call;
    std::string faults;
};

ProbeResult probe(void (*function)(), zrabi::Convention convention, int bytes, zrabi::ResultKind kind,
                  unsigned offset = 4)
{
    const std::vector<std::uint32_t> words(bytes / 4, 0x11111111u);
    ProbeResult r{};
    r.call.function = reinterpret_cast<const void*>(function);
    r.call.words = words.data();
    r.call.word_count = static_cast<std::uint32_t>(words.size());
    r.call.result_kind = kind;
    zrabi::raw_call(r.call, offset);
    zrabi::Target target;
    target.convention = convention;
    target.argument_bytes = bytes;
    target.stack_offset = offset;
    r.faults = zrabi::frame_faults(target, r.call);
    return r;
}

TEST(Trampoline, PushesAtEveryAlignmentAndAcceptsAConformingStdcall)
{
    for (unsigned offset : zrabi::stack_offsets()) {
        const auto r = probe(zrabi_probe_stdcall8, zrabi::Convention::Stdcall, 8, zrabi::kResultInEax, offset);
        EXPECT_EQ(r.faults, "") << offset;
        EXPECT_EQ(r.call.esp_at_call % 16, offset);
        EXPECT_EQ(r.call.eax, 42u);
    }
}

TEST(Trampoline, SeesEachBrokenConvention)
{
    using zrabi::Convention;
    EXPECT_NE(probe(zrabi_probe_stdcall8, Convention::Cdecl, 8, zrabi::kResultInEax).faults, "")
        << "a cdecl name that removes its arguments";
    EXPECT_NE(probe(zrabi_probe_removes_4_of_8, Convention::Stdcall, 8, zrabi::kResultInEax).faults, "")
        << "a stdcall name that removes too few bytes";
    EXPECT_NE(probe(zrabi_probe_plain_return, Convention::Stdcall, 8, zrabi::kResultInEax).faults, "")
        << "a stdcall name that removes nothing";
    EXPECT_NE(probe(zrabi_probe_returns_one_in_st0, Convention::Cdecl, 0, zrabi::kResultInEax).faults, "")
        << "a value left on the x87 stack";
    EXPECT_NE(probe(zrabi_probe_plain_return, Convention::Cdecl, 0, zrabi::kResultDoubleInSt0).faults, "")
        << "a double result missing from ST(0)";
    EXPECT_NE(probe(zrabi_probe_clobbers_ebx, Convention::Cdecl, 0, zrabi::kResultInEax).faults, "")
        << "EBX not preserved";
}

TEST(Trampoline, TakesFloatAndDoubleResultsFromSt0)
{
    const auto d = probe(zrabi_probe_returns_one_in_st0, zrabi::Convention::Cdecl, 4, zrabi::kResultDoubleInSt0);
    EXPECT_EQ(d.faults, "");
    EXPECT_EQ(d.call.st0_double, 1.0);
    const auto f = probe(zrabi_probe_returns_one_in_st0, zrabi::Convention::Cdecl, 4, zrabi::kResultFloatInSt0);
    EXPECT_EQ(f.faults, "");
    EXPECT_EQ(f.call.st0_float, 1.0f);
}

#endif

}  // namespace
