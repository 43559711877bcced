#include "support/guarded_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace zrtest {

GuardedRegion::GuardedRegion(std::size_t bytes, Guard guard)
{
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    data_pages_bytes_ = (bytes + page - 1) / page * page;
    if (data_pages_bytes_ == 0) data_pages_bytes_ = page;
    map_bytes_ = data_pages_bytes_ + 2 * page;
    void* map = mmap(nullptr, map_bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) throw std::runtime_error("mmap failed");
    map_ = static_cast<unsigned char*>(map);
    if (mprotect(map_, page, PROT_NONE) != 0 ||
        mprotect(map_ + page + data_pages_bytes_, page, PROT_NONE) != 0)
        throw std::runtime_error("mprotect failed");
    data_pages_ = map_ + page;
    start_ = guard == Guard::Before ? data_pages_ : data_pages_ + data_pages_bytes_ - bytes;
    // Fill with a pattern that is a NaN in every float width, so that a stray read
    // inside the pages (not past them) shows up in results.
    std::memset(data_pages_, 0xFF, data_pages_bytes_);
}

GuardedRegion::~GuardedRegion()
{
    if (map_) munmap(map_, map_bytes_);
}

void GuardedRegion::make_read_only()
{
    if (mprotect(data_pages_, data_pages_bytes_, PROT_READ) != 0) std::abort();
}

}  // namespace zrtest
