// The PE loader (pe_loader.h) and its stand-ins for what the DLL imports.
#include "pe/pe_loader.h"

#if defined(__i386__)

#include <asm/ldt.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <strings.h>

#define WINAPI __attribute__((stdcall))

namespace zrpe {
namespace {

using Bool = std::int32_t;
constexpr std::uint32_t kPage = 4096;
enum : std::uint32_t { kProcessDetach = 0, kProcessAttach = 1 };
enum : int { kExports = 0, kImports = 1, kRelocations = 5, kTls = 9 };

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error("PE loader: " + what); }

// A stand-in cannot throw: the DLL's frames between it and the test have no
// unwind information that this process knows.
[[noreturn]] void stop(const char* what)
{
    std::fprintf(stderr, "PE loader: %s\n", what);
    std::abort();
}

// --- Page protections of the mapped images, as VirtualProtect and VirtualQuery see them.

struct Page {
    std::uint32_t protection;  // PAGE_READONLY and the like
    unsigned char* image;
};
std::map<std::uintptr_t, Page> g_pages;

// A Windows page protection (PAGE_NOACCESS 0x01 .. PAGE_EXECUTE_WRITECOPY 0x80) as mprotect's.
int posix_protection(std::uint32_t page_protection)
{
    switch (page_protection) {
    case 0x01: return PROT_NONE;
    case 0x02: return PROT_READ;
    case 0x04: case 0x08: return PROT_READ | PROT_WRITE;  // read-write, write-copy
    case 0x10: return PROT_EXEC;
    case 0x20: return PROT_READ | PROT_EXEC;
    case 0x40: case 0x80: return PROT_READ | PROT_WRITE | PROT_EXEC;
    default: return -1;
    }
}

// Every page of [address, address + bytes) must belong to an image.
bool protect(std::uintptr_t address, std::size_t bytes, std::uint32_t protection, std::uint32_t* old)
{
    const std::uintptr_t first = address / kPage * kPage, end = (address + bytes + kPage - 1) / kPage * kPage;
    for (std::uintptr_t p = first; p < end; p += kPage)
        if (!g_pages.count(p)) return false;
    const int prot = posix_protection(protection);
    if (prot < 0 || mprotect(reinterpret_cast<void*>(first), end - first, prot) != 0) return false;
    if (old) *old = g_pages[first].protection;
    for (std::uintptr_t p = first; p < end; p += kPage) g_pages[p].protection = protection;
    return true;
}

// --- KERNEL32 (stdcall) ---------------------------------------------------------

std::uint32_t g_lastError = 0;
std::set<const void*> g_threadCallsDisabled;

std::uint32_t WINAPI get_last_error() { return g_lastError; }
Bool WINAPI disable_thread_library_calls(void* module) { return g_threadCallsDisabled.insert(module), 1; }
// The DLL runs on one thread here: a critical section has nothing to exclude,
// and a start-up lock is never held by another thread (Sleep only waits for one).
void WINAPI critical_section(void*) {}
void WINAPI sleep(std::uint32_t milliseconds) { usleep(milliseconds * 1000); }
// No other module is loaded in the DLL's view of this process: what it looks for
// (a shared runtime that it would prefer to its static copy) is not there.
void* WINAPI no_module(const char*) { return g_lastError = 126, nullptr; }               // ERROR_MOD_NOT_FOUND
void* WINAPI no_procedure(void*, const char*) { return g_lastError = 127, nullptr; }     // ERROR_PROC_NOT_FOUND
Bool WINAPI free_no_library(void*) { return g_lastError = 6, 0; }                        // ERROR_INVALID_HANDLE
// The DLL imports neither TlsAlloc nor TlsSetValue, so no slot holds a value.
void* WINAPI tls_get_value(std::uint32_t) { return g_lastError = 0, nullptr; }

Bool WINAPI virtual_protect(void* address, std::size_t bytes, std::uint32_t protection, std::uint32_t* old)
{
    if (protect(reinterpret_cast<std::uintptr_t>(address), bytes, protection, old)) return 1;
    return g_lastError = 487, 0;  // ERROR_INVALID_ADDRESS
}

struct MemoryBasicInformation {
    void *base, *allocationBase;
    std::uint32_t allocationProtection;
    std::size_t regionSize;
    std::uint32_t state, protection, type;
};

// The region: the run of pages from the address's page on that share its protection.
std::size_t WINAPI virtual_query(const void* address, MemoryBasicInformation* info, std::size_t size)
{
    const auto first = g_pages.find(reinterpret_cast<std::uintptr_t>(address) / kPage * kPage);
    if (first == g_pages.end() || size < sizeof *info) return g_lastError = 87, 0;  // ERROR_INVALID_PARAMETER
    auto last = first;
    for (auto next = std::next(last); next != g_pages.end() && next->first == last->first + kPage &&
                                      next->second.protection == first->second.protection;
         ++next)
        last = next;
    *info = {reinterpret_cast<void*>(first->first), first->second.image, 0x80 /* execute-write-copy */,
             last->first + kPage - first->first, 0x1000 /* committed */, first->second.protection,
             0x1000000 /* image */};
    return sizeof *info;
}

// --- msvcrt (cdecl, as on i386 Linux for the types used) ----------------------

// msvcrt's FILE objects of stdin, stdout and stderr (32 bytes each on 32-bit x86).
// _iob is data: its import binds the array's address.
unsigned char g_iob[3][32];

std::FILE* host_stream(void* stream)
{
    if (stream == g_iob[1]) return stdout;
    if (stream == g_iob[2]) return stderr;
    stop("the DLL writes to a stream that is neither stdout nor stderr");
}
std::size_t write_stream(const void* data, std::size_t size, std::size_t count, void* stream)
{
    return std::fwrite(data, size, count, host_stream(stream));
}
int print_stream(void* stream, const char* format, va_list arguments)
{
    return std::vfprintf(host_stream(stream), format, arguments);
}
int* error_number() { return &errno; }
void initterm(void (**begin)(), void (**end)())
{
    for (; begin < end; ++begin)
        if (*begin) (*begin)();
}
void runtime_error_exit(int) { stop("the DLL's runtime stopped on an error (_amsg_exit)"); }
void lock(int) {}  // _lock, _unlock: one thread
// msvcrt reports errors of its own math functions to this handler; the only one
// that the DLL imports, _hypot, is the C library's hypot here, which reports none.
void set_user_matherr(void*) {}

// What the DLL imports, and two C runtime functions that the library's operations
// may call: atan, which MinGW-w64 takes from msvcrt rather than from its static
// runtime, and memset wherever GCC does not write it inline.
struct StandIn {
    const char *library, *name;
    const void* address;
};
template <class F>
const void* code(F* f) { return reinterpret_cast<const void*>(f); }

const StandIn kStandIns[] = {
    {"KERNEL32.dll", "DeleteCriticalSection", code(critical_section)},
    {"KERNEL32.dll", "DisableThreadLibraryCalls", code(disable_thread_library_calls)},
    {"KERNEL32.dll", "EnterCriticalSection", code(critical_section)},
    {"KERNEL32.dll", "FreeLibrary", code(free_no_library)},
    {"KERNEL32.dll", "GetLastError", code(get_last_error)},
    {"KERNEL32.dll", "GetModuleHandleA", code(no_module)},
    {"KERNEL32.dll", "GetProcAddress", code(no_procedure)},
    {"KERNEL32.dll", "InitializeCriticalSection", code(critical_section)},
    {"KERNEL32.dll", "LeaveCriticalSection", code(critical_section)},
    {"KERNEL32.dll", "LoadLibraryA", code(no_module)},
    {"KERNEL32.dll", "Sleep", code(sleep)},
    {"KERNEL32.dll", "TlsGetValue", code(tls_get_value)},
    {"KERNEL32.dll", "VirtualProtect", code(virtual_protect)},
    {"KERNEL32.dll", "VirtualQuery", code(virtual_query)},
    {"msvcrt.dll", "__setusermatherr", code(set_user_matherr)},
    {"msvcrt.dll", "_amsg_exit", code(runtime_error_exit)},
    {"msvcrt.dll", "_errno", code(error_number)},
    {"msvcrt.dll", "_hypot", code<double(double, double)>(std::hypot)},
    {"msvcrt.dll", "_initterm", code(initterm)},
    {"msvcrt.dll", "_iob", g_iob},
    {"msvcrt.dll", "_lock", code(lock)},
    {"msvcrt.dll", "_unlock", code(lock)},
    {"msvcrt.dll", "abort", code(abort)},
    {"msvcrt.dll", "atan", code<double(double)>(std::atan)},
    {"msvcrt.dll", "calloc", code(calloc)},
    {"msvcrt.dll", "free", code(free)},
    {"msvcrt.dll", "fwrite", code(write_stream)},
    {"msvcrt.dll", "malloc", code(malloc)},
    {"msvcrt.dll", "memcpy", code(memcpy)},
    {"msvcrt.dll", "memset", code(memset)},
    {"msvcrt.dll", "realloc", code(realloc)},
    {"msvcrt.dll", "strlen", code(strlen)},
    {"msvcrt.dll", "strncmp", code(strncmp)},
    {"msvcrt.dll", "vfprintf", code(print_stream)},
};

// --- The thread environment block ----------------------------------------------

// The DLL's start-up code reads the thread environment block through FS: its own
// address at 0x18 and the stack base at 4, the owner tag of the start-up lock.
// Linux leaves FS to the program (the C library uses GS), so a segment of this
// thread points FS at a small block while the DLL starts and stops. The segment
// ends with the block: any other read through FS faults.
std::uint32_t g_teb[16];

std::uint16_t teb_selector()
{
    static const std::uint16_t selector = [] {
        g_teb[1] = g_teb[6] = reinterpret_cast<std::uintptr_t>(g_teb);
        user_desc segment{};
        segment.entry_number = ~0u;
        segment.base_addr = reinterpret_cast<std::uintptr_t>(g_teb);
        segment.limit = sizeof g_teb - 1;
        segment.seg_32bit = 1;
        segment.useable = 1;
        if (syscall(SYS_set_thread_area, &segment) != 0) fail("no segment for the thread environment block");
        return std::uint16_t(segment.entry_number * 8 + 3);  // a GDT entry, privilege level 3
    }();
    return selector;
}

}  // namespace

