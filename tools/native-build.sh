#!/usr/bin/env bash
# Configures and builds the "native" preset: the platform-free code for the build host with
# clang, AddressSanitizer and UBSan, its unit tests and the fuzz targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# Earlier versions configured tests/native on its own into the same folder; CMake refuses to
# reuse a folder configured from another source folder.
cache=build/native/CMakeCache.txt
if [ -f "$cache" ] && ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$root" "$cache"; then
    rm -rf build/native
fi
cmake --preset native >/dev/null
cmake --build --preset native
