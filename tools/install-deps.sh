#!/usr/bin/env bash
# Installs the Debian packages that Plicata needs to build, test and benchmark.
# Idempotent: only missing packages are installed, and the package lists are
# refreshed only when something is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  libgl-dev libglu1-mesa-dev freeglut3-dev libx11-dev
  libopenblas-dev libsuitesparse-dev
  nlohmann-json3-dev
  libimgui-dev libstb-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool imagemagick x11-utils
  clang libclang-rt-14-dev
  pybind11-dev python3-dev python3-numpy python3-pytest
  python3-dask python3-distributed
  python3-venv python3-pip python3-setuptools python3-wheel mypy
  python3-nbclient python3-nbformat python3-ipykernel
  libosmesa6-dev libgif-dev ffmpeg
  libjs-three chromium
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
