// The second names of the entry points, generated from the table of entry points.
//
// A twin or an alias is a few instructions of assembly in front of the one
// compiled body of its operation:
//  - x86-64: a single calling convention, so a twin and an alias are a jump to
//    the body.
//  - 32-bit x86: the body is stdcall and removes its arguments. The cdecl twin
//    pushes a copy of its caller's arguments, calls the body (which removes the
//    copy) and returns with the caller's arguments in place. EAX, EDX and ST(0)
//    pass through untouched, so integer, pointer and floating-point results reach
//    the caller as the body left them. The copy is padded so that the body sees the
//    stack alignment a compiler-generated call would give it.
//  - 32-bit Windows (COFF): as 32-bit x86, with the leading underscore and the @
//    suffix of the stdcall symbol; the aliases are names in the export definition.
#include "frame/entry_table.h"

#define ZRCALC_STR2(x) #x
#define ZRCALC_STR(x) ZRCALC_STR2(x)

#if defined(__x86_64__) && defined(__ELF__)

#define ZRCALC_JUMP_STUB(from, to)                                                             \
    asm(".pushsection .text\n"                                                                 \
        ".globl " #from "\n"                                                                   \
        ".type " #from ",@function\n"                                                          \
        ".p2align 4\n" #from ":\n"                                                             \
        "\tjmp " #to "\n"                                                                      \
        ".size " #from ",.-" #from "\n"                                                        \
        ".popsection\n");
#define ZRCALC_CDECL_TWIN(name, bytes) ZRCALC_JUMP_STUB(name##_cdecl, name)

#elif defined(__i386__)

#if defined(_WIN32)
#define ZRCALC_SYM(name) "_" #name
#define ZRCALC_STDCALL_SYM(name, bytes) "_" #name "@" ZRCALC_STR(bytes)
#define ZRCALC_SYM_TYPE(sym) ".def " sym "; .scl 2; .type 32; .endef\n"
#define ZRCALC_SYM_SIZE(sym) ""
// COFF has no section stack; this file holds nothing but these stubs, so the
// compiler's own output never follows them in a section it did not choose.
#define ZRCALC_TEXT_BEGIN ".text\n"
#define ZRCALC_TEXT_END ""
#else
#define ZRCALC_SYM(name) #name
#define ZRCALC_STDCALL_SYM(name, bytes) #name
#define ZRCALC_SYM_TYPE(sym) ".type " sym ",@function\n"
#define ZRCALC_SYM_SIZE(sym) ".size " sym ",.-" sym "\n"
#define ZRCALC_TEXT_BEGIN ".pushsection .text\n"
#define ZRCALC_TEXT_END ".popsection\n"
#endif

// pad makes 4 (return address) + pad + bytes a multiple of 16.
#define ZRCALC_PAD(bytes) "((16 - ((4 + " ZRCALC_STR(bytes) ") % 16)) % 16)"

#define ZRCALC_CDECL_TWIN(name, bytes)                                                         \
    asm(ZRCALC_TEXT_BEGIN                                                                      \
        ".globl " ZRCALC_SYM(name##_cdecl) "\n" ZRCALC_SYM_TYPE(ZRCALC_SYM(name##_cdecl))      \
        ".p2align 4\n" ZRCALC_SYM(name##_cdecl) ":\n"                                         \
        "\tsubl $" ZRCALC_PAD(bytes) ", %esp\n"                                                \
        "\t.rept " ZRCALC_STR(bytes) " / 4\n"                                                  \
        "\tpushl (" ZRCALC_PAD(bytes) " + " ZRCALC_STR(bytes) ")(%esp)\n"                      \
        "\t.endr\n"                                                                            \
        "\tcall " ZRCALC_STDCALL_SYM(name, bytes) "\n"                                         \
        "\taddl $" ZRCALC_PAD(bytes) ", %esp\n"                                                \
        "\tret\n" ZRCALC_SYM_SIZE(ZRCALC_SYM(name##_cdecl)) ZRCALC_TEXT_END);

#define ZRCALC_JUMP_STUB_SYMS(from, to)                                                        \
    asm(ZRCALC_TEXT_BEGIN                                                                      \
        ".globl " from "\n" ZRCALC_SYM_TYPE(from) ".p2align 4\n" from ":\n"                    \
        "\tjmp " to "\n" ZRCALC_SYM_SIZE(from) ZRCALC_TEXT_END);

#else
#error "zrcalc-avx2fma3 is built for x86 (32-bit or x86-64) only"
#endif

// Which names each kind of entry point needs besides its body.
#define ZRCALC_TWIN_BOTH_BUILT(name, bytes) ZRCALC_CDECL_TWIN(name, bytes)
#define ZRCALC_TWIN_DECORATED_TWIN_BUILT(name, bytes) ZRCALC_CDECL_TWIN(name, bytes)
#define ZRCALC_TWIN_CDECL_ONLY_BUILT(name, bytes)
#define ZRCALC_TWIN_DECORATED_BUILT(name, bytes)
#define ZRCALC_TWIN_BOTH_PLANNED(name, bytes)
#define ZRCALC_TWIN_DECORATED_TWIN_PLANNED(name, bytes)
#define ZRCALC_TWIN_CDECL_ONLY_PLANNED(name, bytes)
#define ZRCALC_TWIN_DECORATED_PLANNED(name, bytes)
#define ZRCALC_TWIN_FOR(name, kind, bytes, state) ZRCALC_TWIN_##kind##_##state(name, bytes)

ZRCALC_ENTRY_POINTS(ZRCALC_TWIN_FOR)

// Aliases jump to their target; the stack is untouched, so a jump serves both
// conventions. A Windows DLL needs no stub: its export definition binds each
// alias name to the target's own code (one address, two names).
#if defined(_WIN32)
#define ZRCALC_ALIAS_BUILT(alias, target)
#elif defined(__x86_64__)
#define ZRCALC_ALIAS_BUILT(alias, target)                                                      \
    ZRCALC_JUMP_STUB(alias, target)                                                            \
    ZRCALC_JUMP_STUB(alias##_cdecl, target##_cdecl)
#else
#define ZRCALC_ALIAS_BUILT(alias, target)                                                      \
    ZRCALC_JUMP_STUB_SYMS(ZRCALC_SYM(alias), ZRCALC_SYM(target))                               \
    ZRCALC_JUMP_STUB_SYMS(ZRCALC_SYM(alias##_cdecl), ZRCALC_SYM(target##_cdecl))
#endif
#define ZRCALC_ALIAS_PLANNED(alias, target)
#define ZRCALC_ALIAS_FOR(alias, target, state) ZRCALC_ALIAS_##state(alias, target)

ZRCALC_ALIASES(ZRCALC_ALIAS_FOR)
