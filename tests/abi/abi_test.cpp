// Every entry point of the table, called by name from the built library the way
// a host program calls it.
//
// Every name of a built entry point (stdcall, _cdecl twin, aliases) runs with
// arguments made from the header's signature: arrays of random values behind
// pointers, a count past the widest vector pass, distinct floating-point values,
// false for flags, and for a parameter block the block that
// parameter_block<Block>() makes. The name's result bits and every byte of the
// arrays must equal those of the compiled call of the header's declaration on the
// same arguments; what the operation computes is the sweeps' business.
//
// On 32-bit x86 an assembly trampoline (trampoline.S) pushes the argument words
// itself at each 4-byte stack alignment, calls the name, and records ESP before
// the pushes, at the call and after the return, EAX, the callee-saved registers,
// the x87 state and MXCSR; float and double results are taken from ST(0). A
// stdcall name must remove exactly the argument bytes of the table of entry
// points, a cdecl name nothing, and the x87 stack must be empty afterwards. On
// x86-64, with one calling convention, each name is called through a plain
// pointer.
//
// The 32-bit x86 suite runs the same check on the Windows DLL when the build
// names one (ZRCALC_TEST_DLL): the tests' own PE loader maps it away from its
// preferred base, and each name, found by its Windows spelling and by its
// ordinal alike, must give the results of the direct call into this build.
#include <dlfcn.h>

#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#endif

#include "frame/entry_table.h"
#include "pe/pe_loader.h"
#include "support/sweep.h"

