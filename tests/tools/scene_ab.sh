#!/bin/sh
# The A/B timing tool on real programs: the earlier water and sphere programs
# against today's must come out identical with a timing line; one changed constant in
# it must be reported as differing bytes (status 1); a missing file, a
# program that does not build and a bad round count are refused (status 2)
# with one line.
#   scene_ab.sh path/to/brinelux-scene-ab tests/shaders/fixtures/water_reference.glsl
set -eu
ab=$1
earlier=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; cat "$work/out" "$work/err" 2>/dev/null; exit 1; }

run() { set +e; "$ab" "$@" >"$work/out" 2>"$work/err"; status=$?; set -e; }

run water "$earlier" --rounds 1
[ $status = 0 ] || fail "same program: status $status"
[ "$(grep -c ': identical$' "$work/out")" = 4 ] || fail "same program: four identical frames expected"
grep -q '^4 frames each: earlier [0-9.]* ms, current [0-9.]* ms (medians); current/earlier per frame: median [0-9.]*' \
    "$work/out" || fail "no timing line"

# Each part draws its own program: the sphere fixture matches the spheres.
run spheres "$(dirname "$earlier")/sphere_reference.glsl" --rounds 1
[ $status = 0 ] && [ "$(grep -c ': identical$' "$work/out")" = 4 ] || fail "spheres: status $status"

# The base colour of the water, 0.04 to 0.05 in green: a change of a few
# levels in dark pixels, the kind of slip the comparison exists to catch.
sed 's/vec3(0.0, 0.04, 0.04)/vec3(0.0, 0.05, 0.04)/' "$earlier" >"$work/changed.glsl"
! cmp -s "$earlier" "$work/changed.glsl" || fail "the fixture no longer has the constant this test changes"
run water "$work/changed.glsl" --rounds 1
[ $status = 1 ] || fail "changed program: status $status"
grep -q '^time 0.04: [0-9]* bytes differ$' "$work/out" || fail "changed program: no differing bytes reported"

run water "$work/missing.glsl"
[ $status = 2 ] && [ "$(cat "$work/err")" = "brinelux-scene-ab: cannot read $work/missing.glsl" ] \
    || fail "missing file: status $status"
printf 'void main() { gl_FragColor = vec4(1.0) }\n' >"$work/broken.glsl"
run spheres "$work/broken.glsl"
[ $status = 2 ] && [ "$(wc -l <"$work/err")" = 1 ] && grep -q 'does not build: ..*' "$work/err" \
    || fail "broken program: status $status"
run water "$earlier" --rounds 0
[ $status = 2 ] && grep -q '^brinelux-scene-ab: usage' "$work/err" || fail "zero rounds: status $status"
echo "scene_ab: identical, changed, missing, broken and bad rounds all as expected"
