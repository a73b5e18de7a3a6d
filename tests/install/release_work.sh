#!/bin/bash
# tools/release.sh empties its work directory at each run: named at a
# directory of someone else's (absolute or relative, a file, a link), it must
# refuse with one line and leave every file there, before it builds anything.
# Usage: release_work.sh SOURCE_DIR
set -u
source="$(cd "$1" && pwd -P)"
work="$(mktemp -d "${TMPDIR:-/tmp}/brinelux-release-work-XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir -p "$work/theirs/notes" "$work/elsewhere"
echo keep >"$work/theirs/notes/keep.txt"
echo keep >"$work/file"
ln -s "$work/theirs" "$work/link"
for name in "$work/theirs" theirs "$work/file" "$work/link"; do
    (cd "$work" && BRINELUX_RELEASE_WORK="$name" "$source/tools/release.sh") >"$work/out" 2>"$work/err"
    status=$?
    [ "$status" -eq 2 ] || fail "$name: status $status, not 2"
    [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "is not a release work directory" "$work/err" ||
        fail "$name: said $(cat "$work/err")"
    [ ! -s "$work/out" ] || fail "$name: went on: $(head -3 "$work/out")"
done
[ "$(cat "$work/theirs/notes/keep.txt")" = keep ] && [ "$(cat "$work/file")" = keep ] || fail "a file was lost"
[ -L "$work/link" ] || fail "the link was removed"
[ ! -e "$work/elsewhere/theirs" ] && [ ! -e "$source/theirs" ] || fail "a relative name was taken elsewhere"

# dist/ is not touched before the release is built: a build that fails
# leaves an earlier release and a user's file there as they were; a dist
# that is not a directory is refused before anything is built. The script is
# run from a copy of the tree, with every tool it needs failing at once.
tree="$work/tree"
mkdir -p "$tree/tools" "$work/tools-failing" "$tree/dist/screenshots/0.9"
cp "$source/tools/release.sh" "$tree/tools/"
for tool in cmake cpack dpkg-shlibdeps file i686-w64-mingw32-g++ x86_64-w64-mingw32-g++ emcmake sha256sum; do
    printf '#!/bin/sh\nexit 1\n' >"$work/tools-failing/$tool"
    chmod +x "$work/tools-failing/$tool"
done
echo earlier >"$tree/dist/brinelux-0.9-web.zip"
echo earlier >"$tree/dist/screenshots/0.9/title.png"
echo mine >"$tree/dist/notes.txt"
(cd "$work" && PATH="$work/tools-failing:$PATH" BRINELUX_RELEASE_WORK="$work/failing-work" \
    "$tree/tools/release.sh") >"$work/out" 2>"$work/err"
status=$?
[ "$status" -ne 0 ] || fail "a failing build: status 0"
for kept in brinelux-0.9-web.zip screenshots/0.9/title.png notes.txt; do
    [ -f "$tree/dist/$kept" ] || fail "a failing build: dist/$kept was removed"
done
[ "$(ls -A "$tree/dist")" = "brinelux-0.9-web.zip
notes.txt
screenshots" ] || fail "a failing build changed dist/: $(ls -A "$tree/dist")"
rm -rf "$tree/dist" "$work/failing-work"
echo mine >"$tree/dist"
(cd "$work" && PATH="$work/tools-failing:$PATH" BRINELUX_RELEASE_WORK="$work/failing-work" \
    "$tree/tools/release.sh") >"$work/out" 2>"$work/err"
status=$?
[ "$status" -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "is not a directory" "$work/err" ||
    fail "dist a file: status $status, said $(cat "$work/err")"
[ "$(cat "$tree/dist")" = mine ] || fail "dist a file: it was changed"

[ "$failures" -eq 0 ] || exit 1
echo "PASS: $(cat "$work/err")"