namespace zrabi {

// One name of an entry point, reached at one stack alignment.
struct Target {
    const void* address;
    bool cdecl;                 // else stdcall
    int argument_bytes;         // from the table: what the caller pushes
    unsigned stack_offset;      // ESP mod 16 at the call instruction (32-bit x86)
    std::function<const void*(const char*)> module;  // another entry point of the same library, by name
};

enum ResultKind : std::uint32_t { kResultInEax, kResultFloatInSt0, kResultDoubleInSt0 };

// The record that the trampoline fills; the assembly addresses it by offset.
struct RawCall {
    const void* function;
    const std::uint32_t* words;  // argument words, first argument first
    std::uint32_t word_count, pad, result_kind;
    std::uint32_t esp_before_pushes, esp_at_call, esp_after_return, eax;
    std::uint32_t ebx, esi, edi;  // after the call; sentinels before it
    float st0_float;
    std::uint32_t unused;
    double st0_double;
    std::uint32_t mxcsr_before, mxcsr_after;
    std::uint32_t x87_env_before[7], x87_env_after[7];  // FNSTENV images
};

// Stack alignments at which each name runs: every 4-byte one on 32-bit x86,
// whose Windows callers keep only 4.
const std::vector<unsigned> stack_offsets =
    sizeof(void*) == 4 ? std::vector<unsigned>{0, 4, 8, 12} : std::vector<unsigned>{0};


#if defined(__i386__)

static_assert(offsetof(RawCall, pad) == 12 && offsetof(RawCall, result_kind) == 16 &&
                  offsetof(RawCall, esp_before_pushes) == 20 && offsetof(RawCall, eax) == 32 &&
                  offsetof(RawCall, edi) == 44 && offsetof(RawCall, st0_float) == 48 &&
                  offsetof(RawCall, st0_double) == 56 && offsetof(RawCall, mxcsr_before) == 64 &&
                  offsetof(RawCall, x87_env_before) == 72 && offsetof(RawCall, x87_env_after) == 100,
              "the trampoline addresses these fields by offset");

extern "C" void zrabi_trampoline(RawCall* call);

RawCall raw_call(const void* function, const std::vector<std::uint32_t>& words, ResultKind kind, unsigned stack_offset)
{
    RawCall call{};
    call.function = function;
    call.words = words.data();
    call.word_count = static_cast<std::uint32_t>(words.size());
    call.result_kind = kind;
    // ESP at the call = boundary - pad - 4 * words, which must be stack_offset mod 16.
    call.pad = (16u - (stack_offset + 4u * call.word_count) % 16u) % 16u;
    zrabi_trampoline(&call);
    return call;
}

std::string frame_faults(const Target& target, const RawCall& call)
{
    std::ostringstream out;
    const bool stdcall = !target.cdecl;
    const std::uint32_t pushed = call.esp_before_pushes - call.esp_at_call;
    if (pushed != 4 * call.word_count || call.esp_at_call % 16 != target.stack_offset)
        out << "trampoline: wrong pushes or ESP = " << call.esp_at_call % 16 << " mod 16\n";
    if (call.esp_after_return - call.esp_at_call != (stdcall ? std::uint32_t(target.argument_bytes) : 0u))
        out << "removed " << std::int32_t(call.esp_after_return - call.esp_at_call) << " argument bytes; "
            << (stdcall ? "stdcall" : "cdecl") << " must remove " << (stdcall ? target.argument_bytes : 0) << "\n";
    // The sentinels that the trampoline loads before the call.
    if (call.ebx != 0x5EB05EB0u || call.esi != 0x51E51E51u || call.edi != 0xED1ED1EDu)
        out << "a callee-saved register (EBX, ESI or EDI) changed\n";
    const std::uint32_t tag = call.x87_env_after[2] & 0xFFFF;
    if (tag != 0xFFFF || ((call.x87_env_after[1] ^ call.x87_env_before[1]) & 0x3800))
        out << "x87 stack not empty after the call (tag word 0x" << std::hex << tag << std::dec << ")\n";
    if (call.x87_env_after[1] & 0x40) out << "x87 stack fault (a value missing from or left on the stack)\n";
    if ((call.x87_env_after[0] ^ call.x87_env_before[0]) & 0xFFFF) out << "x87 control word changed\n";
    // MXCSR: the control bits belong to the caller, the exception flags do not.
    if ((call.mxcsr_after ^ call.mxcsr_before) & ~0x3Fu) out << "MXCSR control bits changed\n";
    return out.str();
}

#endif

// The entry point at the target, called with args as a host calls it. A one-byte
// flag fills a 4-byte slot whose upper bytes hosts need not clear.
template <class R, class... A>
R call_at(const Target& target, A... args)
{
#if defined(__i386__)
    std::vector<std::uint32_t> words;
    const auto push = [&](auto v) {
        std::uint32_t w[2] = {std::is_same_v<decltype(v), bool> ? 0xA5A5A500u : 0u, 0u};
        std::memcpy(w, &v, sizeof v);
        words.insert(words.end(), w, w + (sizeof v + 3) / 4);
    };
    (push(args), ...);
    const RawCall call = raw_call(target.address, words,
                                  std::is_same_v<R, float>    ? kResultFloatInSt0
                                  : std::is_same_v<R, double> ? kResultDoubleInSt0
                                                              : kResultInEax,
                                  target.stack_offset);
    const std::string faults = frame_faults(target, call);
    EXPECT_TRUE(faults.empty()) << faults;
    if constexpr (std::is_same_v<R, float>) return call.st0_float;
    else if constexpr (std::is_same_v<R, double>) return call.st0_double;
    else if constexpr (!std::is_void_v<R>) {
        R result;  // an integer or a pointer, in EAX
        std::memcpy(&result, &call.eax, sizeof result);
        return result;
    }
#else
    return reinterpret_cast<R (*)(A...)>(const_cast<void*>(target.address))(args...);
#endif
}

// The arrays of one check, in one arena of random bytes: each array one element
// past a 64-byte boundary (naturally aligned, not vector aligned).
class Memory {
public:
    template <class T>
    T* values(std::size_t n)
    {
        used_ = (used_ + 63) / 64 * 64 + sizeof(T);
        T* p = reinterpret_cast<T*>(arena_.data() + used_);
        used_ += n * sizeof(T);
        EXPECT_LE(used_, arena_.size()) << "arena too small";
        return p;
    }
    // A block's padding comes from a temporary and is never set; Valgrind is told
    // that it is defined, as the byte comparison of the arena reads it.
    template <class T>
    T* block(const T& value)
    {
        T* p = &(*values<T>(1) = value);
#ifdef VALGRIND_MAKE_MEM_DEFINED
        VALGRIND_MAKE_MEM_DEFINED(p, sizeof(T));
#endif
        return p;
    }
    std::vector<unsigned char>& bytes() { return arena_; }

private:
    std::vector<unsigned char> arena_ = zrtest::random_samples<unsigned char>(1 << 18, 1);
    std::size_t used_ = 0;
};

// Arguments made from a signature, first to last.
constexpr std::uint32_t kCount = 37;          // past the widest vector pass (32 floats)
constexpr std::size_t kArrayElements = 4096;  // room for kCount samples at a small stride
constexpr std::size_t kElementsBefore = 64;    // room for the samples a filter reads back from its newest one
// A parameter block behind a pointer argument: this template makes the scaled
// values' blocks, int16 samples (code 2) of one channel interleaved with another
// (stride 2); another block type adds a specialization.
template <class Block>
Block parameter_block(Memory& m)
{
    using Out = std::remove_pointer_t<decltype(Block::destination)>;
    return {m.values<int16_t>(2 * kCount), m.values<Out>(kCount), Out(0.1), Out(-0.25), int32_t(kCount), 2, 2};
}
template <>
PowerScaleSumParams parameter_block<PowerScaleSumParams>(Memory& m)
{
    return {m.values<double>(kCount), m.values<float>(kCount), 1.5, 0.75f, int32_t(kCount), 1};
}

// The XY graph's: four points (four-point path) from index 3 of an X array, float
// Y data on a decibel axis, on a 640 x 480 area.
template <>
XYValGraph2DParams parameter_block<XYValGraph2DParams>(Memory& m)
{
    return {kCount, 0, 1, 5, 1, 3, 2, {}, 10, 20, 650, 500, 0.5, 1, 2, -1, 40, 1, 1.6, 0, 30, -50, 1.5, -1, 1,
            m.values<float>(4), m.values<double>(8), m.values<int32_t>(4), m.values<int32_t>(4),
            m.values<uint32_t>(1), 0.5};
}

// The power FIR's: the second of two coefficient sets over a ring of 40 samples,
// the window wrapping past the ring's end.
template <>
PowerFirParams parameter_block<PowerFirParams>(Memory& m)
{
    return {m.values<float>(40), m.values<float>(32), 5, 1, 40};
}

// The flicker state: 19 arrays of a stable chain (every coefficient and history 0.03), the flag 0 so that the
// first sample seeds the high-pass.
template <>
PowerFlickerState parameter_block<PowerFlickerState>(Memory& m)
{
    double* f[19];
    for (double*& p : f) p = std::fill_n(m.values<double>(12), 12, 0.03) - 12;
    return {f[0],  f[1],  f[2],  f[3],  f[4],  f[5],  f[6],  f[7],  f[8], f[9],
            f[10], f[11], f[12], f[13], f[14], f[15], f[16], f[17], f[18], 0};
}

// Unbalance: amplitudes about 230 and angles about 120 degrees apart; the 13
// output floats in one array.
template <>
PowerUnbalanceParams parameter_block<PowerUnbalanceParams>(Memory& m)
{
    float* v = m.values<float>(6 * kCount);
    for (std::uint32_t i = 0; i < 6 * kCount; ++i)
        v[i] = i < 3 * kCount ? 230.0f + i % 7 : 120.0f * (i / kCount % 3) + i % 5;
    float* o = m.values<float>(13);
    const auto z = [o](int k) { return reinterpret_cast<ZrcalcComplexFloat*>(o + 7 + 2 * k); };
    return {v, v + kCount, v + 2 * kCount, v + 3 * kCount, v + 4 * kCount, v + 5 * kCount,
            o, o + 1, o + 2, o + 3, o + 4, o + 5, o + 6, z(0), z(1), z(2), kCount};
}

template <class T>
T argument(Memory& memory, int index)
{
    using P = std::remove_cv_t<std::remove_pointer_t<T>>;
    if constexpr (std::is_pointer_v<T> && std::is_arithmetic_v<P>)
        return memory.values<P>(kElementsBefore + kArrayElements) + kElementsBefore;
    else if constexpr (std::is_void_v<P>)  // an untyped buffer
        return memory.values<double>(kElementsBefore + kArrayElements) + kElementsBefore;
    else if constexpr (std::is_pointer_v<T>) return memory.block(parameter_block<P>(memory));
    else if constexpr (std::is_same_v<T, bool>) return false;  // its slot's upper bytes must not read as true
    else if constexpr (std::is_floating_point_v<T>) return T(0.25 + 0.5 * index);
    else return T(std::is_same_v<T, std::uint32_t> ? kCount : 2);  // a count, or a small stride or level
}

template <class R, class... A, std::size_t... I>
void check_generic(const Target& target, std::function<R(A...)> direct, std::index_sequence<I...>)
{
    Memory memory;
    const std::tuple<A...> args{argument<A>(memory, int(I))...};  // braces: made in order
    const auto run = [&](const auto& f) {
        if constexpr (std::is_void_v<R>) return f(std::get<I>(args)...), 0;
        else return f(std::get<I>(args)...);
    };
    const std::vector<unsigned char> initial = memory.bytes();
    const auto expected = run(direct);
    const std::vector<unsigned char> expectedBytes = memory.bytes();
    memory.bytes() = initial;
    EXPECT_TRUE(zrtest::BitsEqual(expected, run([&](A... a) { return call_at<R>(target, a...); }))) << "the result";
    EXPECT_TRUE(zrtest::BitsEqual(expectedBytes.data(), memory.bytes().data(), initial.size())) << "(array bytes)";
}

template <class R, class... A>
void check_entry_point(R (*f)(A...), const Target& target)
{
    check_generic(target, std::function<R(A...)>(f), std::index_sequence_for<A...>{});
}
#if defined(__i386__)
template <class R, class... A>
void check_entry_point(R(__attribute__((stdcall)) * f)(A...), const Target& target)
{
    check_generic(target, std::function<R(A...)>(f), std::index_sequence_for<A...>{});
}
#endif

// The interpolator's entry points work on an object of their own: each call gets
// a fresh interpolator that has taken the same block, and the tested name must
// give the status and the values that the direct call gives.
constexpr CHSInterpolatorConfig kConfig{2.0, 3.0, 64};

// Another interpolator entry point f of the tested name's library, called like the
// tested name (an object is used and freed by the library that made it); with no
// target, the direct call.
template <class R, class... A, class... B>
R call_in(const Target* t, R(ZRCALC_STDCALL* f)(A...), const char* name, B... args)
{
    if (!t) return f(A(args)...);
    const void* address = t->module(name);
    if (!address) return ADD_FAILURE() << name << " is not resolvable", R();
    return call_at<R>(Target{address, false, int(4 * sizeof...(A)), t->stack_offset, t->module}, A(args)...);
}
#define ZRABI_CALL_IN(target, f, ...) call_in(target, &f, #f, __VA_ARGS__)

CHSInterpolator* fresh_interpolator(const Target* t)
{
    CHSInterpolator* h = nullptr;
    EXPECT_EQ(ZRABI_CALL_IN(t, zrcalcCHSInterpolator_Create, &h, &kConfig), 0);
    const std::vector<float> block = zrtest::random_samples<float>(kCount, 1);
    float* values = nullptr;
    uint32_t count = 0;
    ZRABI_CALL_IN(t, zrcalcCHSInterpolator_InterpolateValues, h, block.data(), kCount, &values, &count);
    return h;
}

// call(handle, values, valueCount) on a fresh interpolator of t's library: its status and values.
template <class Call>
std::pair<int32_t, std::vector<float>> outcome(Call call, const Target* t)
{
    CHSInterpolator* h = fresh_interpolator(t);
    float* values = nullptr;
    uint32_t count = 0;
    const int32_t status = call(h, &values, &count);
    std::pair<int32_t, std::vector<float>> o{status, std::vector<float>(values, values + count)};
    ZRABI_CALL_IN(t, zrcalcCHSInterpolator_Destroy, h);
    return o;
}

void check_entry_point(int32_t(ZRCALC_STDCALL*)(CHSInterpolator**, const CHSInterpolatorConfig*), const Target& t)
{
    CHSInterpolator* h = nullptr;
    EXPECT_EQ(call_at<int32_t>(t, &h, &kConfig), 0);
    EXPECT_EQ(ZRABI_CALL_IN(&t, zrcalcCHSInterpolator_Destroy, h), 0);
}

// Destroy; Reset, after which the same block gives the same values again.
void check_entry_point(int32_t(ZRCALC_STDCALL* f)(CHSInterpolator*), const Target& t)
{
    if (f == zrcalcCHSInterpolator_Destroy) {
        EXPECT_EQ(call_at<int32_t>(t, fresh_interpolator(&t)), 0);
        return;
    }
    const std::vector<float> block = zrtest::random_samples<float>(kCount, 1);
    const auto reset_then_block = [&](bool tested) {
        const Target* library = tested ? &t : nullptr;
        return outcome([&](CHSInterpolator* h, float** v, uint32_t* n) {
            const int32_t status = tested ? call_at<int32_t>(t, h) : f(h);
            ZRABI_CALL_IN(library, zrcalcCHSInterpolator_InterpolateValues, h, block.data(), kCount, v, n);
            return status;
        }, library);
    };
    EXPECT_EQ(reset_then_block(true), reset_then_block(false));
}

void check_entry_point(int32_t(ZRCALC_STDCALL* f)(CHSInterpolator*, const float*, uint32_t, float**, uint32_t*),
                       const Target& t)
{
    const std::vector<float> block = zrtest::random_samples<float>(kCount, 2);
    EXPECT_EQ(outcome([&](CHSInterpolator* h, float** v, uint32_t* n) {
                  return call_at<int32_t>(t, h, block.data(), kCount, v, n);
              }, &t),
              outcome([&](CHSInterpolator* h, float** v, uint32_t* n) { return f(h, block.data(), kCount, v, n); },
                      nullptr));
}

void check_entry_point(int32_t(ZRCALC_STDCALL* f)(CHSInterpolator*, float**, uint32_t*), const Target& t)
{
    EXPECT_EQ(outcome([&](CHSInterpolator* h, float** v, uint32_t* n) { return call_at<int32_t>(t, h, v, n); }, &t),
              outcome([&](CHSInterpolator* h, float** v, uint32_t* n) { return f(h, v, n); }, nullptr));
}

}  // namespace zrabi

