# Cross build for 64-bit Windows with mingw-w64 on Debian. The "-posix" compilers use the
# POSIX thread model, whose C++ library has std::thread and std::mutex. Test programs run
# under Wine. The build without Qt links statically (scripts/check-windows asks for it), so that
# its programs need no DLLs of the toolchain; with Qt, whose DLLs use the toolchain's shared
# runtime, the program shares that runtime and ships it beside itself.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The static zlib, not the import library of zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)

# Test programs run through a wrapper that keeps Wine's desktop process off CTest's pipes.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
