# Shared by the MinGW-w64 toolchain files: they set TARN_MINGW_PREFIX, CMAKE_SYSTEM_PROCESSOR
# and TARN_SHARED_LINK_EXTRA, then include this. Test executables run under Wine.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${TARN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${TARN_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP      ${TARN_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${TARN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Everything is linked statically: a PE image has no MinGW runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ ${TARN_SHARED_LINK_EXTRA}")

find_program(TARN_WINE wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TARN_WINE})
