#!/usr/bin/env bash
# Converts every corpus scene with two command-line builds, with default
# options, with strips and tangent space, with skin and animation, with skin
# in strips on a palette of 4 bones (bone batching at work), with the
# vertex-cache triangle order, and with material merge (the merge source is
# the old program's default output for the same input, read back by each
# program's scene file reading), and compares the output bytes, the exit codes
# and the warnings and errors printed: a speed change must not change a
# single file or message.
# Usage: [VARIANTS="defaults strips skin skin4 cache merge"] \
#        scripts/compare-corpus.sh OLD_CLI NEW_CLI [CORPUS_DIR] [WORK_DIR]
set -uo pipefail
OLD="$1"
NEW="$2"
CORPUS="${3:-$(dirname "$0")/../../shared/corpus}"
WORK="${4:-$(mktemp -d)}"
mkdir -p "$WORK"
same=0
differ=0
while IFS= read -r -d '' input; do
  for variant in ${VARIANTS:-defaults strips skin skin4 cache merge}; do
    args=()
    [ "$variant" = strips ] && args=(--set ePrimType=1 --set bTangentSpace=1)
    [ "$variant" = skin ] && args=(--set bExportSkin=1 --set bExportAnimations=1)
    [ "$variant" = skin4 ] && args=(--set bExportSkin=1 --set bExportAnimations=1 --set uiBoneLimit=4 --set ePrimType=1)
    [ "$variant" = cache ] && args=(--set eTriSort=2)
    if [ "$variant" = merge ]; then
      rm -f "$WORK/merge-source.qef"
      timeout 120 "$OLD" convert "$input" -o "$WORK/merge-source.qef" --quiet >/dev/null 2>&1
      args=(--set bMerge=1 --set "sMergeSrc=$WORK/merge-source.qef")
    fi
    for side in old new; do
      cli="$OLD"
      [ "$side" = new ] && cli="$NEW"
      rm -f "$WORK/$side.qef"
      timeout 120 "$cli" convert "$input" -o "$WORK/$side.qef" --quiet "${args[@]}" >/dev/null 2>"$WORK/$side.err"
      echo $? >"$WORK/$side.rc"
      sed -i "s|$WORK/$side.qef|OUTPUT|g" "$WORK/$side.err"
      [ -f "$WORK/$side.qef" ] || : >"$WORK/$side.qef"
    done
    if cmp -s "$WORK/old.qef" "$WORK/new.qef" && cmp -s "$WORK/old.rc" "$WORK/new.rc" &&
      cmp -s "$WORK/old.err" "$WORK/new.err"; then
      same=$((same + 1))
    else
      differ=$((differ + 1))
      echo "DIFFERS ($variant): $input"
    fi
  done
done < <(find "$CORPUS" -type f \( -iname '*.dae' -o -iname '*.gltf' -o -iname '*.glb' \) -print0 | sort -z)
echo "same: $same, different: $differ"
[ "$differ" -eq 0 ]
