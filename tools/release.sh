#!/bin/sh
# Builds a release from scratch and writes it to dist/:
#   brinelux_VERSION_ARCH.deb             the Debian package (CPack)
#   brinelux-VERSION-linux-ARCH.tar.gz    the same installed tree
#   brinelux-VERSION-windows.zip          both Windows targets' brinelux.exe
#   brinelux-VERSION-web.zip              the web site
#   SHA256SUMS
# The version is the project's CMake version. In a git checkout the release
# is built from the committed HEAD, copied out, so neither uncommitted edits
# nor earlier builds go into it; everything is built in fresh folders under
# dist-work/ (BRINELUX_RELEASE_WORK moves it). Needs tools/install-deps.sh --all.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-$(nproc)}
work="${BRINELUX_RELEASE_WORK:-dist-work}"
case "$work" in /*) ;; *) work="$root/$work" ;; esac
dist="$root/dist"
step() { echo "release.sh: $*"; }

for tool in cmake cpack dpkg-shlibdeps file i686-w64-mingw32-g++ x86_64-w64-mingw32-g++ emcmake sha256sum; do
    command -v "$tool" >/dev/null ||
        { echo "release.sh: $tool not found: tools/install-deps.sh --all installs what a release needs" >&2; exit 1; }
done
rm -rf "$work" "$dist"
mkdir -p "$work/stage" "$dist"
started=$(date +%s)
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mkdir "$work/src"
    git archive --format=tar HEAD | tar -x -C "$work/src"
    step "building commit $(git rev-parse --short HEAD)"
    [ -z "$(git status --porcelain --untracked-files=no)" ] ||
        step "uncommitted changes in $root are not in this release"
    cd "$work/src"
fi

step "Linux: the show and the capture tool, the Debian package and the .tar.gz"
cmake -S . -B "$work/linux" -DBRINELUX_WERROR=ON -DBRINELUX_TESTS=OFF >/dev/null
cmake --build "$work/linux" -j"$jobs"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$work/linux/CMakeCache.txt")
[ -n "$version" ] || { echo "release.sh: no project version in the build" >&2; exit 1; }
(cd "$work/linux" && cpack -B "$work/packages")
cp "$work/packages/brinelux_${version}_"*.deb "$work/packages/brinelux-$version-linux-"*.tar.gz "$dist/"

step "Windows: i686 and x86_64"
BRINELUX_WIN_BUILD="$work/win" JOBS="$jobs" tools/ci-windows.sh --build-only
name="brinelux-$version-windows"
mkdir -p "$work/stage/$name/32-bit" "$work/stage/$name/64-bit"
i686-w64-mingw32-strip -o "$work/stage/$name/32-bit/brinelux.exe" "$work/win32/brinelux.exe"
x86_64-w64-mingw32-strip -o "$work/stage/$name/64-bit/brinelux.exe" "$work/win64/brinelux.exe"
# Windows' own line ends, for Notepad.
sed "s/@VERSION@/$version/; s/\$/\r/" packaging/windows-readme.txt >"$work/stage/$name/README.txt"
(cd "$work/stage" && cmake -E tar cf "$dist/$name.zip" --format=zip "$name")

step "Web: the site"
BRINELUX_WEB_BUILD="$work/web" tools/web.sh --build-only
name="brinelux-$version-web"
cp -R "$work/web/site" "$work/stage/$name"
(cd "$work/stage" && cmake -E tar cf "$dist/$name.zip" --format=zip "$name")

# The package must install on this system as it stands (apt resolves its
# dependencies; nothing is installed).
if command -v apt-get >/dev/null; then
    apt-get install -s "$dist/brinelux_${version}_"*.deb >"$work/apt.log" 2>&1 ||
        { cat "$work/apt.log"; echo "release.sh: apt cannot install the package" >&2; exit 1; }
fi

(cd "$dist" && sha256sum -- *.deb *.tar.gz *.zip >SHA256SUMS)
step "brinelux $version in $(($(date +%s) - started)) s, in dist/:"
(cd "$dist" && ls -l -- *)