// --- The image -----------------------------------------------------------------

template <class T>
T* Image::at(std::uint32_t rva, std::size_t count) const
{
    if (rva > size_ || count > (size_ - rva) / sizeof(T)) fail("RVA " + std::to_string(rva) + " outside the image");
    return reinterpret_cast<T*>(base_ + rva);
}

const char* Image::text(std::uint32_t rva) const
{
    const char* s = at<char>(rva);
    if (!std::memchr(s, 0, size_ - rva)) fail("a name runs past the end of the image");
    return s;
}

Image::Image(const std::vector<unsigned char>& file)
{
    const auto word = [&](std::size_t offset, std::size_t bytes) {
        if (offset > file.size() || bytes > file.size() - offset) fail("the file ends inside its headers");
        std::uint32_t v = 0;
        std::memcpy(&v, file.data() + offset, bytes);
        return v;
    };
    const std::uint32_t pe = word(0x3C, 4), optional = pe + 24;
    if (word(0, 2) != 0x5A4D || word(pe, 4) != 0x4550 || word(pe + 4, 2) != 0x14C || !(word(pe + 22, 2) & 0x2000) ||
        word(optional, 2) != 0x10B)
        fail("not a 32-bit x86 DLL");
    if (word(optional + 32, 4) % kPage) fail("sections are not page aligned");
    entry_ = word(optional + 16, 4);
    preferredBase_ = word(optional + 28, 4);
    size_ = (word(optional + 56, 4) + kPage - 1) / kPage * kPage;
    headers_ = word(optional + 60, 4);
    for (std::uint32_t i = 0; i < std::min(16u, word(optional + 92, 4)); ++i)
        for (int k = 0; k < 2; ++k) directory_[i][k] = word(optional + 96 + 8 * i + 4 * k, 4);
    const std::uint32_t sectionTable = optional + word(pe + 20, 2);
    for (std::uint32_t i = 0; i < word(pe + 6, 2); ++i) sections_.push_back(sectionTable + 40 * i);
    if (headers_ > size_ || headers_ > file.size() || sectionTable + 40 * sections_.size() > headers_)
        fail("headers out of bounds");

    // Anywhere but the preferred base, so that the relocations must be right.
    const auto map = [this] {
        return mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    };
    void* image = map();
    if (image == reinterpret_cast<void*>(preferredBase_)) {
        void* elsewhere = map();
        munmap(image, size_);
        image = elsewhere;
    }
    if (image == MAP_FAILED) fail("cannot map " + std::to_string(size_) + " bytes");
    base_ = static_cast<unsigned char*>(image);
    for (std::uint32_t p = 0; p < size_; p += kPage) g_pages[base() + p] = {0x04, base_};
    try {
        std::memcpy(base_, file.data(), headers_);
        for (std::uint32_t s : sections_) {
            const std::uint32_t* h = at<std::uint32_t>(s + 8, 4);  // virtual size, address, raw size, raw offset
            const std::uint32_t bytes = std::min(h[2], h[0] ? h[0] : h[2]);
            if (h[3] > file.size() || bytes > file.size() - h[3]) fail("a section runs past the end of the file");
            std::memcpy(at<unsigned char>(h[1], bytes), file.data() + h[3], bytes);
        }
        relocate();
        bind_imports();
        protect_sections();
        notify(kProcessAttach);
    } catch (...) {
        unmap();
        throw;
    }
}

