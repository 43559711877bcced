// Arrays at every alignment, and counts around the pass sizes of a vector loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <type_traits>
#include <vector>

namespace zrtest {

// An array whose first element lies offset_bytes past a 64-byte boundary.
template <class T>
class OffsetArray {
public:
    OffsetArray(std::size_t count, std::size_t offset_bytes) : count_(count)
    {
        storage_.resize((count * sizeof(T) + offset_bytes + 2 * 64) / sizeof(T) + 1);
        auto base = reinterpret_cast<std::uintptr_t>(storage_.data());
        auto aligned = (base + 63) / 64 * 64;
        data_ = reinterpret_cast<T*>(aligned + offset_bytes);
    }
    OffsetArray(const std::vector<T>& values, std::size_t offset_bytes) : OffsetArray(values.size(), offset_bytes)
    {
        if (!values.empty()) std::memcpy(data_, values.data(), values.size() * sizeof(T));
    }
    T* data() const { return data_; }
    std::size_t size() const { return count_; }
    T& operator[](std::size_t i) const { return data_[i]; }
    std::vector<T> to_vector() const { return std::vector<T>(data_, data_ + count_); }

private:
    std::vector<T> storage_;
    T* data_;
    std::size_t count_;
};

// Every naturally aligned byte offset within a 32-byte vector: 0, s, 2s, ... < 32.
template <class T>
std::vector<std::size_t> alignment_offsets()
{
    std::vector<std::size_t> offsets;
    for (std::size_t o = 0; o < 32; o += sizeof(T)) offsets.push_back(o);
    return offsets;
}

// Counts 0 .. limit, every one of them.
inline std::vector<std::uint32_t> counts_up_to(std::uint32_t limit)
{
    std::vector<std::uint32_t> counts;
    for (std::uint32_t c = 0; c <= limit; ++c) counts.push_back(c);
    return counts;
}

// Deterministic samples over the whole range of an integer type, or in
// [-scale, scale) for floating point.
template <class T>
std::vector<T> random_samples(std::size_t count, std::uint64_t seed, double scale = 1000.0)
{
    std::mt19937_64 rng(seed);
    std::vector<T> out(count);
    for (auto& v : out) {
        if constexpr (std::is_floating_point_v<T>) {
            // 53 random bits mapped to [-1, 1), then scaled.
            double unit = static_cast<double>(rng() >> 11) * 0x1.0p-52 - 1.0;
            v = static_cast<T>(unit * scale);
        } else {
            v = static_cast<T>(rng());
        }
    }
    return out;
}

}  // namespace zrtest
