# Cross-build for 64-bit Windows (the one Wine runs here) with Debian's MinGW-w64:
#   cmake -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(BRINELUX_MINGW_TRIPLE x86_64-w64-mingw32)

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
