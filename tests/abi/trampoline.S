// 32-bit x86 only: the trampoline through which the ABI test calls entry points,
// and probes that keep or break the conventions on purpose.
#if defined(__i386__)

// void zrabi_trampoline(RawCall* call), cdecl.
// The frame pointer brings the trampoline back to its own frame whatever the
// callee did to ESP. FNSTENV masks every x87 exception after storing, so the
// environment is loaded back at once. The exception flags are cleared before the
// call so that a stack fault inside it (or popping an empty ST(0) here) shows
// in the status word afterwards. ST(0) is stored (and popped) only for float
// and double results: popping an empty register would itself be a stack fault.
    .text
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

// Functions that keep or break the 32-bit conventions on purpose, to show that
// the checks see each fault.
    .globl zrabi_probe_stdcall8, zrabi_probe_removes_4_of_8, zrabi_probe_one_in_st0
    .globl zrabi_probe_clobbers_ebx, zrabi_probe_plain_return
zrabi_probe_stdcall8:
    movl $42, %eax
    ret $8
zrabi_probe_removes_4_of_8:
    ret $4
zrabi_probe_one_in_st0:
    fld1
    ret
zrabi_probe_clobbers_ebx:
    xorl %ebx, %ebx
zrabi_probe_plain_return:
    ret

#endif
    .section .note.GNU-stack,"",@progbits
