#!/bin/sh
# The Windows part of continuous integration, on Debian 12 with the packages
# of install-deps.sh: cross-builds the show for i686 (the show's own 32-bit
# target) and x86_64 with MinGW-w64, checks that each .exe imports only
# system DLLs, and runs the x86_64 tests and a smoke run of the show under
# wine64 and Xvfb. 32-bit programs cannot run on these machines, so the
# i686 build is compiled and inspected only.
# --build-only: the two executables and their imports, no tests (a release).
# BRINELUX_WIN_BUILD moves the build folders (default build-win: build-win32
# and build-win64).
set -eu
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
tests=1
case "${1:-}" in
"") ;;
--build-only) tests=0 ;;
*) echo "ci-windows.sh: unknown option '$1' (--build-only)" >&2; exit 2 ;;
esac
win32="${BRINELUX_WIN_BUILD:-build-win}32"
win64="${BRINELUX_WIN_BUILD:-build-win}64"

cmake -B "$win32" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DBRINELUX_WERROR=ON -DBRINELUX_TESTS=OFF
cmake --build "$win32" -j"$jobs"
if [ "$tests" -eq 1 ]; then
    cmake -B "$win64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DBRINELUX_WERROR=ON -DBRINELUX_TESTS=ON
    cmake --build "$win64" -j"$jobs" --target all audio_tests win32_sound_tests win32_gl_tests
else
    cmake -B "$win64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DBRINELUX_WERROR=ON -DBRINELUX_TESTS=OFF
    cmake --build "$win64" -j"$jobs"
fi

# Only the system's own DLLs: nothing to ship beside the .exe.
allowed="kernel32.dll user32.dll gdi32.dll opengl32.dll dsound.dll msvcrt.dll"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win64/CMakeCache.txt")
for exe in "$win32/brinelux.exe" "$win64/brinelux.exe"; do
    # Explorer's details: the version resource names the project's version.
    strings -el "$exe" | grep -qx "$version" ||
        { echo "ci-windows.sh: $exe has no version resource for $version" >&2; exit 1; }
    imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    echo "$exe ($(stat -c %s "$exe") bytes) imports:" $imports
    for dll in $imports; do
        case " $allowed " in
        *" $dll "*) ;;
        *) echo "FAIL: $exe imports $dll"; exit 1 ;;
        esac
    done
    # A windowed program: no console opens beside it on a double-click.
    if ! x86_64-w64-mingw32-objdump -p "$exe" | grep -q '^Subsystem.*(Windows GUI)'; then
        echo "FAIL: $exe is not a windowed program"
        exit 1
    fi
    # The screensaver beside it is the same program.
    cmp -s "$exe" "${exe%.exe}.scr" || { echo "FAIL: ${exe%.exe}.scr is not a copy of $exe"; exit 1; }
done

[ "$tests" -eq 1 ] || exit 0
# Unit tests, the window and GL tests, and the smoke run (its own Xvfb).
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" ctest --test-dir "$win64" --output-on-failure
