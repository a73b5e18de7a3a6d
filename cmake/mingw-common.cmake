# What both MinGW-w64 toolchains share; each sets BRINELUX_MINGW_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)

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
