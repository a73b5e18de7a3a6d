#!/bin/sh
# Installs what building, running and testing brinelux needs on Debian 12 or
# Ubuntu: compiler and CMake, SDL2, libepoxy, EGL, FreeType and fontconfig with
# a bold monospaced face, Mesa's software GL, and the test tools.
set -eu
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y \
    cmake g++ make pkg-config \
    libsdl2-dev libepoxy-dev libegl-dev libgl1-mesa-dri libwayland-dev \
    libfreetype-dev libfontconfig-dev fonts-liberation \
    libpng-dev zlib1g-dev ffmpeg \
    libgtest-dev libbenchmark-dev glslang-tools \
    xvfb xauth xdotool x11-utils imagemagick weston
# The Windows build: MinGW-w64 for both targets, GoogleTest's sources to
# build with them, and 64-bit Wine to run the x86_64 tests and the show.
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y \
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine64
# The web build and its test: Emscripten, and Chromium to open the page headless.
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y emscripten chromium
