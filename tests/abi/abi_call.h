// Calls an entry point the way a host program does and checks the frame it
// leaves behind.
//
// On 32-bit x86 a small assembly trampoline pushes the argument words itself,
// at a chosen stack alignment, calls the entry point, and records ESP before the
// pushes, at the call and after the return, EAX, the callee-saved registers, the
// x87 state and MXCSR; float and double results are taken from ST(0). A stdcall
// entry point must remove exactly the bytes that the table of entry points
// gives, a cdecl one nothing, and the x87 stack must be empty afterwards.
//
// On x86-64 there is one calling convention; the same cases call each name
// through an ordinary function pointer.
//
// An ABI case is registered under its table name with the signature from the
// public header:
//
//     ZRABI_CASE(zrcalcSumValues_double, double(const double*, uint32_t))
//     {
//         const double data[] = {0.5, 0.25, 2.0};
//         EXPECT_TRUE(zrtest::BitsEqual(2.75, entry(data, 3u)));
//     }
//
// The body runs once for every name of the entry point (stdcall, _cdecl twin,
// aliases) and, on 32-bit x86, at every 4-byte stack alignment; each run sets up
// its own inputs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "zrcalc.h"

namespace zrabi {

enum class Convention { Stdcall, Cdecl };

// One way of reaching an entry point.
struct Target {
    std::string symbol;
    const void* address = nullptr;
    Convention convention = Convention::Stdcall;
    int argument_bytes = 0;       // from the table: what the caller pushes
    unsigned stack_offset = 0;    // ESP mod 16 at the call instruction (32-bit x86)
};

// The record that the 32-bit trampoline fills; its field offsets are fixed in
// the assembly (abi_call.cpp).
struct RawCall {
    const void* function;
    const std::uint32_t* words;   // argument words, first argument first
    std::uint32_t word_count;
    std::uint32_t pad;            // bytes below a 16-byte boundary before the pushes
    std::uint32_t result_kind;    // ResultKind
    std::uint32_t esp_before_pushes;
    std::uint32_t esp_at_call;
    std::uint32_t esp_after_return;
    std::uint32_t eax;
    std::uint32_t ebx, esi, edi;  // after the call; sentinels before it
    float st0_float;
    std::uint32_t unused;
    double st0_double;
    std::uint32_t mxcsr_before, mxcsr_after;
    std::uint32_t x87_env_before[7];  // FNSTENV images: control, status, tag, ...
    std::uint32_t x87_env_after[7];
};

enum ResultKind : std::uint32_t { kResultInEax = 0, kResultFloatInSt0 = 1, kResultDoubleInSt0 = 2 };

// Callee-saved registers hold these across the call.
constexpr std::uint32_t kEbxSentinel = 0x5EB05EB0u, kEsiSentinel = 0x51E51E51u, kEdiSentinel = 0xED1ED1EDu;
// A one-byte flag argument fills a 4-byte slot; hosts need not clear the upper
// bytes, so the trampoline fills them with this pattern.
constexpr std::uint32_t kFlagSlotUpperBytes = 0xA5A5A500u;

// Runs one call through the trampoline (32-bit x86 only).
void raw_call(RawCall& call, unsigned stack_offset);

// Everything wrong with the frame that a call left, one line per fault; empty
// when the call kept the convention of its target.
std::string frame_faults(const Target& target, const RawCall& call);

// Stack alignments at which each case runs: every 4-byte alignment on 32-bit
// x86 (Windows callers keep only 4), a single run elsewhere.
std::vector<unsigned> stack_offsets();

// Argument bytes of a signature as the 32-bit convention counts them.
template <class T>
constexpr int slot_bytes()
{
    if constexpr (std::is_pointer_v<T>) return 4;
    return static_cast<int>((sizeof(T) + 3) / 4 * 4);
}

template <class T>
void append_words(std::vector<std::uint32_t>& words, T value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    if constexpr (std::is_same_v<T, bool>) {
        words.push_back(kFlagSlotUpperBytes | (value ? 1u : 0u));
    } else {
        static_assert(sizeof(T) == 4 || sizeof(T) == 8, "argument slot of 4 or 8 bytes");
        std::uint32_t w[2] = {0, 0};
        std::memcpy(w, &value, sizeof(T));
        words.push_back(w[0]);
        if (sizeof(T) == 8) words.push_back(w[1]);
    }
}

template <class Sig>
class Entry;

template <class R, class... A>
class Entry<R(A...)> {
public:
    explicit Entry(const Target& target) : target_(target) {}

    R operator()(A... args) const
    {
        EXPECT_EQ((0 + ... + slot_bytes<A>()), target_.argument_bytes)
            << "the case's signature and the table disagree on the argument bytes";
#if defined(__i386__)
        std::vector<std::uint32_t> words;
        (append_words<A>(words, args), ...);
        RawCall call{};
        call.function = target_.address;
        call.words = words.data();
        call.word_count = static_cast<std::uint32_t>(words.size());
        call.result_kind = std::is_same_v<R, float>    ? kResultFloatInSt0
                           : std::is_same_v<R, double> ? kResultDoubleInSt0
                                                       : kResultInEax;
        raw_call(call, target_.stack_offset);
        const std::string faults = frame_faults(target_, call);
        if (!faults.empty()) ADD_FAILURE() << faults;
        if constexpr (std::is_same_v<R, float>) {
            return call.st0_float;
        } else if constexpr (std::is_same_v<R, double>) {
            return call.st0_double;
        } else if constexpr (!std::is_void_v<R>) {
            static_assert(sizeof(R) == 4, "integer and pointer results come back in EAX");
            R result;
            std::memcpy(&result, &call.eax, sizeof result);
            return result;
        }
#else
        return reinterpret_cast<R (*)(A...)>(const_cast<void*>(target_.address))(args...);
#endif
    }

private:
    Target target_;
};

using CaseBody = std::function<void(const Target&)>;

bool register_case(const char* name, CaseBody body);
const CaseBody* find_case(const std::string& name);
std::vector<std::string> case_names();
std::vector<std::string>& duplicate_cases();  // names registered twice

}  // namespace zrabi

// On x86-64, where the header's function types carry no calling convention, the
// case's signature must be the header's declaration of the name.
#if defined(__x86_64__)
#define ZRABI_CHECK_SIGNATURE(name, ...) \
    static_assert(std::is_same_v<decltype(name), __VA_ARGS__>, #name ": signature differs from the header");
#else
#define ZRABI_CHECK_SIGNATURE(name, ...)
#endif

#define ZRABI_CASE(name, ...)                                                                  \
    ZRABI_CHECK_SIGNATURE(name, __VA_ARGS__)                                                   \
    static void zrabi_case_##name(const ::zrabi::Entry<__VA_ARGS__>& entry);                   \
    [[maybe_unused]] static const bool zrabi_registered_##name = ::zrabi::register_case(       \
        #name, [](const ::zrabi::Target& t) { zrabi_case_##name(::zrabi::Entry<__VA_ARGS__>(t)); }); \
    static void zrabi_case_##name(const ::zrabi::Entry<__VA_ARGS__>& entry)
