#!/bin/sh
# Packs the built web site into the web zip: a folder NAME holding
# brinelux.html (the show in one file, to double-click), the served site's
# files as they are, README.txt (which to open) and LICENSE.txt.
#   tools/web_zip.sh SITE NAME VERSION ZIP
set -eu
[ $# -eq 4 ] || { echo "usage: tools/web_zip.sh SITE NAME VERSION ZIP" >&2; exit 2; }
site="$1"
name="$2"
version="$3"
zip="$4"
case "$zip" in /*) ;; *) zip="$(pwd)/$zip" ;; esac
cd "$(dirname "$0")/.."
for file in brinelux.html index.html brinelux.js brinelux.wasm brinelux_feeder.wasm worklet.js; do
    [ -f "$site/$file" ] || { echo "web_zip.sh: $site has no $file" >&2; exit 1; }
done
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp -R "$site" "$stage/$name"
# Windows' own line ends, for Notepad.
sed "s/@VERSION@/$version/; s/\$/\r/" platform/web/README.txt >"$stage/$name/README.txt"
# Both licences: the page's glyphs are drawn from the embedded face. Data
# files are not programs, whatever mode the compiler gave them.
{ cat LICENSE; printf '\n%s\n\n' '----'; cat packaging/OFL-1.1.txt; } >"$stage/$name/LICENSE.txt"
find "$stage/$name" -type f -exec chmod 0644 {} +
find "$stage/$name" -type d -exec chmod 0755 {} +
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip "$name")