Image::~Image()
{
    notify(kProcessDetach);
    unmap();
}

void Image::unmap()
{
    for (std::uint32_t p = 0; p < size_; p += kPage) g_pages.erase(base() + p);
    g_threadCallsDisabled.erase(base_);
    munmap(base_, size_);
}

void Image::relocate()
{
    const std::uint32_t delta = std::uint32_t(base()) - preferredBase_;
    const std::uint32_t first = directory_[kRelocations][0], end = first + directory_[kRelocations][1];
    if (first == end) fail("the DLL has no base relocations and cannot move");
    for (std::uint32_t block = first; block < end;) {
        const std::uint32_t* h = at<std::uint32_t>(block, 2);  // page RVA, block bytes
        if (h[1] < 8 || h[1] % 4) fail("a malformed relocation block");
        const std::uint16_t* entries = at<std::uint16_t>(block + 8, (h[1] - 8) / 2);
        for (std::uint32_t i = 0; i < (h[1] - 8) / 2; ++i) {
            const unsigned type = entries[i] >> 12;
            if (type == 0) continue;  // padding
            if (type != 3) fail("relocation type " + std::to_string(type) + ", not 32-bit absolute");
            *at<std::uint32_t>(h[0] + (entries[i] & 0xFFF)) += delta;
            ++relocations_;
        }
        block += h[1];
    }
}

