# 32-bit Windows, posix thread variant: the tests, the host emulator, the demo and the
# benchmarks, run by 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(TOOLCHAIN_THREADS posix)
set(TOOLCHAIN_WINE /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
