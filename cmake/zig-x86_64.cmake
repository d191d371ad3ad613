# Cross-compiles for 64-bit Windows with Zig's clang and libc++: the second compiler and C++
# library over the same code, whose test suite runs under Wine like the GCC build's.
set(TARN_ZIG_TARGET x86_64-windows-gnu)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/zig-common.cmake)
find_program(TARN_WINE wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TARN_WINE})
