// A minimal loader for 32-bit Windows DLLs, so that the 32-bit x86 suite can run
// the MinGW-w64 build of the library on a machine without Windows: it maps the
// sections at an address other than the preferred base, applies the base
// relocations, binds the imports to small stand-ins for the KERNEL32 and msvcrt
// functions that the DLL uses, gives each section its page protection, calls the
// TLS callbacks and the entry point with DLL_PROCESS_ATTACH (and with
// DLL_PROCESS_DETACH when the image goes), and resolves exports by name and by
// ordinal from the export directory.
//
// It leaves out what the DLL does not use (thread-local data, resources, other
// modules), and whatever it cannot do faithfully fails loudly: an import without
// a stand-in, an import by ordinal, a relocation type other than 32-bit absolute,
// a forwarded export, an entry point that refuses to attach, or an RVA outside
// the image throws std::runtime_error. It runs on 32-bit x86 Linux (also under
// qemu-i386); images start and stop on one thread, whose FS segment they borrow.
#pragma once

#if defined(__i386__)

#include <cstdint>
#include <string>
#include <vector>

namespace zrpe {

class Image {
public:
    explicit Image(const std::vector<unsigned char>& file);
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // nullptr when the DLL exports nothing under the name or ordinal.
    const void* by_name(const std::string& name) const;
    const void* by_ordinal(std::uint32_t ordinal) const;
    std::string library_name() const;  // as the export directory records it

    std::uintptr_t base() const { return reinterpret_cast<std::uintptr_t>(base_); }
    std::uint32_t preferred_base() const { return preferredBase_; }
    std::size_t relocations() const { return relocations_; }  // addresses that the move changed
    // Whether the entry point declined thread notifications for this module.
    bool thread_calls_disabled() const;

private:
    template <class T>
    T* at(std::uint32_t rva, std::size_t count = 1) const;  // bounds-checked
    const char* text(std::uint32_t rva) const;               // a name that ends inside the image
    void unmap();
    void relocate();
    void bind_imports();
    void protect_sections();
    void notify(std::uint32_t reason);

    unsigned char* base_ = nullptr;
    std::size_t size_ = 0;
    std::uint32_t preferredBase_ = 0, entry_ = 0, headers_ = 0;
    std::uint32_t directory_[16][2] = {};  // RVA and size of each data directory
    std::vector<std::uint32_t> sections_;  // the PE section headers' offsets in the image
    std::size_t relocations_ = 0;
};

std::vector<unsigned char> read_file(const std::string& path);

// The DLL that the build names (ZRCALC_TEST_DLL), loaded once for the whole
// program; nullptr when the build names none. A named DLL that does not load
// throws.
const Image* windows_dll();

}  // namespace zrpe

#endif
