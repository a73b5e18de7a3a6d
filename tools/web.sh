#!/bin/sh
# Builds the show's web site (Emscripten) into build-web/site, with
# brinelux.html (the show in one file, which plays from file:// too), and
# serves both on 127.0.0.1, printing the addresses. Options: --build-only
# (build, no server), --port N (default 8000). BRINELUX_WEB_BUILD moves the
# build folder.
set -eu
cd "$(dirname "$0")/.."
port=8000
serve=1
while [ $# -gt 0 ]; do
    case "$1" in
    --build-only) serve=0 ;;
    --port) port="$2"; shift ;;
    *) echo "web.sh: unknown option '$1' (--build-only, --port N)" >&2; exit 2 ;;
    esac
    shift
done
build="${BRINELUX_WEB_BUILD:-build-web}"
command -v emcmake >/dev/null || { echo "web.sh: emcmake not found: install Debian's emscripten package" >&2; exit 1; }
# Debian's Emscripten finds its JavaScript modules only through NODE_PATH
# when the Node on PATH is not Debian's own.
export NODE_PATH="${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs"
emcmake cmake -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRINELUX_TESTS=OFF -DBRINELUX_TOOLS=OFF >/dev/null
cmake --build "$build" -j2
site="$build/site"
echo "web.sh: site in $site ($(du -cb "$site"/* | tail -1 | cut -f1) bytes)"
[ "$serve" -eq 1 ] || exit 0
echo "web.sh: the show in one file, to open without a server: file://$(cd "$site" && pwd)/brinelux.html"
echo "web.sh: serving the show at http://127.0.0.1:$port/ and http://127.0.0.1:$port/brinelux.html (Ctrl-C stops)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site"
