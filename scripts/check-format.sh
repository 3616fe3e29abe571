#!/usr/bin/env bash
# Fails when a C++ file differs from what clang-format makes of it
# (.clang-format at the top); `clang-format -i FILE` mends one.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
