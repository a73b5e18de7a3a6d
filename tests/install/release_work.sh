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

[ "$failures" -eq 0 ] || exit 1
echo "PASS: $(cat "$work/err")"
