#!/bin/bash
# The installed tree on its own: `cmake --install` into a temporary prefix,
# moved elsewhere, run from a directory outside the source and build trees
# with a bare environment. The capture's still and song must come out byte
# for byte as the build tree's program makes them; nothing in the programs
# may name the source or build tree; the manual page must say what --help
# says; the desktop entry must be valid and name what was installed.
# Usage: install_tree.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$(cd "$1" && pwd -P)"
source="$(cd "$2" && pwd -P)"
work="$(mktemp -d "${TMPDIR:-/tmp}/brinelux-install-XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$work/installed" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }
mv "$work/installed" "$work/prefix"
prefix="$work/prefix"
for f in bin/brinelux bin/brinelux-capture share/applications/brinelux.desktop \
         share/icons/hicolor/scalable/apps/brinelux.svg share/man/man6/brinelux.6 \
         share/man/man1/brinelux-capture.1; do
    [ -f "$prefix/$f" ] || fail "$f is not installed"
done

# A bare environment: no library path or variable of the build's.
bare() { env -i PATH=/usr/bin:/bin HOME="$work" ${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS} "$@"; }
mkdir "$work/run" "$work/ref"
(cd "$work/run" && bare "$prefix/bin/brinelux-capture" --still title --png title.png &&
    bare "$prefix/bin/brinelux-capture" --wav song.wav) || fail "the installed capture did not run"
(cd "$work/ref" && "$build/tools/brinelux-capture" --still title --png title.png >/dev/null &&
    "$build/tools/brinelux-capture" --wav song.wav >/dev/null) || fail "the build's capture did not run"
cmp "$work/run/title.png" "$work/ref/title.png" || fail "the installed capture's title differs from the build's"
cmp "$work/run/song.wav" "$work/ref/song.wav" || fail "the installed capture's song differs from the build's"

# Neither a run path nor a string (debugging information aside) into the trees.
for program in brinelux brinelux-capture; do
    binary="$prefix/bin/$program"
    if readelf -d "$binary" | grep -E '\((RPATH|RUNPATH)\)'; then fail "$program carries a run path"; fi
    objcopy --strip-debug "$binary" "$work/$program.stripped"
    if strings -a "$work/$program.stripped" | grep -F -e "$source" -e "$build"; then
        fail "$program names the source or build tree"
    fi
done

# The manual page's body is the --help text, line for line.
man1="$prefix/share/man/man1/brinelux-capture.1"
bare "$prefix/bin/brinelux-capture" --help >"$work/help.txt"
for page in "$man1" "$prefix/share/man/man6/brinelux.6"; do
    warnings=$(groff -man -Tascii -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "$page: $warnings"
done
groff -man -Tascii -P-cbou "$man1" 2>/dev/null |
    awk '/^[A-Z]/ { section = $0; next } section == "SYNOPSIS" && NF { sub(/^       /, ""); print }' >"$work/page.txt"
diff -u "$work/help.txt" "$work/page.txt" || fail "the manual page and --help differ"

entry="$prefix/share/applications/brinelux.desktop"
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
exec_name=$(sed -n 's/^Exec=//p' "$entry")
icon_name=$(sed -n 's/^Icon=//p' "$entry")
[ -x "$prefix/bin/$exec_name" ] || fail "the desktop entry runs '$exec_name', which is not installed"
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon_name.svg" ] || fail "the desktop entry's icon '$icon_name' is not installed"

echo "PASS: the installed tree runs from $prefix with nothing of the source or build tree"
