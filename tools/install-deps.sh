#!/bin/sh
# Installs what brinelux needs on Debian 12 or Ubuntu, with apt (sudo when
# not root). With no option: what building and running the show and the
# capture tool needs. Each option adds a set:
#   --test     the test tools (GoogleTest, Xvfb, weston, the packaging checks)
#   --windows  the Windows cross-build: MinGW-w64 for both targets, and Wine
#              for its tests
#   --web      the web build: Emscripten, and Chromium, Firefox and WebKitGTK
#              for its tests (the test suite builds and plays the page:
#              --test wants --web too)
#   --all      all of them (continuous integration, tools/release.sh)
set -eu
usage="usage: tools/install-deps.sh [--test] [--windows] [--web] [--all]"

# Compiler and CMake, SDL2 (X11 and Wayland), libpulse (the sound server's latency), libepoxy and EGL, FreeType and
# fontconfig with the cards' face (fonts-liberation2; fonts-liberation for
# the font tests and Wine), Mesa's software GL for machines
# without a GPU driver, libpng for the capture's PNGs and ffmpeg for its
# video. Google Benchmark for the song's speed bench, built with the tools.
packages="cmake g++ make pkg-config
    libsdl2-dev libpulse-dev libepoxy-dev libegl-dev libgl1-mesa-dri libwayland-dev
    libfreetype-dev libfontconfig-dev fonts-liberation2 fonts-liberation
    libpng-dev zlib1g-dev ffmpeg libbenchmark-dev"
# Unit and GL tests, the show under Xvfb (bare, under twm, resized by
# xrandr) and weston, screenshots, fontconfig's
# fc-match for the font tests; groff, mandoc, desktop-file-utils, appstream,
# lintian, dpkg-dev and file check the installed files and build and check
# the Debian package; python3 runs the
# package and web checks.
test="libgtest-dev glslang-tools
    xvfb xauth xdotool x11-utils imagemagick weston twm x11-xserver-utils pulseaudio pulseaudio-utils
    python3 fontconfig groff-base mandoc desktop-file-utils appstream lintian dpkg-dev file"
# The Windows build: MinGW-w64 for both targets, ImageMagick to render the
# executables' icon, GoogleTest's sources to build with them, and 64-bit
# Wine to run the x86_64 tests and the show.
windows="g++-mingw-w64-i686 g++-mingw-w64-x86-64 imagemagick googletest wine64"
# The web build and its tests: Emscripten, python3 (which writes the page
# in one file, brinelux.html), and the page played in three engines: Chromium headless; Firefox ESR (driven over WebDriver BiDi with
# python3-websocket) and WebKitGTK's MiniBrowser (webkit2gtk-driver), both
# on Xvfb, sounding into a private PulseAudio null sink (WebKit through
# GStreamer's pulsesink).
web="emscripten python3 chromium
    firefox-esr webkit2gtk-driver xvfb pulseaudio pulseaudio-utils python3-websocket
    gstreamer1.0-pulseaudio gstreamer1.0-plugins-good gstreamer1.0-plugins-base"

for option in "$@"; do
    case "$option" in
    --test) packages="$packages $test" ;;
    --windows) packages="$packages $windows" ;;
    --web) packages="$packages $web" ;;
    --all) packages="$packages $test $windows $web" ;;
    -h|--help) echo "$usage"; exit 0 ;;
    *) echo "install-deps.sh: unknown option '$option'" >&2; echo "$usage" >&2; exit 2 ;;
    esac
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update
# shellcheck disable=SC2086 # the lists are words
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y $packages
