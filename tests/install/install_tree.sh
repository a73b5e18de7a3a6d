#!/bin/bash
# The installed tree on its own: `cmake --install` into a temporary prefix,
# moved elsewhere, run from a directory outside the source and build trees
# with a bare environment. The capture's still and song must come out byte
# for byte as the build tree's program makes them; nothing in the programs
# may name the source or build tree; the manual pages must be clean, dated
# and say what --help says; the desktop entry and the metainfo must be valid
# and name what was installed; the licences must be there.
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
app=org.brinelux.brinelux
for f in bin/brinelux bin/brinelux-capture share/applications/$app.desktop share/metainfo/$app.metainfo.xml \
         share/icons/hicolor/scalable/apps/brinelux.svg share/man/man6/brinelux.6.gz \
         share/man/man1/brinelux-capture.1.gz share/doc/brinelux/copyright share/doc/brinelux/changelog.gz \
         share/doc/brinelux/README.md share/xscreensaver/config/brinelux.xml; do
    [ -f "$prefix/$f" ] || fail "$f is not installed"
done
# The README's pages, where its links look for them.
for page in "$source"/docs/*.md; do
    cmp -s "$page" "$prefix/share/doc/brinelux/docs/${page##*/}" || fail "docs/${page##*/} is not installed"
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

# Both pages clean for mandoc and groff, dated, within 80 columns; the
# capture's OPTIONS list each option of --help once, with --help's words.
man1="$prefix/share/man/man1/brinelux-capture.1.gz"
bare "$prefix/bin/brinelux-capture" --help >"$work/help.txt"
for page in "$man1" "$prefix/share/man/man6/brinelux.6.gz"; do
    gzip -t "$page" || fail "$page is not gzipped"
    zcat "$page" >"$work/page.roff"
    lint=$(mandoc -Tlint -Wwarning "$work/page.roff" 2>&1)
    [ -z "$lint" ] || fail "$page: $lint"
    warnings=$(groff -man -Tascii -ww -z "$work/page.roff" 2>&1)
    [ -z "$warnings" ] || fail "$page: $warnings"
    grep -qE '^\.TH [^ ]+ [0-9]+ "[0-9]{4}-[0-9]{2}-[0-9]{2}"' "$work/page.roff" || fail "$page has no date"
    wide=$(MANWIDTH=80 mandoc -Tascii -O width=80 "$work/page.roff" | sed "s/.\x08//g" | awk 'length($0) > 80')
    [ -z "$wide" ] || fail "$page overflows 80 columns: $wide"
done
zcat "$man1" | mandoc -Tascii -O width=200 | sed "s/.\x08//g" >"$work/page.txt"
python3 - "$work/help.txt" "$work/page.txt" <<'CHECK' || fail "the manual page's OPTIONS and --help differ"
import re, sys
help_text, page = (open(path).read() for path in sys.argv[1:])
sections = re.split(r"^(\S[A-Z ]+)$", page, flags=re.M)
named = dict(zip(sections[1::2], sections[2::2]))
for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "EXAMPLES", "SEE ALSO"):
    if section not in named:
        sys.exit(f"no {section} section")
tags = re.findall(r"^ {7}(--\S.*)$", named["OPTIONS"], flags=re.M)
listed = [n for tag in tags for n in re.findall(r"--[a-z-]+", tag)]
wanted = sorted(set(re.findall(r"(?<![\w-])--[a-z-]+", help_text)))
if sorted(listed) != wanted:
    sys.exit(f"OPTIONS lists {sorted(listed)}, --help names {wanted}")
words = lambda text: " ".join(text.split())
for line in help_text.splitlines()[1:]:
    # The text starts at column 28, or after a term that runs past it.
    text = line[28:] if line[27:28] == " " else line.strip().split("   ", 1)[-1] if "   " in line.strip() else ""
    if line.strip().startswith("-") and text.strip() and words(text) not in words(named["OPTIONS"]):
        sys.exit(f"--help says '{text.strip()}', the page does not")
CHECK

entry="$prefix/share/applications/$app.desktop"
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
exec_name=$(sed -n 's/^Exec=//p' "$entry")
icon_name=$(sed -n 's/^Icon=//p' "$entry")
[ -x "$prefix/bin/$exec_name" ] || fail "the desktop entry runs '$exec_name', which is not installed"
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon_name.svg" ] || fail "the desktop entry's icon '$icon_name' is not installed"

# The software centres' entry: valid, naming the desktop entry, the
# programs and the project's version.
metainfo="$prefix/share/metainfo/$app.metainfo.xml"
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log"; fail "the metainfo is not valid"; }
if grep -E '^[EW]:' "$work/appstream.log"; then fail "the metainfo has errors or warnings"; fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
grep -q "<launchable type=\"desktop-id\">$app.desktop</launchable>" "$metainfo" || fail "the metainfo does not launch $app.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"
for program in brinelux brinelux-capture; do
    grep -q "<binary>$program</binary>" "$metainfo" || fail "the metainfo does not provide $program"
done

# Both licences, in Debian's machine-readable form; the project's as LICENSE says.
copyright="$prefix/share/doc/brinelux/copyright"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" || fail "copyright is not machine-readable"
for licence in Expat OFL-1.1; do
    grep -q "^License: $licence\$" "$copyright" || fail "copyright has no $licence paragraph"
done
awk 'BEGIN { RS = "" } /^License: Expat\n/' "$copyright" | sed '1d; s/^ //; s/^\.$//' | diff - "$source/LICENSE" >/dev/null ||
    fail "copyright's Expat text is not LICENSE's"
grep -q "SIL OPEN FONT LICENSE Version 1.1" "$copyright" || fail "copyright lacks the face's licence text"

echo "PASS: the installed tree runs from $prefix with nothing of the source or build tree"
