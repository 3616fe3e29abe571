#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, build-fuzz/) and runs one of them.
# Usage: scripts/fuzz.sh TARGET SECONDS [extra libFuzzer arguments...]
#   TARGET: collada | gltf | scene | options | prefs | qef-loader | qef-helpers
# New corpus entries collect in build-fuzz/corpus/TARGET; a crash, hang or
# leak is written to build-fuzz/artifacts/TARGET/ and ends the run with a
# non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ]; then
  echo "usage: $0 collada|gltf|scene|options|prefs|qef-loader|qef-helpers SECONDS [libFuzzer arguments...]" >&2
  exit 64
fi
TARGET="$1"
SECONDS_TO_RUN="$2"
shift 2

case "$TARGET" in
  # Every Collada document of the corpus too: real documents hold the long
  # index lists a mutated count turns into one huge polygon.
  collada) SEEDS=(examples tests/data/collada)
           for d in ../shared/corpus/assorted ../shared/corpus/cts; do [ -d "$d" ] && SEEDS+=("$d"); done ;;
  gltf) SEEDS=(tests/data/gltf)
        [ -d ../shared/corpus/gltf ] && SEEDS+=(../shared/corpus/gltf) ;;
  scene) SEEDS=(tests/fuzz/corpus/scene) ;;
  # The loader reads the scene files; its dictionary is the scene reader's.
  qef-loader|qef-helpers) SEEDS=(tests/fuzz/corpus/scene) DICT=scene ;;
  options) SEEDS=(tests/fuzz/corpus/options) ;;
  prefs) SEEDS=(tests/data/prefs) ;;
  *) echo "unknown target '$TARGET' (collada, gltf, scene, options, prefs, qef-loader, qef-helpers)" >&2; exit 64 ;;
esac

for p in clang-14 libclang-rt-14-dev; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends clang-14 libclang-rt-14-dev >/dev/null
    break
  fi
done

BUILD=build-fuzz
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMW_FUZZ=ON -DMW_BUILD_GUI=OFF >/dev/null
fi
cmake --build "$BUILD" -j2 --target "fuzz_$TARGET" >/dev/null

CORPUS="$BUILD/corpus/$TARGET"
ARTIFACTS="$BUILD/artifacts/$TARGET"
mkdir -p "$CORPUS" "$ARTIFACTS"

# Leaks inside Qt and the system libraries are theirs, not ours.
export ASAN_OPTIONS="detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

# One worker on one core: the machine is shared. With -jobs libFuzzer runs
# the target in a child process that logs to fuzz-0.log in the working folder.
# An input that runs longer than 3 seconds counts as a hang (the Collada
# target converts each document fully, twice: a step that grows faster than
# its input passes that on the few thousand triangles an input can hold);
# more than 2 GB of memory as a finding.
ROOT="$PWD"
RUN="$BUILD/run/$TARGET"
mkdir -p "$RUN"
rm -f "$RUN/fuzz-0.log"
SEED_PATHS=()
for s in "${SEEDS[@]}"; do SEED_PATHS+=("$ROOT/$s"); done
status=0
started=$(date +%s)
(cd "$RUN" && "$ROOT/$BUILD/tests/fuzz/fuzz_$TARGET" "$ROOT/$CORPUS" "${SEED_PATHS[@]}" \
  -dict="$ROOT/tests/fuzz/${DICT:-$TARGET}.dict" \
  -max_total_time="$SECONDS_TO_RUN" -timeout=3 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
  -workers=1 -jobs=1 -close_fd_mask=3 -print_final_stats=1 \
  -artifact_prefix="$ROOT/$ARTIFACTS/" "$@" >driver.log 2>&1) || status=$?
ran=$(( $(date +%s) - started ))
LOG="$RUN/fuzz-0.log"
if [ -f "$LOG" ]; then
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$LOG" | tail -n 3 || true
  grep -E '^stat::' "$LOG" || true
  if grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error|Test unit written' "$LOG"; then
    echo "== finding (full log: $LOG)"
    grep -E -A40 'ERROR: |runtime error' "$LOG" | head -n 80
    grep -E 'Test unit written' "$LOG" || true
    status=1
  fi
fi
runs=$(grep -E '^stat::number_of_executed_units' "$LOG" 2>/dev/null | awk '{print $2}' | tail -n 1)
if [ "$status" -eq 0 ]; then
  echo "== fuzz_$TARGET ran ${ran} s clean (${runs:-?} inputs, seeds: ${SEEDS[*]}; 3 s limit per input)"
else
  echo "== fuzz_$TARGET stopped after ${ran} s with a finding or an error (status $status)"
fi
exit $status
