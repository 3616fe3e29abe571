#!/usr/bin/env bash
# Converting a whole folder of scenes: one meshwright-cli call per file, one
# after another (a build script's loop), against one call with -d and
# --jobs 1 and --jobs N (default 2). Prints wall-clock seconds and the ratio
# of --jobs N to the loop; the target is at most 0.6.
# With COUNT, only the first COUNT Collada documents of CORPUS (sorted by
# path) are converted, copied into one folder: 150 of the conformance suite
# (CORPUS/cts) are small scenes whose time is that of starting and feeding
# the conversions (targets: --jobs 2 at most 0.55 of --jobs 1, and 8 ms a
# file). Also prints milliseconds per file.
# Usage: bench/bench_batch.sh [CLI] [CORPUS] [N] [COUNT]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cli="${1:-$here/../build/cli/meshwright-cli}"
corpus="${2:-$here/../../shared/corpus}"
jobs="${3:-2}"
count="${4:-}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [ -n "$count" ]; then
  mkdir -p "$work/in"
  i=0
  while IFS= read -r f; do
    i=$((i + 1))
    cp "$f" "$work/in/$(printf '%04d' "$i")-$(basename "$f")"
  done < <(find "$corpus" -type f -iname '*.dae' | sort | head -n "$count")
  corpus="$work/in"
fi

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
printf 'per file: loop %s ms, --jobs 1 %s ms, --jobs %s %s ms\n' \
  "$(awk -v t="$loop" -v n="${#files[@]}" 'BEGIN { printf "%.1f", 1000 * t / n }')" \
  "$(awk -v t="$one" -v n="${#files[@]}" 'BEGIN { printf "%.1f", 1000 * t / n }')" "$jobs" \
  "$(awk -v t="$many" -v n="${#files[@]}" 'BEGIN { printf "%.1f", 1000 * t / n }')"
