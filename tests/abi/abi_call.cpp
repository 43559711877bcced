#include "abi_call.h"

#include <cstddef>
#include <map>
#include <sstream>

namespace zrabi {

#if defined(__i386__)

static_assert(offsetof(RawCall, function) == 0 && offsetof(RawCall, words) == 4 &&
              offsetof(RawCall, word_count) == 8 && offsetof(RawCall, pad) == 12 &&
              offsetof(RawCall, result_kind) == 16 && offsetof(RawCall, esp_before_pushes) == 20 &&
              offsetof(RawCall, esp_at_call) == 24 && offsetof(RawCall, esp_after_return) == 28 &&
              offsetof(RawCall, eax) == 32 && offsetof(RawCall, ebx) == 36 && offsetof(RawCall, esi) == 40 &&
              offsetof(RawCall, edi) == 44 && offsetof(RawCall, st0_float) == 48 &&
              offsetof(RawCall, st0_double) == 56 && offsetof(RawCall, mxcsr_before) == 64 &&
              offsetof(RawCall, mxcsr_after) == 68 && offsetof(RawCall, x87_env_before) == 72 &&
              offsetof(RawCall, x87_env_after) == 100,
              "the trampoline addresses these fields by offset");

// void zrabi_trampoline(RawCall* call), cdecl.
// The frame pointer brings the trampoline back to its own frame whatever the
// callee did to ESP. FNSTENV masks every x87 exception after storing, so the
// environment is loaded back at once. The exception flags are cleared before the
// call so that a stack fault inside it (or popping an empty ST(0) here) shows
// in the status word afterwards. ST(0) is stored (and popped) only for float
// and double results: popping an empty register would itself be a stack fault.
asm(R"(
    .pushsection .text
    .globl zrabi_trampoline
    .type zrabi_trampoline, @function
    .p2align 4
zrabi_trampoline:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 8(%ebp), %eax
    stmxcsr 64(%eax)
    fnclex
    fnstenv 72(%eax)
    fldenv 72(%eax)
    andl $-16, %esp
    subl 12(%eax), %esp
    movl %esp, 20(%eax)
    movl 8(%eax), %ecx
    movl 4(%eax), %edx
1:  testl %ecx, %ecx
    jz 2f
    pushl -4(%edx,%ecx,4)
    decl %ecx
    jmp 1b
2:  movl %esp, 24(%eax)
    movl $0x5EB05EB0, %ebx
    movl $0x51E51E51, %esi
    movl $0xED1ED1ED, %edi
    call *(%eax)
    movl 8(%ebp), %ecx
    movl %esp, 28(%ecx)
    movl %eax, 32(%ecx)
    movl %ebx, 36(%ecx)
    movl %esi, 40(%ecx)
    movl %edi, 44(%ecx)
    movl 16(%ecx), %edx
    cmpl $1, %edx
    jne 3f
    fstps 48(%ecx)
    jmp 4f
3:  cmpl $2, %edx
    jne 4f
    fstpl 56(%ecx)
4:  stmxcsr 68(%ecx)
    fnstenv 100(%ecx)
    fldenv 100(%ecx)
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
    .size zrabi_trampoline, .-zrabi_trampoline
    .popsection
)");

extern "C" void zrabi_trampoline(RawCall* call);

void raw_call(RawCall& call, unsigned stack_offset)
{
    // ESP at the call = boundary - pad - 4 * words, which must be stack_offset mod 16.
    call.pad = (16u - (stack_offset + 4u * call.word_count) % 16u) % 16u;
    zrabi_trampoline(&call);
}

std::vector<unsigned> stack_offsets() { return {0, 4, 8, 12}; }

std::string frame_faults(const Target& target, const RawCall& call)
{
    std::ostringstream out;
    const std::uint32_t pushed = call.esp_before_pushes - call.esp_at_call;
    if (pushed != 4 * call.word_count || call.esp_at_call % 16 != target.stack_offset)
        out << "trampoline: pushed " << pushed << " bytes at ESP mod 16 = " << call.esp_at_call % 16 << "\n";
    const std::uint32_t expected_esp =
        target.convention == Convention::Stdcall ? call.esp_at_call + target.argument_bytes : call.esp_at_call;
    if (call.esp_after_return != expected_esp) {
        out << "removed " << static_cast<std::int32_t>(call.esp_after_return - call.esp_at_call)
            << " argument bytes; " << (target.convention == Convention::Stdcall ? "stdcall" : "cdecl")
            << " must remove " << (target.convention == Convention::Stdcall ? target.argument_bytes : 0) << "\n";
    }
    if (call.ebx != kEbxSentinel || call.esi != kEsiSentinel || call.edi != kEdiSentinel)
        out << "a callee-saved register (EBX, ESI or EDI) changed\n";
    const std::uint32_t tag_after = call.x87_env_after[2] & 0xFFFF;
    const std::uint32_t top_before = (call.x87_env_before[1] >> 11) & 7, top_after = (call.x87_env_after[1] >> 11) & 7;
    if (tag_after != 0xFFFF || top_after != top_before)
        out << "x87 stack not empty after the call (tag word 0x" << std::hex << tag_after << std::dec
            << ", TOP " << top_before << " -> " << top_after << ")\n";
    if (call.x87_env_after[1] & 0x40) out << "x87 stack fault (a value missing from or left on the stack)\n";
    if ((call.x87_env_after[0] & 0xFFFF) != (call.x87_env_before[0] & 0xFFFF))
        out << "x87 control word changed\n";
    // MXCSR: the control bits belong to the caller, the exception flags do not.
    if ((call.mxcsr_after & ~0x3Fu) != (call.mxcsr_before & ~0x3Fu)) out << "MXCSR control bits changed\n";
    return out.str();
}

#else

void raw_call(RawCall&, unsigned) {}
std::vector<unsigned> stack_offsets() { return {0}; }
std::string frame_faults(const Target&, const RawCall&) { return {}; }

#endif

namespace {
std::map<std::string, CaseBody>& registry()
{
    static std::map<std::string, CaseBody> cases;
    return cases;
}
}  // namespace

std::vector<std::string>& duplicate_cases()
{
    static std::vector<std::string> names;
    return names;
}

bool register_case(const char* name, CaseBody body)
{
    const bool fresh = registry().emplace(name, std::move(body)).second;
    if (!fresh) duplicate_cases().push_back(name);
    return fresh;
}

const CaseBody* find_case(const std::string& name)
{
    const auto it = registry().find(name);
    return it == registry().end() ? nullptr : &it->second;
}

std::vector<std::string> case_names()
{
    std::vector<std::string> names;
    for (const auto& [name, body] : registry()) names.push_back(name);
    return names;
}

}  // namespace zrabi