void Image::bind_imports()
{
    for (std::uint32_t d = directory_[kImports][0]; d; d += 20) {
        const std::uint32_t* descriptor = at<std::uint32_t>(d, 5);  // lookup, -, -, name, address table
        if (!descriptor[3]) break;
        const char* library = text(descriptor[3]);
        const std::uint32_t lookup = descriptor[0] ? descriptor[0] : descriptor[4];
        for (std::uint32_t i = 0;; ++i) {
            const std::uint32_t thunk = *at<std::uint32_t>(lookup + 4 * i);
            if (!thunk) break;
            if (thunk & 0x80000000u) fail(std::string(library) + ": an import by ordinal");
            const char* name = text(thunk + 2);  // after the hint
            const StandIn* s = std::find_if(std::begin(kStandIns), std::end(kStandIns), [&](const StandIn& s) {
                return !strcasecmp(s.library, library) && !std::strcmp(s.name, name);
            });
            if (s == std::end(kStandIns)) fail(std::string(library) + "!" + name + " is imported but has no stand-in");
            *at<std::uint32_t>(descriptor[4] + 4 * i) = reinterpret_cast<std::uintptr_t>(s->address);
        }
    }
}

// The headers read-only; each section as its characteristics say.
void Image::protect_sections()
{
    bool done = protect(base(), headers_, 0x02, nullptr);
    for (std::uint32_t s : sections_) {
        const std::uint32_t* h = at<std::uint32_t>(s + 8, 8);
        const std::uint32_t c = h[7], bytes = h[0] ? h[0] : h[2];
        const std::uint32_t protection = (c & 0x20000000u)   ? (c & 0x80000000u ? 0x40 : 0x20)
                                         : (c & 0x80000000u) ? 0x04
                                         : (c & 0x40000000u) ? 0x02
                                                             : 0x01;
        done = done && protect(base() + h[1], bytes, protection, nullptr);
    }
    if (!done) fail("cannot protect the sections");
}

