#include "abi_call.h"

#include <cstddef>
#include <sstream>

namespace zrabi {

#if defined(__i386__)

static_assert(offsetof(RawCall, pad) == 12 && offsetof(RawCall, result_kind) == 16 &&
                  offsetof(RawCall, esp_before_pushes) == 20 && offsetof(RawCall, eax) == 32 &&
                  offsetof(RawCall, edi) == 44 && offsetof(RawCall, st0_float) == 48 &&
                  offsetof(RawCall, st0_double) == 56 && offsetof(RawCall, mxcsr_before) == 64 &&
                  offsetof(RawCall, x87_env_before) == 72 && offsetof(RawCall, x87_env_after) == 100,
              "the trampoline addresses these fields by offset");

extern "C" void zrabi_trampoline(RawCall* call);

RawCall raw_call(const void* function, const std::vector<std::uint32_t>& words, ResultKind kind, unsigned stack_offset)
{
    RawCall call{};
    call.function = function;
    call.words = words.data();
    call.word_count = static_cast<std::uint32_t>(words.size());
    call.result_kind = kind;
    // ESP at the call = boundary - pad - 4 * words, which must be stack_offset mod 16.
    call.pad = (16u - (stack_offset + 4u * call.word_count) % 16u) % 16u;
    zrabi_trampoline(&call);
    return call;
}

std::string frame_faults(const Target& target, const RawCall& call)
{
    std::ostringstream out;
    const bool stdcall = !target.cdecl;
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
