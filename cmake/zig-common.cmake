# Shared by the Zig toolchain files: they set TARN_ZIG_TARGET and CMAKE_SYSTEM_PROCESSOR, then
# include this. Zig's clang, lld, mingw-w64 runtime (UCRT) and libc++ build the program for any
# Windows machine from one download; tools/install-deps.sh installs the version it pins into a
# virtual environment under the cache folder, and this file finds it there.
set(CMAKE_SYSTEM_NAME Windows)

# The version is pinned in one place, the set-up script.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../tools/install-deps.sh TARN_ZIG_VERSION_LINE
     REGEX "^zig_version=")
string(REGEX REPLACE "^zig_version=\"?([^\"]*)\"?.*$" "\\1" TARN_ZIG_VERSION "${TARN_ZIG_VERSION_LINE}")
if(DEFINED ENV{TARN_CACHE})
    set(tarn_cache_root "$ENV{TARN_CACHE}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(tarn_cache_root "$ENV{XDG_CACHE_HOME}/tarn-logon")
else()
    set(tarn_cache_root "$ENV{HOME}/.cache/tarn-logon")
endif()
file(GLOB tarn_zig_found "${tarn_cache_root}/ziglang-${TARN_ZIG_VERSION}/lib/python3*/site-packages/ziglang/zig")
if(NOT TARN_ZIG AND tarn_zig_found)
    list(GET tarn_zig_found 0 TARN_ZIG)
endif()
if(NOT TARN_ZIG OR NOT EXISTS "${TARN_ZIG}")
    message(FATAL_ERROR "ziglang ${TARN_ZIG_VERSION} is not installed under ${tarn_cache_root}; "
                        "run tools/install-deps.sh (or make deps)")
endif()

# CMake wants one program per compiler; zig wants its subcommand and target first. The wrappers
# are written into the build tree, so the toolchain file stays the one thing to name.
set(tarn_wrappers ${CMAKE_BINARY_DIR}/zig-wrappers)
foreach(tool cc c++ rc)
    set(wrapper ${tarn_wrappers}/zig-${tool})
    if(tool STREQUAL "rc")
        # zig rc reads the rc.exe dialect and writes a .res, which lld links as it is; it
        # preprocesses with zig's own mingw-w64 headers, the ones the code sees.
        set(body "exec \"${TARN_ZIG}\" rc \"$@\"")
    else()
        # zig defines _WIN32_WINNT as Windows 10, its targets' default; the project names the
        # oldest system it supports itself (CMakeLists.txt), so zig's is dropped first. CMake asks for a
        # GUI program with GCC's -mwindows, which zig passes over in silence: it becomes the
        # linker's own option.
        set(body "for arg do\n    shift\n    if [ \"$arg\" = -mwindows ]; then arg=-Wl,--subsystem,windows; fi\n    set -- \"$@\" \"$arg\"\ndone\nexec \"${TARN_ZIG}\" ${tool} -target ${TARN_ZIG_TARGET} -U_WIN32_WINNT \"$@\"")
    endif()
    file(WRITE ${wrapper}.tmp "#!/bin/sh\n${body}\n")
    file(COPY_FILE ${wrapper}.tmp ${wrapper} ONLY_IF_DIFFERENT)
    file(REMOVE ${wrapper}.tmp)
    file(CHMOD ${wrapper} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                      WORLD_READ WORLD_EXECUTE)
endforeach()

set(CMAKE_C_COMPILER   ${tarn_wrappers}/zig-cc)
set(CMAKE_CXX_COMPILER ${tarn_wrappers}/zig-c++)
set(CMAKE_RC_COMPILER  ${tarn_wrappers}/zig-rc)
# rc.exe's command line: "--" before the source, whose absolute path would read as an option; /y
# because every IDC_STATIC label of a dialog shares the id -1.
set(CMAKE_RC_COMPILE_OBJECT "<CMAKE_RC_COMPILER> /y <DEFINES> <INCLUDES> <FLAGS> /fo <OBJECT> -- <SOURCE>")
# llvm-objdump (Debian's llvm) reads PE files of every machine, for the import checks.
find_program(CMAKE_OBJDUMP NAMES llvm-objdump llvm-objdump-14 REQUIRED)

# The C runtime the images import: the import checks allow it for these builds.
set(TARN_UCRT ON)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# zig links libc++, libunwind and the mingw-w64 runtime statically into every image already;
# -static keeps the linker from picking an import library where a static one exists. zig's own
# default stack is 16 MB: the program's threads get GCC's 2 MB, as in the x86 and x64 builds.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--stack,2097152")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