// The TLS callbacks, then the entry point, as Windows calls them for every reason.
void Image::notify(std::uint32_t reason)
{
    using Callback = Bool(WINAPI*)(void* module, std::uint32_t reason, void* reserved);
    std::vector<Callback> calls;
    if (directory_[kTls][0])  // the callbacks' addresses: relocated, and ended by 0
        for (std::uint32_t va = at<std::uint32_t>(directory_[kTls][0], 4)[3]; va; va += 4) {
            const std::uint32_t callback = *at<std::uint32_t>(va - std::uint32_t(base()));
            if (!callback) break;
            calls.push_back(reinterpret_cast<Callback>(callback));
        }
    if (entry_) calls.push_back(reinterpret_cast<Callback>(at<unsigned char>(entry_)));
    std::uint16_t fs = 0;
    asm volatile("mov %%fs, %0" : "=r"(fs));
    asm volatile("mov %0, %%fs" : : "r"(teb_selector()));
    Bool attached = 1;
    for (Callback call : calls) attached = call(base_, reason, nullptr);
    asm volatile("mov %0, %%fs" : : "r"(fs));
    if (!attached && reason == kProcessAttach) fail("the entry point refused DLL_PROCESS_ATTACH");
}

const void* Image::by_ordinal(std::uint32_t ordinal) const
{
    if (!directory_[kExports][0]) return nullptr;
    const std::uint32_t* d = at<std::uint32_t>(directory_[kExports][0], 10);  // [4] base, [5] functions
    if (ordinal < d[4] || ordinal - d[4] >= d[5]) return nullptr;
    const std::uint32_t rva = at<std::uint32_t>(d[7], d[5])[ordinal - d[4]];
    if (rva - directory_[kExports][0] < directory_[kExports][1])
        fail("export " + std::to_string(ordinal) + " is forwarded, which this loader does not follow");
    return rva ? at<unsigned char>(rva) : nullptr;
}

// A binary search, as Windows does it: a name table out of byte order loses names.
const void* Image::by_name(const std::string& name) const
{
    if (!directory_[kExports][0]) return nullptr;
    const std::uint32_t* d = at<std::uint32_t>(directory_[kExports][0], 10);  // [6] names, [8] and [9] tables
    const std::uint32_t* names = at<std::uint32_t>(d[8], d[6]);
    const auto before = [this](std::uint32_t n, const std::string& s) { return std::strcmp(text(n), s.c_str()) < 0; };
    const std::uint32_t* found = std::lower_bound(names, names + d[6], name, before);
    if (found == names + d[6] || text(*found) != name) return nullptr;
    return by_ordinal(d[4] + at<std::uint16_t>(d[9], d[6])[found - names]);
}

std::string Image::library_name() const
{
    return directory_[kExports][0] ? text(at<std::uint32_t>(directory_[kExports][0], 10)[3]) : "";
}

bool Image::thread_calls_disabled() const { return g_threadCallsDisabled.count(base_) != 0; }

std::vector<unsigned char> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const Image* windows_dll()
{
    static const std::unique_ptr<Image> dll(*ZRCALC_TEST_DLL ? new Image(read_file(ZRCALC_TEST_DLL)) : nullptr);
    return dll.get();
}

}  // namespace zrpe

#endif
