# Cross-compiles for ARM64 Windows with Zig's clang and libc++. Nothing here runs the test
# programs: the host's Wine is x86-64 only (the ARM64 smoke test runs them under emulation).
set(TARN_ZIG_TARGET aarch64-windows-gnu)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
include(${CMAKE_CURRENT_LIST_DIR}/zig-common.cmake)
