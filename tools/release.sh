#!/bin/sh
# Builds a release from scratch and writes it to dist/:
#   brinelux_VERSION_ARCH.deb             the Debian package (CPack)
#   brinelux-VERSION-linux-ARCH.tar.gz    the same installed tree
#   brinelux-VERSION-windows.zip          both Windows targets' brinelux.exe and brinelux.scr
#   brinelux-VERSION-web.zip              the web site and brinelux.html
#   screenshots/VERSION/*.png             the metainfo's screenshots
#   SHA256SUMS
# Everything is made in the work directory first; dist/ changes only once the
# whole release has been built and checked, and then only in the files this
# release writes (an earlier release's files, or anyone's, stay beside it).
# The version is the project's CMake version. In a git checkout the release
# is built from the committed HEAD, copied out, so neither uncommitted edits
# nor earlier builds go into it; everything is built in fresh folders under
# dist-work/ (BRINELUX_RELEASE_WORK moves it: a directory this script made
# before, marked as its own, or one that does not exist yet; a relative one
# is taken from where the script is run). Needs tools/install-deps.sh --all.
set -eu
work="${BRINELUX_RELEASE_WORK:-}"
case "$work" in "" | /*) ;; *) work="$(pwd)/$work" ;; esac
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-$(nproc)}
work="${work:-$root/dist-work}"
dist="$root/dist"
step() { echo "release.sh: $*"; }

# The work directory is emptied at each run: only one this script made (the
# marker inside says so) may be, never a directory of someone else's.
marker=.brinelux-release-work
if [ -e "$work" ] || [ -L "$work" ]; then
    [ -d "$work" ] && [ ! -L "$work" ] && [ -f "$work/$marker" ] || {
        echo "release.sh: $work exists and is not a release work directory (no $marker): name another" >&2
        exit 2
    }
fi

if [ -e "$dist" ] || [ -L "$dist" ]; then
    [ -d "$dist" ] || {
        echo "release.sh: $dist exists and is not a directory: move it away first" >&2
        exit 2
    }
fi

for tool in cmake cpack dpkg-shlibdeps file i686-w64-mingw32-g++ x86_64-w64-mingw32-g++ emcmake sha256sum chromium; do
    command -v "$tool" >/dev/null ||
        { echo "release.sh: $tool not found: tools/install-deps.sh --all installs what a release needs" >&2; exit 1; }
done
rm -rf "$work"
# The release as dist/ will hold it, made here first.
staged="$work/dist"
mkdir -p "$work/stage" "$staged"
echo "made by tools/release.sh, which empties this directory at each run" >"$work/$marker"
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
cp "$work/packages/brinelux_${version}_"*.deb "$work/packages/brinelux-$version-linux-"*.tar.gz "$staged/"

# The software centres' screenshots, as the metainfo names them: a site
# hosts dist/screenshots/ at its screenshots/ address.
shots="$staged/screenshots/$version"
mkdir -p "$shots"
"$work/linux/tools/brinelux-capture" --still title --png "$shots/title.png" >/dev/null
"$work/linux/tools/brinelux-capture" --still water --time 7 --png "$shots/water.png" >/dev/null
"$work/linux/tools/brinelux-capture" --still spheres --time 7 --png "$shots/spheres.png" >/dev/null

step "Windows: i686 and x86_64"
BRINELUX_WIN_BUILD="$work/win" JOBS="$jobs" tools/ci-windows.sh --build-only
name="brinelux-$version-windows"
mkdir -p "$work/stage/$name/32-bit" "$work/stage/$name/64-bit"
i686-w64-mingw32-strip -o "$work/stage/$name/32-bit/brinelux.exe" "$work/win32/brinelux.exe"
x86_64-w64-mingw32-strip -o "$work/stage/$name/64-bit/brinelux.exe" "$work/win64/brinelux.exe"
# The screensaver: the same program under the name Windows looks for.
for bits in 32 64; do
    cp "$work/stage/$name/$bits-bit/brinelux.exe" "$work/stage/$name/$bits-bit/brinelux.scr"
done
# Windows' own line ends, for Notepad.
sed "s/@VERSION@/$version/; s/\$/\r/" packaging/windows-readme.txt >"$work/stage/$name/README.txt"
sed 's/$/\r/' LICENSE >"$work/stage/$name/LICENSE.txt"
(cd "$work/stage" && cmake -E tar cf "$staged/$name.zip" --format=zip "$name")

step "Web: the site and brinelux.html"
BRINELUX_WEB_BUILD="$work/web" tools/web.sh --build-only
name="brinelux-$version-web"
tools/web_zip.sh "$work/web/site" "$name" "$version" "$staged/$name.zip"
(cd "$work/stage" && cmake -E tar xf "$staged/$name.zip")
# The file a viewer double-clicks must start from the disk, with no server.
python3 tools/web_check.py "$staged/$name.zip" ||
    { echo "release.sh: the web zip's brinelux.html does not start from file://" >&2; exit 1; }

# The package must install on this system as it stands (apt resolves its
# dependencies; nothing is installed).
if command -v apt-get >/dev/null; then
    apt-get install -s "$staged/brinelux_${version}_"*.deb >"$work/apt.log" 2>&1 ||
        { cat "$work/apt.log"; echo "release.sh: apt cannot install the package" >&2; exit 1; }
fi

# Every artefact carries its licence; the web zip holds no executable file.
tar -tzf "$staged/brinelux-$version-linux-"*.tar.gz | grep '/share/doc/brinelux/copyright$' >/dev/null &&
    dpkg-deb -c "$staged/brinelux_${version}_"*.deb | grep ' \./usr/share/doc/brinelux/copyright$' >/dev/null &&
    cmake -E tar tf "$staged/brinelux-$version-windows.zip" | grep '/LICENSE\.txt$' >/dev/null &&
    cmake -E tar tf "$staged/brinelux-$version-web.zip" | grep '/LICENSE\.txt$' >/dev/null ||
    { echo "release.sh: an artefact lacks its licence" >&2; exit 1; }
[ -z "$(find "$work/stage/brinelux-$version-web" -type f -perm /111)" ] ||
    { echo "release.sh: the web zip holds executable files" >&2; exit 1; }

(cd "$staged" && sha256sum -- *.deb *.tar.gz *.zip screenshots/*/*.png >SHA256SUMS)

# Built and checked: now into dist/, each file replacing only its namesake.
mkdir -p "$dist/screenshots"
rm -rf "$dist/screenshots/$version"
mv "$staged/screenshots/$version" "$dist/screenshots/$version"
for file in "$staged"/*; do
    if [ -f "$file" ]; then mv -f "$file" "$dist/"; fi
done
step "brinelux $version in $(($(date +%s) - started)) s, in dist/:"
(cd "$dist" && ls -l -- *"$version"* SHA256SUMS "screenshots/$version"/*)
