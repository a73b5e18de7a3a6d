#!/bin/sh
# Runs a Windows program under 64-bit Wine: wine64 directly (Debian's "wine"
# script would pick the 32-bit loader), a private prefix made on first use,
# Wine's own chatter off. Usage: wine_run.sh PROGRAM.exe [ARGS...]
#
# The prefix maps "Courier New" to Liberation Mono: a fresh prefix maps it to
# a proportional face, and the show's cards are set in a monospaced one.
set -eu
wine64=${BRINELUX_WINE64:-/usr/lib/wine/wine64}
export WINELOADER="$wine64"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEPREFIX="${BRINELUX_WINEPREFIX:-${TMPDIR:-/tmp}/brinelux-wine-$(id -u)}"
# No menu entries or file associations written into the user's desktop.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d}"
wineserver="$(dirname "$wine64")/wineserver"

# One process makes the prefix; tests started beside it wait for it.
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.brinelux-ready" ]; then
    rm -rf "$WINEPREFIX"
    "$wine64" wineboot -i >/dev/null 2>&1
    "$wine64" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /d 'Liberation Mono' /f >/dev/null 2>&1
    "$wineserver" -w
    touch "$WINEPREFIX/.brinelux-ready"
fi
flock -u 9
exec 9>&-

exec "$wine64" "$@"
