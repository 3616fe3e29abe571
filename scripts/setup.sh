#!/usr/bin/env bash
# Installs what the build needs (Debian packages), then configures and builds.
# Usage: scripts/setup.sh [BUILD_DIR] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR="${1:-build}"
shift || true

# git and file too: the format check lists files with git, CPack's Debian
# generator asks file about every program; a bare Debian root has neither.
# pybind11, the Python headers and numpy build and test the Python module
# (for Debian's /usr/bin/python3); Blender runs the add-on's test.
PACKAGES=(git file cmake g++ make pkg-config qt6-base-dev libpugixml-dev libmeshoptimizer-dev
          libgtest-dev libgmock-dev libbenchmark-dev python3 ccache dpkg-dev python3-collada clang-format
          clang-14 libtinygltf-dev
          nlohmann-json3-dev libdraco-dev libqt6opengl6-dev xvfb xauth libgl1-mesa-dri libglx-mesa0 ninja-build
          pybind11-dev python3-dev python3-numpy blender libglfw3-dev libepoxy-dev libpng-dev
          gltfpack assimp-utils time)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

[ "$BUILD_DIR" = "--packages-only" ] && exit 0
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$BUILD_DIR" -j2
