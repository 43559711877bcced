# 32-bit Windows DLL, cross-built with MinGW-w64: zrcalc-avx2fma3.dll as the
# host program loads it. SSE arithmetic only (-mfpmath=sse), so no x87 excess
# precision reaches a result; float and double results still return in ST(0).
# Windows callers keep the stack 4-byte aligned only, so nothing may assume more
# on entry (-mincoming-stack-boundary=2 makes GCC realign where it needs to).
#
# The win32-threads compilers: the library starts no threads, and the posix
# variant would add a dependency on libwinpthread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZRCALC_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ZRCALC_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${ZRCALC_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${ZRCALC_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZRCALC_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")

# Nothing built for this target can run here: no tests, no example hosts.
set(ZRCALC_BUILD_TESTS OFF CACHE BOOL "Build the test suite")
set(ZRCALC_BUILD_EXAMPLES OFF CACHE BOOL "Build the example host programs")
