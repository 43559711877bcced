// Calls an entry point the way a host program does and checks the frame it
// leaves behind.
//
// On 32-bit x86 a small assembly trampoline pushes the argument words itself at
// a chosen stack alignment, calls the entry point, and records ESP before the
// pushes, at the call and after the return, EAX, the callee-saved registers, the
// x87 state and MXCSR; float and double results are taken from ST(0). A stdcall
// name must remove exactly the argument bytes of the table of entry points, a
// cdecl name nothing, and the x87 stack must be empty afterwards. On x86-64,
// with one calling convention, the cases call each name through a plain pointer.
//
// A case is registered under its table name and gives one set of arguments,
// with arrays taken from `memory`:
//
//     ZRABI_CASE(zrcalcSumValues_double) { entry.check(memory.values<double>(37), 37); }
//
// check() calls the entry point once as the compiler calls the header's
// declaration, then under the name being tested (through the trampoline on
// 32-bit x86) on the same arrays put back as they were: the result's bits and
// every byte of the arrays must agree. The body runs for every name of the entry
// point (stdcall, _cdecl twin, aliases) and, on 32-bit x86, at every 4-byte stack
// alignment. What the operation computes is the sweeps' business.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "support/bits.h"
#include "support/sweep.h"
#include "zrcalc.h"

namespace zrabi {

enum class Convention { Stdcall, Cdecl };

// One name of an entry point, reached at one stack alignment.
struct Target {
    const void* address = nullptr;
    Convention convention = Convention::Stdcall;
    int argument_bytes = 0;     // from the table: what the caller pushes
    unsigned stack_offset = 0;  // ESP mod 16 at the call instruction (32-bit x86)
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

// A one-byte flag fills a 4-byte slot whose upper bytes hosts need not clear.
constexpr std::uint32_t kFlagSlotUpperBytes = 0xA5A5A500u;

// Stack alignments at which each case runs: every 4-byte one on 32-bit x86,
// whose Windows callers keep only 4.
#if defined(__i386__)
inline const std::vector<unsigned> stack_offsets = {0, 4, 8, 12};
#else
inline const std::vector<unsigned> stack_offsets = {0};
#endif

// 32-bit x86 only: one call through the trampoline; the frame's faults, one
// line each; and a call that reports them as a test failure.
void raw_call(RawCall& call, unsigned stack_offset);
std::string frame_faults(const Target& target, const RawCall& call);
RawCall checked_call(const Target& target, const std::vector<std::uint32_t>& words, ResultKind kind);

template <class T>
void append_words(std::vector<std::uint32_t>& words, T value)
{
    if constexpr (std::is_same_v<T, bool>) {
        words.push_back(kFlagSlotUpperBytes | (value ? 1u : 0u));
    } else {
        static_assert(sizeof(T) == 4 || sizeof(T) == 8, "argument slot of 4 or 8 bytes");
        std::uint32_t w[2] = {0, 0};
        std::memcpy(w, &value, sizeof(T));
        words.insert(words.end(), w, w + sizeof(T) / 4);
    }
}

// The arrays of one case: deterministic values, each one element past a 64-byte
// boundary (naturally aligned, not vector aligned), put back as they were on
// request. A parameter block is an array of one element.
class Memory {
public:
    template <class T>
    T* values(std::size_t n)
    {
        return place(zrtest::random_samples<T>(n, buffers_.size() + 1));
    }
    template <class T>
    T* block(const T& value)
    {
        return place(std::vector<T>{value});
    }
    std::vector<std::vector<unsigned char>> contents() const
    {
        std::vector<std::vector<unsigned char>> out;
        for (const Buffer& b : buffers_) out.emplace_back(b.at, b.at + b.initial.size());
        return out;
    }
    void restore()
    {
        for (Buffer& b : buffers_) std::memcpy(b.at, b.initial.data(), b.initial.size());
    }

private:
    struct Buffer {
        std::unique_ptr<unsigned char[]> storage;
        unsigned char* at;
        std::vector<unsigned char> initial;
    };
    template <class T>
    T* place(const std::vector<T>& v)
    {
        const std::size_t bytes = v.size() * sizeof(T);
        Buffer b{std::make_unique<unsigned char[]>(bytes + 128), nullptr, {}};
        b.at = reinterpret_cast<unsigned char*>((reinterpret_cast<std::uintptr_t>(b.storage.get()) + 63) / 64 * 64 +
                                                sizeof(T) % 64);
        std::memcpy(b.at, v.data(), bytes);
        b.initial.assign(b.at, b.at + bytes);
        buffers_.push_back(std::move(b));
        return reinterpret_cast<T*>(buffers_.back().at);
    }
    std::vector<Buffer> buffers_;
};

template <class Sig>
class Entry;

template <class R, class... A>
struct Entry<R(A...)> {
    Target target_;
    std::function<R(A...)> direct_;
    Memory* memory_;

    // The call under the tested name against the direct call, as the file's
    // opening comment says.
    void check(A... args) const
    {
        const auto run = [&](const auto& f) {
            if constexpr (std::is_void_v<R>)
                return f(args...), 0;
            else
                return f(args...);
        };
        const auto expected = run(direct_);
        const auto expectedArrays = memory_->contents();
        memory_->restore();
        EXPECT_TRUE(zrtest::BitsEqual(expected, run(*this))) << "the result";
        const auto arrays = memory_->contents();
        for (std::size_t b = 0; b < arrays.size(); ++b)
            EXPECT_TRUE(zrtest::BitsEqual(expectedArrays[b].data(), arrays[b].data(), arrays[b].size())) << "array " << b;
        memory_->restore();
    }

    R operator()(A... args) const
    {
        // A pointer fills one 4-byte slot on 32-bit x86, a double two, a flag one.
        EXPECT_EQ((0 + ... + (std::is_pointer_v<A> ? 4 : int((sizeof(A) + 3) / 4 * 4))), target_.argument_bytes)
            << "the header and the table disagree on the argument bytes";
#if defined(__i386__)
        std::vector<std::uint32_t> words;
        (append_words<A>(words, args), ...);
        const RawCall call = checked_call(target_, words,
                                          std::is_same_v<R, float>    ? kResultFloatInSt0
                                          : std::is_same_v<R, double> ? kResultDoubleInSt0
                                                                      : kResultInEax);
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
};

// The header's signature of a name without its calling convention.
template <class R, class... A>
Entry<R(A...)> entry_of(R (*)(A...));
#if defined(__i386__)
template <class R, class... A>
Entry<R(A...)> entry_of(R(__attribute__((stdcall)) *)(A...));
#endif

using CaseBody = std::function<void(const Target&)>;
std::multimap<std::string, CaseBody>& cases();  // a name registered twice shows twice
inline bool register_case(const char* name, CaseBody body)
{
    cases().emplace(name, std::move(body));
    return true;
}

}  // namespace zrabi

#define ZRABI_CASE(name)                                                                               \
    using zrabi_entry_##name = decltype(::zrabi::entry_of(&name));                                     \
    static void zrabi_case_##name(const zrabi_entry_##name& entry, ::zrabi::Memory& memory);           \
    [[maybe_unused]] static const bool zrabi_registered_##name =                                       \
        ::zrabi::register_case(#name, [](const ::zrabi::Target& t) {                                   \
            ::zrabi::Memory memory;                                                                    \
            zrabi_case_##name(zrabi_entry_##name{t, &name, &memory}, memory);                          \
        });                                                                                            \
    static void zrabi_case_##name(const zrabi_entry_##name& entry, [[maybe_unused]] ::zrabi::Memory& memory)
