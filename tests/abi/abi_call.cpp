#include "abi_call.h"

#include <cstddef>
#include <sstream>

namespace zrabi {

std::multimap<std::string, CaseBody>& cases()
{
    static std::multimap<std::string, CaseBody> registered;
    return registered;
}

#if defined(__i386__)

static_assert(offsetof(RawCall, pad) == 12 && offsetof(RawCall, result_kind) == 16 &&
                  offsetof(RawCall, esp_before_pushes) == 20 && offsetof(RawCall, eax) == 32 &&
                  offsetof(RawCall, edi) == 44 && offsetof(RawCall, st0_float) == 48 &&
                  offsetof(RawCall, st0_double) == 56 && offsetof(RawCall, mxcsr_before) == 64 &&
                  offsetof(RawCall, x87_env_before) == 72 && offsetof(RawCall, x87_env_after) == 100,
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

RawCall checked_call(const Target& target, const std::vector<std::uint32_t>& words, ResultKind kind)
{
    RawCall call{};
    call.function = target.address;
    call.words = words.data();
    call.word_count = static_cast<std::uint32_t>(words.size());
    call.result_kind = kind;
    raw_call(call, target.stack_offset);
    const std::string faults = frame_faults(target, call);
    if (!faults.empty()) ADD_FAILURE() << faults;
    return call;
}

std::string frame_faults(const Target& target, const RawCall& call)
{
    std::ostringstream out;
    const bool stdcall = target.convention == Convention::Stdcall;
    const std::uint32_t pushed = call.esp_before_pushes - call.esp_at_call;
    if (pushed != 4 * call.word_count || call.esp_at_call % 16 != target.stack_offset)
        out << "trampoline: wrong pushes or ESP = " << call.esp_at_call % 16 << " mod 16\n";
    if (call.esp_after_return - call.esp_at_call != (stdcall ? std::uint32_t(target.argument_bytes) : 0u))
        out << "removed " << std::int32_t(call.esp_after_return - call.esp_at_call) << " argument bytes; "
            << (stdcall ? "stdcall" : "cdecl") << " must remove " << (stdcall ? target.argument_bytes : 0) << "\n";
    // The sentinels that the trampoline loads before the call.
    if (call.ebx != 0x5EB05EB0u || call.esi != 0x51E51E51u || call.edi != 0xED1ED1EDu)
        out << "a callee-saved register (EBX, ESI or EDI) changed\n";
    const std::uint32_t tag = call.x87_env_after[2] & 0xFFFF;
    if (tag != 0xFFFF || ((call.x87_env_after[1] ^ call.x87_env_before[1]) & 0x3800))
        out << "x87 stack not empty after the call (tag word 0x" << std::hex << tag << std::dec << ")\n";
    if (call.x87_env_after[1] & 0x40) out << "x87 stack fault (a value missing from or left on the stack)\n";
    if ((call.x87_env_after[0] ^ call.x87_env_before[0]) & 0xFFFF) out << "x87 control word changed\n";
    // MXCSR: the control bits belong to the caller, the exception flags do not.
    if ((call.mxcsr_after ^ call.mxcsr_before) & ~0x3Fu) out << "MXCSR control bits changed\n";
    return out.str();
}

#endif

}  // namespace zrabi
