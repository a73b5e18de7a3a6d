# Cross-build for 32-bit Windows (the show's own target) with Debian's MinGW-w64:
#   cmake -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(BRINELUX_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Single-precision sums must round to single precision, as on every other
# target: SSE2 arithmetic, not x87 registers that hold 80 bits. Callers on
# Windows only align the stack to 4 bytes, so functions realign it for SSE.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
