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
// Every built entry point runs once per name and, on 32-bit x86, at every
// 4-byte stack alignment, with arguments made from its signature: arrays of
// random values behind pointers, a count past the widest vector pass, distinct
// floating-point values, false for flags, and for a parameter block the
// block that parameter_block<Block>() makes. check() calls the entry point as
// the compiler calls the header's declaration, then under the name being tested
// (through the trampoline on 32-bit x86) with the arrays put back as they were:
// the result's bits and every byte of the arrays must agree. What the operation
// computes is the sweeps' business.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <tuple>
#include <utility>
#include <type_traits>
#include <vector>

#include "support/bits.h"
#include "support/sweep.h"

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
RawCall raw_call(const void* function, const std::vector<std::uint32_t>& words, ResultKind kind, unsigned stack_offset);
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

// Arguments made from a signature, first to last.
constexpr std::uint32_t kCount = 37;         // past the widest vector pass (32 floats)
constexpr std::size_t kArrayElements = 4096;  // room for kCount samples at any small stride
template <class Block>
Block parameter_block(Memory& memory);       // one per parameter block type, in abi_test.cpp

template <class T>
T argument(Memory& memory, int index)
{
    if constexpr (std::is_pointer_v<T>) {
        using P = std::remove_cv_t<std::remove_pointer_t<T>>;
        if constexpr (std::is_arithmetic_v<P>)
            return memory.values<P>(kArrayElements);
        else
            return memory.block(parameter_block<P>(memory));
    } else if constexpr (std::is_same_v<T, bool>) {
        return false;  // the trampoline fills the slot's upper bytes, which must not read as true
    } else if constexpr (std::is_floating_point_v<T>) {
        return T(0.25 + 0.5 * index);
    } else {
        return T(std::is_same_v<T, std::uint32_t> ? kCount : 2);  // a count, or a small stride or level
    }
}

template <class R, class... A, std::size_t... I>
void check_generic(const Target& target, std::function<R(A...)> direct, std::index_sequence<I...>)
{
    Memory memory;
    const Entry<R(A...)> entry{target, std::move(direct), &memory};
    const std::tuple<A...> args{argument<A>(memory, int(I))...};  // braces: made in order
    entry.check(std::get<I>(args)...);
}

// The header's declaration, whatever its calling convention, called at the target.
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

}  // namespace zrabi
