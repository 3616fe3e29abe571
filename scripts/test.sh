#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite twice: the
# normal build (build/), then the sanitizer build (build-asan/, built with
# AddressSanitizer and UndefinedBehaviorSanitizer).
#   scripts/test.sh             both suites
#   scripts/test.sh --fast      the normal suite only
#   scripts/test.sh --sanitize  the sanitizer suite only
set -euo pipefail
cd "$(dirname "$0")/.."

normal=1
sanitize=1
case "${1:-}" in
  "") ;;
  --fast) sanitize=0 ;;
  --sanitize) normal=0 ;;
  *) echo "usage: $0 [--fast | --sanitize]" >&2; exit 64 ;;
esac

export QT_QPA_PLATFORM=offscreen
# ccache (when installed) finds objects of another clone or build folder of
# the same sources: paths are taken relative to the checkout.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

# Everything the suite calls, on a bare Debian root too (git, file, ...).
bash scripts/setup.sh --packages-only
echo "== format (.clang-format)"
bash scripts/check-format.sh

if ((normal)); then
  echo "== normal build (build/, with the benchmark programs so that they keep building)"
  bash scripts/setup.sh build -DMW_WERROR=ON -DMW_BUILD_BENCH=ON
  # A hang fails its test instead of lasting until CI gives up.
  ctest --test-dir build --output-on-failure -j2 --timeout 600
  echo "== Debian package (build/): built, unpacked into a temporary root, run from there"
  bash scripts/package-check.sh build
fi

if ((sanitize)); then
  echo "== sanitizer build (build-asan/: AddressSanitizer, UndefinedBehaviorSanitizer)"
  bash scripts/setup.sh build-asan -DMW_SANITIZE=ON -DMW_WERROR=ON
  # Any report ends the test program with an error. Leaks are findings too,
  # except those that Qt and the system libraries keep for the life of the
  # process (tests/sanitizer/lsan.supp lists only those).
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
  export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  # The normal suite converts the whole corpus; under the sanitizers a fixed
  # sample of it (every fifth file) is enough to exercise the same paths.
  MW_CORPUS_SAMPLE=5 ctest --test-dir build-asan --output-on-failure -j2 --timeout 900
fi
