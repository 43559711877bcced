# Numeric code generation for every target that computes results: the library,
# the tests' reference models and the benchmarks' scalar loops.
#  - AVX2, FMA3 and BMI1 and nothing more: users' processors may lack AVX-512,
#    so no -march=native and no flag that lets the compiler go beyond these.
#  - -ffp-contract=off: every fused multiply-add is written as one; the compiler
#    must not fuse a separate multiply and add, which would change last bits.
#  - Never -ffast-math.
#  - 32-bit x86: SSE arithmetic only (the toolchain file adds -mfpmath=sse), so no
#    x87 excess precision reaches a result.
set(ZRCALC_ISA_FLAGS -mavx2 -mfma -mbmi)

function(zrcalc_numeric_flags target)
  target_compile_options(${target} PRIVATE ${ZRCALC_ISA_FLAGS} -ffp-contract=off -fno-fast-math
    $<$<CONFIG:Release>:-O2> -Wall -Wextra)
  if(ZRCALC_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${ZRCALC_SANITIZE} -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=${ZRCALC_SANITIZE})
  endif()
endfunction()

# Release builds use -O2 exactly, not CMake's default -O3.
string(REPLACE "-O3" "-O2" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
string(REPLACE "-O3" "-O2" CMAKE_C_FLAGS_RELEASE "${CMAKE_C_FLAGS_RELEASE}")
