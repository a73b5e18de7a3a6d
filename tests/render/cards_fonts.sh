#!/bin/bash
# The cards are the same pixels whatever fonts the machine has: the capture's
# title card with the usual fonts, with a fontconfig that offers none, with
# one that offers only a symbol face, and with too few descriptors for
# fontconfig to read its configuration.
#   cards_fonts.sh path/to/brinelux-capture WORKDIR
set -u
capture=$1 work=$2
rm -rf "$work"
mkdir -p "$work/fonts"
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A fontconfig of its own: the faces linked into fonts/, its cache beside.
config() {
    printf '<?xml version="1.0"?>\n<fontconfig><dir>%s/fonts</dir><cachedir>%s/cache</cachedir></fontconfig>\n' \
        "$work" "$work" >"$work/fonts.conf"
}

"$capture" --still title --png usual.png >/dev/null || fail "usual fonts: status $?"
config
FONTCONFIG_FILE=$work/fonts.conf "$capture" --still title --png none.png >/dev/null 2>none.err ||
    fail "no fonts: status $?"
cmp -s usual.png none.png || fail "no fonts: the title card differs"
[ ! -s none.err ] || fail "no fonts: said $(cat none.err)"
symbol=$(fc-match -f '%{file}' 'Standard Symbols PS')
if [ -n "$symbol" ]; then
    ln -s "$symbol" fonts/symbol.otf
    FONTCONFIG_FILE=$work/fonts.conf "$capture" --still title --png symbol.png >/dev/null ||
        fail "symbol face only: status $?"
    cmp -s usual.png symbol.png || fail "symbol face only: the title card differs"
fi
# Standard descriptors, EGL's and the output's: none left for fontconfig.
(ulimit -n 6; "$capture" --still title --png starved.png >/dev/null) || fail "ulimit -n 6: status $?"
cmp -s usual.png starved.png || fail "ulimit -n 6: the title card differs"

[ $failures = 0 ] && echo "the title card is the same under every font set-up"
exit $failures
