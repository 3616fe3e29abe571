#!/usr/bin/env bash
# Pictures of the window and the scene viewer for the README, made from the
# bundled examples on an X server of their own (Xvfb) with Mesa's software
# OpenGL, so they show the programs as built. Writes docs/images/*.png.
# Usage: scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"

command -v xvfb-run >/dev/null || bash scripts/setup.sh --packages-only
[ -f "$BUILD_DIR/CMakeCache.txt" ] || cmake -S . -B "$BUILD_DIR" >/dev/null
cmake --build "$BUILD_DIR" --target screenshots -j2 >/dev/null
program=$(find "$BUILD_DIR" -type f -name screenshots -perm -u+x | head -n 1)
mkdir -p docs/images
# The user's preference files stay untouched.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1 \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$program" docs/images examples
