#!/bin/bash
# The action of meshwright_scene: runs one conversion with a dependency file,
# then holds it to what the rule declared. It fails, naming the file, when the
# conversion read a file that is not among the declared inputs (a glTF buffer
# or a merge scene missing from data) or wrote an effect file that is not
# among the declared outputs; a failed action leaves none of its outputs.
#
#   convert.sh LABEL OUT N INPUT... M EFFECT... CONVERTER convert SRC -o OUT [WORDS...]
#
# INPUTs are the declared inputs and EFFECTs the declared effect files, as
# paths from the execution root (the folder the action runs in, which is
# also the folder the converter writes its dependency file's paths from).
set -u

label=$1
out=$2
shift 2
declare -A declared_inputs=()
for ((n = $1; n > 0; n--)); do
  shift
  declared_inputs[$1]=1
done
shift
declare -A declared_effects=()
effect_list=()
for ((n = $1; n > 0; n--)); do
  shift
  declared_effects[$1]=1
  effect_list+=("$1")
done
shift
# What remains is the converter's command line.
outputs=()

fail() {
  local line
  for line in "$@"; do
    echo "meshwright_scene $label: $line" >&2
  done
  rm -f "$out" "${effect_list[@]}" "${outputs[@]}"
  rm -rf "$work"
  exit 1
}

# The converter records what it wrote in the user's list of exported files;
# a build action keeps that, and any other user setting, out of its way.
work=$out.work
rm -rf "$work"
mkdir -p "$work/config" || fail "cannot create the scratch folder '$work'"
export HOME=$work XDG_CONFIG_HOME=$work/config

"$@" --depfile "$work/deps.d"
status=$?
if ((status != 0)); then
  fail "converting '$3' failed (exit $status); the files a scene refers to (glTF buffers, a merge scene) must be in data"
fi
[ -f "$work/deps.d" ] || fail "the conversion wrote no dependency file"

# The words of the dependency file, escapes undone: the outputs before the
# colon, the files read after it. The converter escapes a space as "\ "
# (doubling the backslashes before it), '#' as "\#" and '$' as "$$"; a
# backslash before the line break continues the line.
text=$(<"$work/deps.d")
reads=()
word=""
in_reads=0
take_word() {
  if [ -n "$word" ]; then
    if ((in_reads)); then reads+=("$word"); else outputs+=("$word"); fi
  fi
  word=""
}
length=${#text}
for ((i = 0; i < length; i++)); do
  c=${text:i:1}
  if [ "$c" = '\' ]; then
    run=0
    while [ "${text:i+run:1}" = '\' ]; do ((run++)); done
    next=${text:i+run:1}
    if [ "$next" = ' ' ]; then
      for ((k = 0; k < run / 2; k++)); do word+='\'; done
      ((i += run))
      if ((run % 2)); then word+=' '; else take_word; fi
    elif [ "$next" = '#' ] && ((run == 1)); then
      word+='#'
      ((i += 1))
    elif [ "$next" = $'\n' ] && ((run == 1)); then
      take_word
      ((i += 1))
    else
      for ((k = 0; k < run; k++)); do word+='\'; done
      ((i += run - 1))
    fi
  elif [ "$c" = '$' ] && [ "${text:i+1:1}" = '$' ]; then
    word+='$'
    ((i += 1))
  elif [ "$c" = ':' ] && ((!in_reads)); then
    take_word
    in_reads=1
  elif [ "$c" = ' ' ] || [ "$c" = $'\n' ] || [ "$c" = $'\t' ]; then
    take_word
  else
    word+=$c
  fi
done
take_word
((in_reads)) || fail "the dependency file has no rule: $(head -c 200 "$work/deps.d")"

problems=()
for path in "${reads[@]}"; do
  [ -n "${declared_inputs[$path]:-}" ] ||
    problems+=("the conversion read '$path', which is not declared: add it to data")
done
declare -A written=()
for path in "${outputs[@]:1}"; do
  written[$path]=1
  [ -n "${declared_effects[$path]:-}" ] ||
    problems+=("the conversion wrote '$path', which is not declared: add '${path##*/}' to effects")
done
for path in "${effect_list[@]}"; do
  [ -n "${written[$path]:-}" ] ||
    problems+=("effects names '${path##*/}', which the conversion did not write")
done
((${#problems[@]} == 0)) || fail "${problems[@]}"
rm -rf "$work"
exit 0
