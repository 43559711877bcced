// The one conformance driver. An operation is described once: its arrays (element
// type, length as a function of the count, direction), the counts that cross its
// pass boundaries, the call into the library and a model of its rule written in
// the test. For every count the driver then runs the call against the model, bit
// for bit on every byte the operation may write:
//  - at every alignment of every array within a 32-byte vector;
//  - with every array flush against an inaccessible page after it, then before
//    it, the inputs read-only (at count 0 an empty array starts on the page);
//  - in the overlapping layouts the operation allows (in place, shifted).
// A failure names the case, the count, the layout, the array and the first
// differing element with both values and their bits.
//
//     ZRTEST_SWEEP(sums)
//     {
//         return {{"zrcalcSumValues_double", "", {zrtest::in<double>(), zrtest::cell<double>(Dir::Out)}, 40,
//                  [](Arrays a, std::uint32_t n) { *a.at<double>(1) = zrcalcSumValues_double(a.at<double>(0), n); },
//                  [](Arrays a, std::uint32_t n) { ...the rule... }}};
//     }
//
// The model runs on the very arrays of the call (before it, on the same
// addresses), so a rule whose path depends on an address sees that address.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iomanip>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "zrcalc.h"

namespace zrtest {

// --- Bit-for-bit comparison, naming the first differing element and both values
// --- in decimal and in hexadecimal bits.


template <class T>
std::string describe(T value)
{
    std::ostringstream out;
    std::uint64_t bits = 0;  // x86 is little-endian: the value's bits, zero-extended
    std::memcpy(&bits, &value, sizeof value);
    out << std::setprecision(sizeof(T) == 8 ? 17 : 9) << +value << " (0x" << std::hex << bits << ")";
    return out.str();
}

template <class T>
::testing::AssertionResult BitsEqual(T expected, T actual)
{
    if (std::memcmp(&expected, &actual, sizeof(T)) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << describe(expected) << ", actual " << describe(actual);
}

template <class T>
::testing::AssertionResult BitsEqual(const T* expected, const T* actual, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        if (auto same = BitsEqual(expected[i], actual[i]); !same) return same << " at element " << i;
    return ::testing::AssertionSuccess();
}

// --- The sweep driver ----------------------------------------------------------

enum class Dir { In, Out, InOut };

// What the driver needs of an element type: its size, and a value at p described
// with its bits.
struct Elem {
    std::size_t size;
    std::string (*describe)(const unsigned char* p);
};

template <class T>
const Elem* elem_of()
{
    static const Elem e{sizeof(T),
                        [](const unsigned char* p) { T v; return std::memcpy(&v, p, sizeof v), describe(v); }};
    return &e;
}

using Length = std::function<std::size_t(std::uint32_t count)>;
using Fill = std::function<void(void* data, std::size_t elements, std::uint64_t seed)>;

struct Array {
    const Elem* elem;
    Dir dir;
    Length length;  // elements at a count; none given: count
    Fill fill;
    std::size_t alignStep = 0;  // bytes between the alignments tried (0: the element size; 32: one)
};

// The arrays of one call, in the order of the description.
struct Arrays {
    void* const* p;
    template <class T>
    T* at(std::size_t i) const { return static_cast<T*>(p[i]); }
};
using Body = std::function<void(Arrays, std::uint32_t count)>;

// Output array `out` laid over input arrays `ins`, which share one memory, at each
// shift (in elements of the output; 0 is in place).
struct Overlap {
    std::size_t out;
    std::vector<std::size_t> ins;
    std::vector<std::ptrdiff_t> shifts;
};

struct Case {
    std::string entry;  // the table's name of the entry point under test
    std::string label;  // what tells this case from others of the entry point
    std::vector<Array> arrays;
    std::uint32_t maxCount;  // every count 0 .. maxCount runs
    Body call, model;
    std::vector<Overlap> overlaps = {};
    std::vector<std::uint32_t> moreCounts = {};
    std::uint32_t seeds = 1;  // value sets per count
};

bool register_cases(std::vector<Case> (*make)());
std::vector<Case> registered_cases();

// The bytes of every array of a case for one count and value set.
using Values = std::vector<std::vector<unsigned char>>;
Values make_values(const Case& c, std::uint32_t n, std::uint32_t set);

#define ZRTEST_SWEEP(tag)                                                                              \
    static std::vector<::zrtest::Case> zrtest_sweep_##tag();                                           \
    [[maybe_unused]] static const bool zrtest_sweep_registered_##tag =                                 \
        ::zrtest::register_cases(zrtest_sweep_##tag);                                                  \
    static std::vector<::zrtest::Case> zrtest_sweep_##tag()

// a * b + c rounded once, the operands in registers: a model that reads guarded
// memory must not hand it to a scalar fused multiply-add, which QEMU reads 16
// bytes wide (src/common/lanes.h).
template <class T>
T fused(T a, T b, T c)
{
    asm("" : "+x"(a), "+x"(b), "+x"(c));
    return std::fma(a, b, c);
}

// --- Values --------------------------------------------------------------------

// Deterministic samples over the whole range of an integer type, or in
// [-scale, scale) for floating point.
template <class T>
std::vector<T> random_samples(std::size_t count, std::uint64_t seed, double scale = 1000.0)
{
    std::mt19937_64 rng(seed);
    std::vector<T> out(count);
    for (auto& v : out) {
        if constexpr (std::is_floating_point_v<T>)
            v = static_cast<T>((static_cast<double>(rng() >> 11) * 0x1.0p-52 - 1.0) * scale);
        else
            v = static_cast<T>(rng());
    }
    return out;
}

// A fill from a generator of typed values: gen(n, seed) -> std::vector<T>.
template <class T, class Gen>
Fill fill_with(Gen gen)
{
    return [gen](void* data, std::size_t n, std::uint64_t seed) {
        const std::vector<T> v = gen(n, seed);
        std::copy(v.begin(), v.end(), static_cast<T*>(data));
    };
}

template <class T>
Fill random_fill(double scale = 1000.0)
{
    return fill_with<T>([scale](std::size_t n, std::uint64_t seed) { return random_samples<T>(n, seed, scale); });
}

// Storage for stated values that need an array at a chosen alignment: the first
// element lies offsetBytes past a 64-byte boundary.
template <class T>
class OffsetArray {
public:
    OffsetArray(const std::vector<T>& values, std::size_t offsetBytes)
        : storage_(values.size() + (offsetBytes + 128) / sizeof(T) + 1)
    {
        const auto base = (reinterpret_cast<std::uintptr_t>(storage_.data()) + 63) / 64 * 64;
        data_ = reinterpret_cast<T*>(base + offsetBytes);
        std::copy(values.begin(), values.end(), data_);
    }
    OffsetArray(OffsetArray&&) = default;  // the storage moves, data_ stays valid
    T* data() const { return data_; }

private:
    std::vector<T> storage_;
    T* data_;
};

template <class T>
Array in(Fill fill = random_fill<T>(), Length length = {})
{
    return {elem_of<T>(), Dir::In, std::move(length), std::move(fill)};
}
template <class T>
Array out(Length length = {})
{
    return {elem_of<T>(), Dir::Out, std::move(length), random_fill<T>()};
}
// One value (a scalar result or a running total): one alignment, whatever the count.
template <class T>
Array cell(Dir dir, Fill fill = random_fill<T>())
{
    return {elem_of<T>(), dir, [](std::uint32_t) { return std::size_t(1); }, std::move(fill), 32};
}

// --- Memory flush against an inaccessible page -------------------------------
// One element read or written past either end of the array stops the test with a
// fault. The bytes are filled with a pattern that is a NaN in every float width,
// so that a stray read inside the pages (not past them) shows in results too.

enum class Guard {
    After,  // the array ends exactly where a PROT_NONE page begins
    Before  // the array starts exactly where a PROT_NONE page ends
};

class GuardedRegion {
public:
    GuardedRegion(std::size_t bytes, Guard guard);
    GuardedRegion(const GuardedRegion&) = delete;
    ~GuardedRegion();
    unsigned char* bytes() const { return start_; }
    void make_read_only();  // so that a write into an input faults too

private:
    std::size_t page_, dataBytes_;
    unsigned char *map_, *start_;
};


// --- The table of entry points as the tests read it -----------------------------
// Every entry point with the names it is exported under and the calling
// convention of each on 32-bit x86.

enum class Kind { BOTH, CDECL_ONLY, DECORATED, DECORATED_TWIN };

struct ExportedName {
    std::string name;     // on ELF; Windows decorates the stdcall-only kinds as _name@bytes
    bool cdecl;           // else stdcall
    std::string windows;  // the spelling in the Windows export definition
};

struct TableEntry {
    std::string name;
    Kind kind;
    int bytes;
    bool built;
    std::vector<ExportedName> names;  // the plain name first, then its twin and aliases
};

std::vector<TableEntry> table_entries();

inline void PrintTo(const TableEntry& e, std::ostream* os) { *os << e.name; }

}  // namespace zrtest
