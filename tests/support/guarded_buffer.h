// Arrays placed flush against an inaccessible page, so that one element read or
// written past either end of the caller's array stops the test with a fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zrtest {

enum class Guard {
    After,  // the array ends exactly where a PROT_NONE page begins
    Before  // the array starts exactly where a PROT_NONE page ends
};

class GuardedRegion {
public:
    GuardedRegion(std::size_t bytes, Guard guard);
    ~GuardedRegion();
    GuardedRegion(const GuardedRegion&) = delete;
    GuardedRegion& operator=(const GuardedRegion&) = delete;

    unsigned char* bytes() const { return start_; }
    // Turns the array read-only, so that a write into an input faults too.
    void make_read_only();

private:
    unsigned char* map_ = nullptr;
    std::size_t map_bytes_ = 0;
    unsigned char* data_pages_ = nullptr;
    std::size_t data_pages_bytes_ = 0;
    unsigned char* start_ = nullptr;
};

template <class T>
class GuardedArray {
public:
    GuardedArray(std::size_t count, Guard guard) : region_(count * sizeof(T), guard), count_(count) {}
    GuardedArray(const T* values, std::size_t count, Guard guard) : GuardedArray(count, guard)
    {
        if (count) std::memcpy(data(), values, count * sizeof(T));
    }
    T* data() const { return reinterpret_cast<T*>(region_.bytes()); }
    std::size_t size() const { return count_; }
    T& operator[](std::size_t i) const { return data()[i]; }
    void make_read_only() { region_.make_read_only(); }

private:
    GuardedRegion region_;
    std::size_t count_;
};

}  // namespace zrtest
