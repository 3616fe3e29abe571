#!/usr/bin/env bash
# Builds if needed, converts the bundled example with default options and
# shows the result.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build >/dev/null
mkdir -p build/examples
status=0
for dae in examples/*.dae; do
  out="build/examples/$(basename "${dae%.*}").qef"
  echo "== $dae -> $out"
  # An example may carry its own profile beside it (NAME.cfg).
  opts=()
  [ -f "${dae%.*}.cfg" ] && opts=(--options "${dae%.*}.cfg")
  ./build/cli/meshwright-cli convert "$dae" -o "$out" "${opts[@]}" || status=$?
  if [ -f "$out" ]; then
    ./build/cli/meshwright-cli inspect "$out"
  fi
done
exit $status
