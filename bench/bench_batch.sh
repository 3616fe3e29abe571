#!/usr/bin/env bash
# Converting a whole folder of scenes: one meshwright-cli call per file, one
# after another (a build script's loop), against one call with -d and
# --jobs 1 and --jobs N (default 2). Prints wall-clock seconds and the ratio
# of --jobs N to the loop; the target is at most 0.6.
# Usage: bench/bench_batch.sh [CLI] [CORPUS] [N]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cli="${1:-$here/../build/cli/meshwright-cli}"
corpus="${2:-$here/../../shared/corpus}"
jobs="${3:-2}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mapfile -t files < <(find "$corpus" -type f \( -iname '*.dae' -o -iname '*.gltf' -o -iname '*.glb' \) | sort)
echo "${#files[@]} scene files in $corpus"

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

mkdir -p "$work/loop"
start=$(now)
i=0
for f in "${files[@]}"; do
  i=$((i + 1))
  "$cli" convert "$f" -o "$work/loop/$i.qef" -q 2>/dev/null || true
done
loop=$(seconds "$start" "$(now)")

start=$(now)
"$cli" convert "$corpus" -r -d "$work/one" --jobs 1 -q 2>/dev/null || true
one=$(seconds "$start" "$(now)")

start=$(now)
"$cli" convert "$corpus" -r -d "$work/many" --jobs "$jobs" -q 2>/dev/null || true
many=$(seconds "$start" "$(now)")

printf 'one call per file, in turn: %6.2f s\n' "$loop"
printf -- '-d, --jobs 1:               %6.2f s\n' "$one"
printf -- '-d, --jobs %-2s               %6.2f s  (%s of the loop, %s of --jobs 1)\n' "$jobs" "$many" \
  "$(ratio "$many" "$loop")" "$(ratio "$many" "$one")"
