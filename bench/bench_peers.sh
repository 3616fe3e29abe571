#!/usr/bin/env bash
# Our converter beside the converters a user would pick instead, on the same
# files, run alternately (ours, peer, ours, peer...) so that the load of the
# shared machine falls on both alike. For each input it prints every run's
# wall seconds and peak resident memory (/usr/bin/time), the medians, and the
# ratios ours / peer.
#   .glb/.gltf: meshwright-cli with skin and animation on against
#               `gltfpack -i IN -o OUT.glb` with its defaults
#   .dae:       meshwright-cli with skin and animation on against
#               `assimp export IN OUT.glb` (import, process, export) and
#               `assimp info IN` (its import alone)
# A peer runs only when it is installed (Debian: gltfpack, assimp-utils; the
# script installs neither). The big scenes come from
# bench/blender_skinned_scene.py and bench/gen_collada.
# Usage: bench/bench_peers.sh [-n RUNS] [--cli CLI] INPUT...
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cli="$here/../build/cli/meshwright-cli"
runs=3
inputs=()
while (($#)); do
  case "$1" in
  -n) runs="$2"; shift 2 ;;
  --cli) cli="$2"; shift 2 ;;
  -h | --help) sed -n '2,16p' "$0"; exit 0 ;;
  *) inputs+=("$1"); shift ;;
  esac
done
((${#inputs[@]})) || { sed -n '2,16p' "$0"; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 2; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Runs a command once; prints "SECONDS KIB CPU_SECONDS" or "fail".
measure() {
  if /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$@" >"$work/out.log" 2>&1; then
    awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$work/time"
  else
    echo fail
  fi
}
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for input in "${inputs[@]}"; do
  peers=()
  case "${input,,}" in
  *.glb | *.gltf) command -v gltfpack >/dev/null && peers+=(gltfpack) ;;
  *.dae) command -v assimp >/dev/null && peers+=(assimp-export assimp-import) ;;
  esac
  echo "== $input ($(du -m "$input" | cut -f1) MB)"
  ((${#peers[@]})) || echo "(no peer installed for this input)"
  declare -A wall=() peak=() cpu=()
  for ((r = 1; r <= runs; r++)); do
    for tool in meshwright "${peers[@]}"; do
      case "$tool" in
      meshwright) cmd=("$cli" convert "$input" -o "$work/out.qef" --quiet --set bExportSkin=1 --set bExportAnimations=1) ;;
      gltfpack) cmd=(gltfpack -i "$input" -o "$work/out.glb") ;;
      assimp-export) cmd=(assimp export "$input" "$work/out.glb") ;;
      assimp-import) cmd=(assimp info "$input") ;;
      esac
      m=$(measure "${cmd[@]}")
      printf '%-14s run %d: %s\n' "$tool" "$r" "$m"
      [ "$m" = fail ] && { tail -5 "$work/out.log"; continue; }
      read -r w p c <<<"$m"
      wall[$tool]+="$w "
      peak[$tool]+="$p "
      cpu[$tool]+="$c "
    done
  done
  med() { tr ' ' '\n' <<<"$1" | grep . | median; }
  ours_wall=$(med "${wall[meshwright]:-}")
  ours_peak=$(med "${peak[meshwright]:-}")
  ours_cpu=$(med "${cpu[meshwright]:-}")
  printf '%-14s median %6.2f s %7.0f MiB %6.2f s cpu\n' meshwright "${ours_wall:-0}" \
    "$(awk -v k="${ours_peak:-0}" 'BEGIN { print k / 1024 }')" "${ours_cpu:-0}"
  for tool in "${peers[@]}"; do
    w=$(med "${wall[$tool]:-}")
    p=$(med "${peak[$tool]:-}")
    c=$(med "${cpu[$tool]:-}")
    [ -n "$w" ] || continue
    printf '%-14s median %6.2f s %7.0f MiB %6.2f s cpu   ours/%s: time %.2f, peak %.2f, cpu %.2f\n' "$tool" "$w" \
      "$(awk -v k="$p" 'BEGIN { print k / 1024 }')" "$c" "$tool" \
      "$(awk -v a="$ours_wall" -v b="$w" 'BEGIN { print (b > 0) ? a / b : 0 }')" \
      "$(awk -v a="$ours_peak" -v b="$p" 'BEGIN { print (b > 0) ? a / b : 0 }')" \
      "$(awk -v a="$ours_cpu" -v b="$c" 'BEGIN { print (b > 0) ? a / b : 0 }')"
  done
  unset wall peak cpu
done
