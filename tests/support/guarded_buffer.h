// Arrays placed flush against an inaccessible page, so that one element read or
// written past either end of the caller's array stops the test with a fault.
#pragma once

#include <cstddef>

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

}  // namespace zrtest
