# Shared part of the MinGW-w64 toolchain files. The including file sets:
#   TOOLCHAIN_PREFIX   i686-w64-mingw32 or x86_64-w64-mingw32
#   TOOLCHAIN_THREADS  posix (std::mutex and std::thread, for the tests, the host emulator,
#                      the demo and the benchmarks) or win32 (the plug-in DLL users get: no
#                      winpthread, so no import newer than Windows 2000)
#   TOOLCHAIN_WINE     the Wine loader that runs this width's programs
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-${TOOLCHAIN_THREADS})
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-${TOOLCHAIN_THREADS})
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_OBJCOPY      ${TOOLCHAIN_PREFIX}-objcopy CACHE FILEPATH "objcopy of the target")
set(CMAKE_OBJDUMP      ${TOOLCHAIN_PREFIX}-objdump CACHE FILEPATH "objdump of the target")

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${TOOLCHAIN_WINE})
