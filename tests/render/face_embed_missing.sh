#!/bin/bash
# A build machine without the cards' face stops the build with one line
# naming the package, and writes no source that would draw blank cards; one
# with only the face's older release (whose licence does not let a program
# carry it) stops the same way.
#   face_embed_missing.sh path/to/brinelux_face_embed WORKDIR
set -u
tool=$1 work=$2
rm -rf "$work"
mkdir -p "$work/fonts"
cd "$work" || exit 1
printf '<?xml version="1.0"?>\n<fontconfig><dir>%s/fonts</dir><cachedir>%s/cache</cachedir></fontconfig>\n' \
    "$work" "$work" >fonts.conf
old=/usr/share/fonts/truetype/liberation/LiberationMono-Bold.ttf
[ -f "$old" ] && ln -s "$old" fonts/
FONTCONFIG_FILE=$work/fonts.conf "$tool" face.cpp 2>err.txt
status=$?
[ "$status" -eq 1 ] || { echo "FAIL: status $status, not 1"; exit 1; }
[ "$(wc -l <err.txt)" -eq 1 ] && grep -q 'install fonts-liberation2' err.txt ||
    { echo "FAIL: said: $(cat err.txt)"; exit 1; }
[ ! -e face.cpp ] || { echo "FAIL: wrote face.cpp"; exit 1; }
"$tool" face.cpp && grep -q 'showFaceData' face.cpp || { echo "FAIL: the usual fonts gave no face"; exit 1; }
echo "PASS: $(cat err.txt)"
