#!/bin/bash
# The web page reaches the show: built with tools/web.sh, served on
# 127.0.0.1 and opened in headless Chromium (SwiftShader WebGL), its title
# card lights the pixels the desktop capture's title still lights, and the
# page logs nothing but its ready line. Usage: web_title.sh CAPTURE WORKDIR
set -euo pipefail
capture="$1"
work="$2"
root="$(cd "$(dirname "$0")/.." && pwd)"
rm -rf "$work/shots" && mkdir -p "$work/shots"

BRINELUX_WEB_BUILD="$work/build-web" "$root/tools/web.sh" --build-only >"$work/build.log" 2>&1 ||
    { tail -20 "$work/build.log"; echo "FAIL: the web site does not build"; exit 1; }
site="$work/build-web/site"
size=$(du -cb "$site"/index.html "$site"/brinelux.js "$site"/brinelux.wasm | tail -1 | cut -f1)
[ "$size" -lt 1048576 ] || { echo "FAIL: the page is $size bytes, over 1 MiB"; exit 1; }

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site" >"$work/http.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$port/')" 2>/dev/null && break
    sleep 0.1
done

# 2.5 s of the page's virtual time is well inside the title's 300 frames.
timeout 120 chromium --headless=new --no-sandbox --use-angle=swiftshader --enable-unsafe-swiftshader \
    --autoplay-policy=no-user-gesture-required --window-size=1024,768 --hide-scrollbars \
    --user-data-dir="$work/profile" --enable-logging=stderr --v=0 \
    --virtual-time-budget=2500 --screenshot="$work/shots/web.png" \
    "http://127.0.0.1:$port/index.html?autostart" 2>"$work/chromium.log" >/dev/null || true
[ -s "$work/shots/web.png" ] || { echo "FAIL: Chromium took no screenshot"; tail "$work/chromium.log"; exit 1; }

grep 'CONSOLE' "$work/chromium.log" >"$work/console.log" || true
grep -q '"brinelux: ready"' "$work/console.log" || { echo "FAIL: the page never got ready"; cat "$work/console.log"; exit 1; }
if grep -v '"brinelux: ready"' "$work/console.log" | grep -q .; then
    echo "FAIL: the page logged more than its ready line:"; cat "$work/console.log"; exit 1
fi

MESA_SHADER_CACHE_DISABLE=true "$capture" --still title --png "$work/shots/desktop.png" >/dev/null

# Lit pixels (any channel above a quarter) of each picture, compared.
python3 - "$work/shots/web.png" "$work/shots/desktop.png" <<'PY'
import subprocess, sys
def lit(path):
    raw = subprocess.run(["convert", path, "-resize", "1024x768!", "-colorspace", "gray", "-depth", "8", "gray:-"],
                         check=True, capture_output=True).stdout
    assert len(raw) == 1024 * 768, (path, len(raw))
    return {i for i, v in enumerate(raw) if v > 64}
web, desk = lit(sys.argv[1]), lit(sys.argv[2])
common = len(web & desk)
print(f"lit pixels: web {len(web)}, desktop {len(desk)}, in common {common}")
if not desk:
    sys.exit("FAIL: the desktop still has no lit pixels")
if common < 0.99 * len(desk) or common < 0.99 * len(web):
    sys.exit("FAIL: under 99 % of the lit pixels in common")
PY
echo "PASS: the web title card matches the desktop's ($size bytes of page)"