// Two sections of the second-order form.
template <>
IIRFilterParams zrabi::parameter_block(Memory& m)
{
    return {0, 2, 2, 0, m.values<double>(2), reinterpret_cast<IIRTap*>(m.values<double>(2 * 3 * 4))};
}

namespace {

using zrtest::TableEntry;

// The generic check of every built entry point, by table name.
const std::map<std::string, void (*)(const zrabi::Target&)> kChecks = {
#define ZRABI_CHECK_BUILT(name) {#name, [](const zrabi::Target& t) { zrabi::check_entry_point(&name, t); }},
#define ZRABI_CHECK_PLANNED(name)
#define ZRABI_CHECK(name, kind, bytes, state) ZRABI_CHECK_##state(name)
    ZRCALC_ENTRY_POINTS(ZRABI_CHECK)
};

// Every name of the entry point, found in a library by resolve, at every stack
// alignment; module finds the library's other entry points.
void check_names(const TableEntry& e, const std::function<const void*(const zrtest::ExportedName&)>& resolve,
                 const std::function<const void*(const char*)>& module)
{
    for (const auto& name : e.names) {
        const void* address = resolve(name);
        ASSERT_NE(address, nullptr) << name.name << " is built but not resolvable";
        for (unsigned offset : zrabi::stack_offsets) {
            SCOPED_TRACE(name.name + " called with ESP = " + std::to_string(offset) + " mod 16");
            kChecks.at(e.name)(zrabi::Target{address, name.cdecl, e.bytes, offset, module});
        }
    }
}

class EntryPointAbi : public ::testing::TestWithParam<TableEntry> {};

TEST_P(EntryPointAbi, EveryNameKeepsItsConventionAndGivesTheDirectCallsResults)
{
    static void* const library = dlopen(ZRCALC_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto find = [](const char* name) -> const void* { return dlsym(library, name); };
    check_names(GetParam(), [&](const zrtest::ExportedName& n) { return find(n.name.c_str()); }, find);
}

std::vector<TableEntry> built_entries()
{
    auto entries = zrtest::table_entries();
    entries.erase(std::remove_if(entries.begin(), entries.end(), [](const TableEntry& e) { return !e.built; }),
                  entries.end());
    return entries;
}

INSTANTIATE_TEST_SUITE_P(Table, EntryPointAbi, ::testing::ValuesIn(built_entries()),
                         [](const ::testing::TestParamInfo<TableEntry>& info) { return info.param.name; });

#if defined(__i386__)

// The ordinal of every Windows export name, from the export definition.
std::map<std::string, std::uint32_t> definition_ordinals()
{
    std::map<std::string, std::uint32_t> ordinals;
    std::ifstream def(ZRCALC_DEF_PATH);
    for (std::string line, name, ordinal; std::getline(def, line);)
        if (std::istringstream(line) >> name >> ordinal && ordinal[0] == '@')
            ordinals[name] = std::stoul(ordinal.substr(1));
    return ordinals;
}

class DllEntryPointAbi : public EntryPointAbi {};

TEST_P(DllEntryPointAbi, EveryNameByNameAndOrdinalGivesTheElfBuildsResults)
{
    const zrpe::Image* dll = zrpe::windows_dll();
    if (!dll) GTEST_SKIP() << "no Windows DLL given: configure with -DZRCALC_TEST_DLL=<its path>";
    static const std::map<std::string, std::uint32_t> ordinals = definition_ordinals();
    const auto find = [dll](const char* name) { return dll->by_name(name); };
    check_names(GetParam(), [&](const zrtest::ExportedName& n) {
        EXPECT_EQ(find(n.windows.c_str()), dll->by_ordinal(ordinals.at(n.windows))) << n.windows << " by ordinal";
        return find(n.windows.c_str());
    }, find);
}

INSTANTIATE_TEST_SUITE_P(Table, DllEntryPointAbi, ::testing::ValuesIn(built_entries()),
                         [](const ::testing::TestParamInfo<TableEntry>& info) { return info.param.name; });

#endif

#if defined(__i386__)

// Functions that keep or break the 32-bit conventions on purpose (trampoline.S).
extern "C" void zrabi_probe_stdcall8(), zrabi_probe_removes_4_of_8(), zrabi_probe_one_in_st0(),
    zrabi_probe_clobbers_ebx(), zrabi_probe_plain_return();

std::string probe(void (*function)(), bool cdecl, int bytes, zrabi::ResultKind kind)
{
    const std::vector<std::uint32_t> words(bytes / 4, 0x11111111u);
    const auto call = zrabi::raw_call(reinterpret_cast<const void*>(function), words, kind, 4);
    return zrabi::frame_faults({nullptr, cdecl, bytes, 4, {}}, call);
}

// The conforming calls pass in every case above; each broken convention is seen.
TEST(Trampoline, SeesEachBrokenConvention)
{
    using zrabi::kResultInEax;
    EXPECT_NE(probe(zrabi_probe_stdcall8, true, 8, kResultInEax), "") << "a cdecl name pops";
    EXPECT_NE(probe(zrabi_probe_removes_4_of_8, false, 8, kResultInEax), "") << "stdcall pops too few";
    EXPECT_NE(probe(zrabi_probe_plain_return, false, 8, kResultInEax), "") << "stdcall pops nothing";
    EXPECT_NE(probe(zrabi_probe_one_in_st0, true, 0, kResultInEax), "") << "a value left in ST(0)";
    EXPECT_NE(probe(zrabi_probe_plain_return, true, 0, zrabi::kResultDoubleInSt0), "") << "no result";
    EXPECT_NE(probe(zrabi_probe_clobbers_ebx, true, 0, kResultInEax), "") << "EBX not preserved";
}

#endif

}  // namespace
