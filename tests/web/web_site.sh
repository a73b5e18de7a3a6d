#!/bin/bash
# Builds the web site for the web tests with the README's command, and holds
# the page (loader, program, HTML) and the page in one file each under 1 MiB.
# Usage: web_site.sh BUILD_DIR
set -euo pipefail
build="$1"
root="$(cd "$(dirname "$0")/../.." && pwd)"
mkdir -p "$build"
BRINELUX_WEB_BUILD="$build" "$root/tools/web.sh" --build-only >"$build.log" 2>&1 ||
    { tail -20 "$build.log"; echo "FAIL: the web site does not build"; exit 1; }
site="$build/site"
# The served page's files, and the page in one file (its programs as
# base64), each under 1 MiB.
size=$(du -cb --exclude=brinelux.html "$site"/* | tail -1 | cut -f1)
[ "$size" -lt 1048576 ] || { echo "FAIL: the page is $size bytes, over 1 MiB"; exit 1; }
one=$(du -b "$site/brinelux.html" | cut -f1)
[ "$one" -lt 1048576 ] || { echo "FAIL: brinelux.html is $one bytes, over 1 MiB"; exit 1; }
echo "PASS: the web site builds ($size bytes of page; $one bytes in one file)"
