#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a temporary
# root and runs the installed command line there: its version, and a
# conversion of the bundled example.
# Usage: scripts/package-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"

(cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
deb=$(ls -t "$BUILD_DIR"/meshwright_*.deb | head -n 1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
echo "package: $(basename "$deb"), depends: $(dpkg-deb -f "$deb" Depends)"
for f in usr/bin/meshwright-cli usr/bin/meshwright usr/bin/meshwright-view usr/share/applications/meshwright.desktop \
         usr/share/applications/meshwright-view.desktop \
         usr/share/mime/packages/meshwright.xml usr/share/icons/hicolor/scalable/apps/meshwright.svg \
         usr/lib/python3/dist-packages/meshwright/__init__.py usr/share/meshwright/blender/meshwright_export.zip \
         usr/share/meshwright/blender/meshwright_export/__init__.py; do
  [ -e "$root/$f" ] || { echo "the package lacks $f" >&2; exit 1; }
done
"$root/usr/bin/meshwright-cli" --version
"$root/usr/bin/meshwright-cli" convert --quiet examples/textured_box.dae -o "$root/box.qef"
"$root/usr/bin/meshwright-cli" inspect "$root/box.qef" | head -n 3
# The loader for other projects: headers, both libraries, the CMake package
# component and qef.pc; a C program built against the unpacked package with
# CMake (shared and static) and with pkg-config loads the converted scene.
libdir=$(dirname "$(cd "$root" && ls usr/lib/*/libqef.a usr/lib/libqef.a 2>/dev/null | head -n 1)")
for f in usr/include/qef/qef.h usr/include/qef/ZGXTMemoryFileSystem.h "$libdir/libqef.a" "$libdir/libqef.so" \
         "$libdir/pkgconfig/qef.pc" "$libdir/cmake/Meshwright/MeshwrightQefTargets.cmake"; do
  [ -e "$root/$f" ] || { echo "the package lacks $f" >&2; exit 1; }
done
cmake -S tests/qef/consumer -B "$root/consumer" -DCMAKE_PREFIX_PATH="$root/usr" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/consumer" >/dev/null
LD_LIBRARY_PATH="$root/$libdir" "$root/consumer/load_shared" "$root/box.qef" | head -n 1
"$root/consumer/load_static" "$root/box.qef" | head -n 1
cc -std=c99 tests/qef/HeaderC.c -o "$root/load_pc" \
  $(PKG_CONFIG_PATH="$root/$libdir/pkgconfig" pkg-config --cflags --libs --static qef)
LD_LIBRARY_PATH="$root/$libdir" "$root/load_pc" "$root/box.qef" | head -n 1
# The Python module as installed, under Debian's interpreter.
PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -c '
import sys, meshwright
result = meshwright.convert("examples/textured_box.dae", sys.argv[1])
print("python module: %d meshes" % len(meshwright.load(result.output).meshes))' "$root/box-py.qef"
cmp "$root/box.qef" "$root/box-py.qef"
echo "package check passed"
