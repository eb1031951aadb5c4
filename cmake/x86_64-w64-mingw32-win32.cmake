# 64-bit Windows, win32 thread variant: the 64-bit twin of the plug-in DLL, built the same
# lean way as the 32-bit product.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(TOOLCHAIN_THREADS win32)
set(TOOLCHAIN_WINE /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
