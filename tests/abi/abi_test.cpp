// Every entry point of the table, called by name from the built library the way
// a host calls it: each name of a built entry point resolves and keeps its
// calling convention, and its results equal those of the compiled call of the
// header's declaration; a planned entry point is not resolvable at all.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "abi_call.h"
#include "support/entry_table_view.h"

namespace {

using zrabi::Convention;

using zrtest::TableEntry;

class EntryPointAbi : public ::testing::TestWithParam<TableEntry> {};

TEST_P(EntryPointAbi, EveryNameKeepsItsConventionAndGivesTheDirectCallsResults)
{
    static void* const library = dlopen(ZRCALC_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const TableEntry& e = GetParam();
    const auto& names = e.names;
    std::vector<const void*> addresses;
    for (const auto& n : names) {
        addresses.push_back(dlsym(library, n.name.c_str()));
        EXPECT_EQ(addresses.back() != nullptr, e.built) << n.name << (e.built ? " is built but not resolvable"
                                                                              : " is planned but resolvable");
    }
    if (!e.built || HasFailure()) return;

    const auto cases = zrabi::cases().equal_range(e.name);
    ASSERT_NE(cases.first, cases.second) << e.name << " is built but has no ABI case (add one with ZRABI_CASE)";
    for (std::size_t i = 0; i < names.size(); ++i) {
        for (unsigned offset : zrabi::stack_offsets) {
            SCOPED_TRACE(names[i].name + " called with ESP = " + std::to_string(offset) + " mod 16");
            const Convention convention = names[i].cdecl ? Convention::Cdecl : Convention::Stdcall;
            cases.first->second(zrabi::Target{addresses[i], convention, e.bytes, offset});
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, EntryPointAbi, ::testing::ValuesIn(zrtest::table_entries()),
                         [](const ::testing::TestParamInfo<TableEntry>& info) { return info.param.name; });

TEST(AbiCases, EachNamesOneEntryOfTheTableOnce)
{
    const auto entries = zrtest::table_entries();
    for (const auto& [name, body] : zrabi::cases()) {
        EXPECT_EQ(zrabi::cases().count(name), 1u) << "ABI case " << name << " registered twice";
        bool known = false;
        for (const TableEntry& e : entries) known = known || e.name == name;
        EXPECT_TRUE(known) << "ABI case " << name << " names no entry of the table";
    }
}

#if defined(__i386__)

// Functions that keep or break the 32-bit conventions on purpose, to show that
// the checks see each fault.
asm(R"(
    .pushsection .text
zrabi_probe_stdcall8:
    movl $42, %eax
    ret $8
zrabi_probe_removes_4_of_8:
    ret $4
zrabi_probe_one_in_st0:
    fld1
    ret
zrabi_probe_clobbers_ebx:
    xorl %ebx, %ebx
zrabi_probe_plain_return:
    ret
    .popsection
)");
extern "C" void zrabi_probe_stdcall8(), zrabi_probe_removes_4_of_8(), zrabi_probe_one_in_st0(),
    zrabi_probe_clobbers_ebx(), zrabi_probe_plain_return();

std::string probe(void (*function)(), Convention convention, int bytes, zrabi::ResultKind kind,
                  unsigned offset = 4, zrabi::RawCall* record = nullptr)
{
    const std::vector<std::uint32_t> words(bytes / 4, 0x11111111u);
    zrabi::RawCall call{};
    call.function = reinterpret_cast<const void*>(function);
    call.words = words.data();
    call.word_count = static_cast<std::uint32_t>(words.size());
    call.result_kind = kind;
    zrabi::raw_call(call, offset);
    if (record) *record = call;
    return zrabi::frame_faults(zrabi::Target{nullptr, convention, bytes, offset}, call);
}

TEST(Trampoline, AcceptsConformingCallsAtEveryAlignmentAndReadsSt0)
{
    zrabi::RawCall call;
    for (unsigned offset : zrabi::stack_offsets) {
        EXPECT_EQ(probe(zrabi_probe_stdcall8, Convention::Stdcall, 8, zrabi::kResultInEax, offset, &call), "");
        EXPECT_EQ(call.esp_at_call % 16, offset);
        EXPECT_EQ(call.eax, 42u);
        EXPECT_EQ(probe(zrabi_probe_one_in_st0, Convention::Cdecl, 4, zrabi::kResultDoubleInSt0, offset, &call), "");
        EXPECT_EQ(call.st0_double, 1.0);
        EXPECT_EQ(probe(zrabi_probe_one_in_st0, Convention::Cdecl, 12, zrabi::kResultFloatInSt0, offset, &call), "");
        EXPECT_EQ(call.st0_float, 1.0f);
    }
}

TEST(Trampoline, SeesEachBrokenConvention)
{
    using zrabi::kResultInEax;
    EXPECT_NE(probe(zrabi_probe_stdcall8, Convention::Cdecl, 8, kResultInEax), "") << "a cdecl name pops";
    EXPECT_NE(probe(zrabi_probe_removes_4_of_8, Convention::Stdcall, 8, kResultInEax), "") << "stdcall pops too few";
    EXPECT_NE(probe(zrabi_probe_plain_return, Convention::Stdcall, 8, kResultInEax), "") << "stdcall pops nothing";
    EXPECT_NE(probe(zrabi_probe_one_in_st0, Convention::Cdecl, 0, kResultInEax), "") << "a value left in ST(0)";
    EXPECT_NE(probe(zrabi_probe_plain_return, Convention::Cdecl, 0, zrabi::kResultDoubleInSt0), "") << "no result";
    EXPECT_NE(probe(zrabi_probe_clobbers_ebx, Convention::Cdecl, 0, kResultInEax), "") << "EBX not preserved";
}

#endif

}  // namespace
