# 32-bit x86 Linux with the library's instruction sets. SSE arithmetic only
# (-mfpmath=sse), so no x87 excess precision reaches a result; float and double
# results still return in ST(0) as the 32-bit ABI requires. Callers on the
# original target keep the stack 4-byte aligned only, so nothing may assume more
# on entry.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_ASM_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386;-cpu;max;-L;/)
