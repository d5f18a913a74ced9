#!/usr/bin/env bash
# Installs every Debian package that building, testing and the tools need; with "bench", also what
# the render benchmark compares against.
# Idempotent: prints nothing and touches nothing when all of them are present.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config ccache make clang-format
  # framework and what it links on Linux
  juce-modules-source lv2-dev libasound2-dev libfreetype-dev libfontconfig-dev
  libx11-dev libxext-dev libxinerama-dev libxrandr-dev libxcursor-dev libxcomposite-dev libxrender-dev
  # codecs the framework leaves to the system
  libflac-dev libvorbis-dev libogg-dev libpng-dev libjpeg-dev zlib1g-dev
  # tests, benchmarks and loudness reference
  libgtest-dev libgmock-dev libbenchmark-dev libebur128-dev
  # real drum recordings (kick, snare, hi-hat) for the hit engine's labelled sequences
  hydrogen-data
  # headless checks of the window and of the LV2 bundle and its description
  xvfb x11-utils imagemagick lilv-utils jalv jackd2 sordi
  # the editor's embedded fallback faces, and the clicks of the screenshot command
  fonts-roboto-unhinted fonts-bebas-neue fonts-lato xdotool
)
# the common loudness normaliser that the render benchmark measures against
[[ "${1:-}" == "bench" ]] && packages+=(ffmpeg)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
