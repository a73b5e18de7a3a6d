# Cross-build for 32-bit Windows (the show's own target) with Debian's MinGW-w64:
#   cmake -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(BRINELUX_MINGW_TRIPLE i686-w64-mingw32)

# The posix thread model: its C++ runtime has std::thread, which the portable
# tests use. The show itself makes its one thread with CreateThread, and the
# static link keeps the runtime's own helpers out of the import table.
set(CMAKE_C_COMPILER ${BRINELUX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRINELUX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BRINELUX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BRINELUX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Single-precision sums must round to single precision, as on every other
# target: SSE2 arithmetic, not x87 registers that hold 80 bits. Callers on
# Windows only align the stack to 4 bytes, so functions realign it for SSE.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
