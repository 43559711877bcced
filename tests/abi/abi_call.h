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
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/bits.h"
#include "support/sweep.h"

namespace zrabi {

// One name of an entry point, reached at one stack alignment.
struct Target {
    const void* address;
    bool cdecl;                 // else stdcall
    int argument_bytes;         // from the table: what the caller pushes
    unsigned stack_offset;      // ESP mod 16 at the call instruction (32-bit x86)
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
#if defined(__i386__)
inline const std::vector<unsigned> stack_offsets = {0, 4, 8, 12};
#else
inline const std::vector<unsigned> stack_offsets = {0};
#endif

// 32-bit x86 only: one call through the trampoline, and the faults of the frame
// it leaves, one line each.
RawCall raw_call(const void* function, const std::vector<std::uint32_t>& words, ResultKind kind, unsigned stack_offset);
std::string frame_faults(const Target& target, const RawCall& call);

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

// The arrays of one check: random values, each one element past a 64-byte
// boundary (naturally aligned, not vector aligned), put back as they were on
// request. A parameter block is an array of one element.
class Memory {
public:
    template <class T>
    T* values(std::size_t n) { return place(zrtest::random_samples<T>(n, initial_.size() + 1)); }
    template <class T>
    T* block(const T& value) { return place(std::vector<T>{value}); }
    std::vector<std::vector<unsigned char>> contents() const
    {
        auto out = initial_;
        for (std::size_t k = 0; k < out.size(); ++k) std::memcpy(out[k].data(), at_[k].data(), out[k].size());
        return out;
    }
    void restore()
    {
        for (std::size_t k = 0; k < at_.size(); ++k) std::memcpy(at_[k].data(), initial_[k].data(), initial_[k].size());
    }

private:
    template <class T>
    T* place(const std::vector<T>& v)
    {
        initial_.emplace_back(v.size() * sizeof(T));
        std::memcpy(initial_.back().data(), v.data(), initial_.back().size());
        at_.emplace_back(initial_.back(), sizeof(T));
        return reinterpret_cast<T*>(at_.back().data());
    }
    std::vector<zrtest::OffsetArray<unsigned char>> at_;
    std::vector<std::vector<unsigned char>> initial_;
};

// Arguments made from a signature, first to last.
constexpr std::uint32_t kCount = 37;          // past the widest vector pass (32 floats)
constexpr std::size_t kArrayElements = 4096;  // room for kCount samples at any small stride
template <class Block>
Block parameter_block(Memory& memory);  // one per parameter block type, in abi_test.cpp

template <class T>
T argument(Memory& memory, int index)
{
    using P = std::remove_cv_t<std::remove_pointer_t<T>>;
    if constexpr (std::is_pointer_v<T> && std::is_arithmetic_v<P>) return memory.values<P>(kArrayElements);
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
    const auto expected = run(direct);
    const auto expectedArrays = memory.contents();
    memory.restore();
    EXPECT_TRUE(zrtest::BitsEqual(expected, run([&](A... a) { return call_at<R>(target, a...); }))) << "the result";
    const auto arrays = memory.contents();
    for (std::size_t b = 0; b < arrays.size(); ++b)
        EXPECT_TRUE(zrtest::BitsEqual(expectedArrays[b].data(), arrays[b].data(), arrays[b].size())) << "array " << b;
}

// The header's declaration, whatever its calling convention, against the target.
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
