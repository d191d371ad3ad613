# Cross-compiles for 32-bit Windows with MinGW-w64 (posix thread model).
set(TARN_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
# The .def files name the stdcall entry points without their @n decoration, as the 64-bit
# build spells them; the fix-up binds the plain names to the decorated symbols here.
set(TARN_SHARED_LINK_EXTRA "-Wl,--enable-stdcall-fixup")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
