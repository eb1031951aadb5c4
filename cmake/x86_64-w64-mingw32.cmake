# 64-bit Windows, posix thread variant: the tests, the host emulator, the demo and the
# benchmarks of the 64-bit twin, run by 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(TOOLCHAIN_THREADS posix)
set(TOOLCHAIN_WINE /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
