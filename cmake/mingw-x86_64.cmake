# Cross-compiles for 64-bit Windows with MinGW-w64 (posix thread model).
set(TARN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TARN_SHARED_LINK_EXTRA "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
