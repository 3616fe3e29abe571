#!/usr/bin/env bash
# A build farm in miniature for the Bazel rules (bazel/meshwright.bzl): nginx
# with WebDAV on a free loopback port serves as Bazel's HTTP remote cache.
# Workspace A (a copy of examples/bazel) is built with it; workspace B, the
# same files in another folder with an output base of its own (a second
# machine), must then take every conversion from the cache, running none,
# and get byte-identical outputs. A changed input in B converts that scene
# alone, a changed options file every scene. Then the bad cases: a read that
# is not declared, a conversion that fails (its error shown, nothing stale
# left or cached), a converter that is missing, a cache server that is down
# (the build converts locally).
#
#   scripts/farm-check.sh [MESHWRIGHT_CLI]   (default: build/cli/meshwright-cli)
#
# Installs bazel-bootstrap and nginx-light when missing. Exit status: 0 every
# check held, 1 one did not (the message says which), 77 skipped because the
# packages are missing and cannot be installed (no apt-get or no root).
# Everything it starts (nginx, the Bazel servers) is stopped and everything
# it writes (a temporary folder) removed, whatever happens.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$root/build/cli/meshwright-cli}
[[ $cli == /* ]] || cli=$PWD/$cli

die() {
  echo "farm check FAILED: $*" >&2
  exit 1
}
step() { echo "== $*"; }

[ -x "$cli" ] || die "no converter at '$cli' (cmake --build build --target meshwright-cli)"

# Packages, as scripts/setup.sh installs its own.
missing=()
command -v bazel >/dev/null || missing+=(bazel-bootstrap)
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || missing+=(nginx-light)
command -v python3 >/dev/null || missing+=(python3)
if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
      SUDO="sudo -n"
    else
      echo "farm check SKIPPED: ${missing[*]} not installed, and installing needs root (or sudo)"
      exit 77
    fi
  fi
  if ! command -v apt-get >/dev/null; then
    echo "farm check SKIPPED: ${missing[*]} not installed, and there is no apt-get"
    exit 77
  fi
  step "installing ${missing[*]}"
  $SUDO apt-get update -qq || die "apt-get update failed"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    die "apt-get install ${missing[*]} failed"
fi
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

tmp=$(mktemp -d "${TMPDIR:-/tmp}/meshwright-farm.XXXXXX")
nginx_pid=""
# Bazel's startup options: no rc file of the user's or the workspace's (the
# system's names Debian's install base); everything it keeps under $tmp; a
# server that ends by itself should the end of this script be missed.
startup=(--nohome_rc --noworkspace_rc --output_user_root="$tmp/bazel-root" --max_idle_secs=120
  --host_jvm_args=-Djava.io.tmpdir="$tmp/java-tmp")
declare -A workspace_of=() # a Bazel server's output base -> its workspace
cleanup() {
  local status=$? base pid
  for base in "${!workspace_of[@]}"; do
    [ -d "$base" ] || continue
    (cd "${workspace_of[$base]}" && HOME="$tmp/home" timeout 60 bazel "${startup[@]}" --output_base="$base" shutdown \
      >/dev/null 2>&1) || true
    pid=$(cat "$base/server/server.pid.txt" 2>/dev/null || true)
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null || true; fi
  done
  if [ -n "$nginx_pid" ]; then
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
  fi
  chmod -R u+w "$tmp" 2>/dev/null || true
  rm -rf "$tmp"
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# --- the cache server -------------------------------------------------------
mkdir -p "$tmp/nginx" "$tmp/cache" "$tmp/java-tmp"
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# A PUT and a GET of the same bytes: the server is up and stores what it gets.
cache_answers() {
  python3 - "$1" <<'EOF'
import sys, urllib.request
url = "http://127.0.0.1:%s/probe/check" % sys.argv[1]
try:
    urllib.request.urlopen(urllib.request.Request(url, data=b"meshwright", method="PUT"), timeout=2)
    sys.exit(0 if urllib.request.urlopen(url, timeout=2).read() == b"meshwright" else 1)
except Exception:
    sys.exit(1)
EOF
}
start_nginx() {
  local user=""
  # Workers run as the user that owns the cache folder.
  [ "$(id -u)" -eq 0 ] && user="user $(id -un) $(id -gn);"
  cat >"$tmp/nginx/nginx.conf" <<EOF
$user
daemon off;
worker_processes 1;
pid $tmp/nginx/nginx.pid;
error_log $tmp/nginx/error.log;
events { worker_connections 64; }
http {
  access_log $tmp/nginx/access.log;
  client_body_temp_path $tmp/nginx/body;
  proxy_temp_path $tmp/nginx/proxy;
  fastcgi_temp_path $tmp/nginx/fastcgi;
  uwsgi_temp_path $tmp/nginx/uwsgi;
  scgi_temp_path $tmp/nginx/scgi;
  server {
    listen 127.0.0.1:$port;
    root $tmp/cache;
    client_max_body_size 0;
    dav_methods PUT;
    create_full_put_path on;
    dav_access user:rw;
  }
}
EOF
  "$nginx_bin" -p "$tmp/nginx" -c "$tmp/nginx/nginx.conf" -e "$tmp/nginx/error.log" \
    >"$tmp/nginx/stdout.log" 2>&1 &
  nginx_pid=$!
  local i
  for ((i = 0; i < 50; i++)); do
    if ! kill -0 "$nginx_pid" 2>/dev/null; then
      wait "$nginx_pid" 2>/dev/null || true
      nginx_pid=""
      return 1
    fi
    cache_answers "$port" && return 0
    sleep 0.2
  done
  return 1
}
step "starting nginx (WebDAV) as the remote cache"
started=0
for _ in 1 2 3; do
  port=$(free_port)
  if start_nginx; then
    started=1
    break
  fi
done
((started)) || die "nginx did not serve the cache: $(cat "$tmp/nginx/error.log" "$tmp/nginx/stdout.log" 2>/dev/null)"
rm -rf "$tmp/cache/probe"
cache=http://127.0.0.1:$port

# --- the workspaces -----------------------------------------------------------
# The workspace and the rules it loads (../../bazel), symlinks resolved: what
# a second machine's checkout holds.
mkdir -p "$tmp/src/examples"
cp -RL "$root/bazel" "$tmp/src/bazel"
cp -RL "$root/examples/bazel" "$tmp/src/examples/bazel"
rm -rf "$tmp/src/examples/bazel"/bazel-*
cp -R "$tmp/src" "$tmp/A"
cp -R "$tmp/src" "$tmp/B"
A=$tmp/A/examples/bazel
B=$tmp/B/examples/bazel

# bazel_in WORKSPACE OUTPUT_BASE LOG [build words...]: builds in the
# workspace with its output base (a server of its own, ended at exit);
# everything Bazel keeps stays under $tmp. The exit status is Bazel's.
bazel_in() {
  local ws=$1 base=$2 log=$3
  shift 3
  workspace_of[$base]=$ws
  (cd "$ws" && HOME="$tmp/home" bazel "${startup[@]}" --output_base="$base" build --nosandbox_debug --color=no \
    --curses=no --noshow_progress --execution_log_json_file="$log.json" "$@") >"$log" 2>&1
}
# The conversions a build ran, from its execution log: "hit LABEL" for a
# remote cache hit, "run LABEL" for one converted here; sorted.
conversions() {
  python3 - "$1.json" <<'EOF'
import json, sys
text = open(sys.argv[1]).read()
decoder, at, lines = json.JSONDecoder(), 0, []
while True:
    while at < len(text) and text[at].isspace():
        at += 1
    if at >= len(text):
        break
    spawn, at = decoder.raw_decode(text, at)
    if spawn.get("mnemonic") == "MeshwrightConvert":
        lines.append(("hit " if spawn.get("remoteCacheHit") else "run ") + spawn["commandArgs"][1])
print("\n".join(sorted(lines)))
EOF
}
# The process summary line of a build ("INFO: 5 processes: 4 remote cache hit, 1 internal.").
summary() { grep -E '^INFO: [0-9]+ process' "$1" | tail -1 || true; }
# How many processes of a kind the summary counts (e.g. "remote cache hit").
summary_count() {
  summary "$1" | grep -oE "[0-9]+ $2" | grep -oE '^[0-9]+' || echo 0
}
# Processes that ran here: the summary's counts other than cache hits and
# Bazel's own (internal) ones.
local_count() {
  summary "$1" | sed -E 's/^INFO: [0-9]+ processes?: //; s/\.$//' | tr ',' '\n' |
    grep -vE 'remote cache hit|internal' | grep -oE '[0-9]+' | awk '{ n += $1 } END { print n + 0 }'
}
show() {
  echo "--- $1" >&2
  grep -vE '^(Loading|Analyzing|INFO: (Invocation|Analyzed|Found))' "$1" | head -60 >&2
}
expect_build() { # LOG WHAT: the build succeeded
  [ "${status:-0}" -eq 0 ] || {
    show "$1"
    die "$2: the build failed"
  }
}
outputs_of() { (cd "$1/bazel-bin" && find -L . -type f \( -name '*.qef' -o -name '*.qdl' -o -name '*.h' -o -name '*.cpp' \) | sort); }

B_ARGS=(--repo_env=MESHWRIGHT_CLI="$cli" --remote_cache="$cache")

step "workspace A: a first build fills the cache"
status=0
bazel_in "$A" "$tmp/base-A" "$tmp/a1.log" "${B_ARGS[@]}" //... || status=$?
expect_build "$tmp/a1.log" "workspace A"
all=$(conversions "$tmp/a1.log" | sed 's/^run //')
count=$(echo "$all" | grep -c . || true)
((count >= 3)) || die "workspace A: expected the example's conversions, the execution log lists: $(conversions "$tmp/a1.log")"
[ -z "$(conversions "$tmp/a1.log" | grep -v '^run ' || true)" ] || die "workspace A: a conversion came from the empty cache"
[ -n "$(ls -A "$tmp/cache" 2>/dev/null)" ] || die "workspace A: nothing was written to the cache"
echo "   $count conversions: $(paste -sd ' ' <<<"$all"); $(summary "$tmp/a1.log")"

step "workspace B (another folder, a fresh output base): every conversion is a remote cache hit"
status=0
bazel_in "$B" "$tmp/base-B" "$tmp/b1.log" "${B_ARGS[@]}" //... || status=$?
expect_build "$tmp/b1.log" "workspace B"
echo "   $(summary "$tmp/b1.log")"
hits=$(summary_count "$tmp/b1.log" "remote cache hit")
[ "$hits" -eq "$count" ] && [ "$(local_count "$tmp/b1.log")" -eq 0 ] || {
  show "$tmp/b1.log"
  die "workspace B: expected $count remote cache hits and nothing run here; the summary says: $(summary "$tmp/b1.log")"
}
[ "$(conversions "$tmp/b1.log")" = "$(echo "$all" | sed 's/^/hit /')" ] ||
  die "workspace B: not every conversion came from the cache: $(conversions "$tmp/b1.log" | tr '\n' ' ')"
files=$(outputs_of "$A")
[ "$files" = "$(outputs_of "$B")" ] || die "workspace B: other outputs than A's: $(outputs_of "$B" | tr '\n' ' ')"
for f in $files; do
  cmp -s "$A/bazel-bin/$f" "$B/bazel-bin/$f" || die "workspace B: $f differs from A's"
done
echo "   $(echo "$files" | wc -l) outputs byte-identical to A's"

step "workspace B: a changed input converts that scene alone"
sed -i 's/0.3 + 0.5 \* dark/0.2 + 0.6 * dark/' "$B/scenes/glsl_panel.dae"
cmp -s "$A/scenes/glsl_panel.dae" "$B/scenes/glsl_panel.dae" && die "the test could not change glsl_panel.dae"
status=0
bazel_in "$B" "$tmp/base-B" "$tmp/b2.log" "${B_ARGS[@]}" //... || status=$?
expect_build "$tmp/b2.log" "after changing glsl_panel.dae"
ran=$(conversions "$tmp/b2.log")
[ "$ran" = "run //:assets/glsl_panel" ] || die "after changing glsl_panel.dae, expected that scene's conversion alone, got: $(paste -sd ' ' <<<"$ran")"
[ "$(local_count "$tmp/b2.log")" -eq 1 ] || die "after changing glsl_panel.dae: $(summary "$tmp/b2.log")"
cmp -s "$A/bazel-bin/assets/Tiles.qdl" "$B/bazel-bin/assets/Tiles.qdl" &&
  die "after changing glsl_panel.dae, Tiles.qdl is still A's"
echo "   $(paste -sd ' ' <<<"$ran"); $(summary "$tmp/b2.log")"

step "workspace B: a changed options file converts every scene"
sed -i 's/^bExportSkin=1$/bExportSkin=0/' "$B/scenes.cfg"
cmp -s "$A/scenes.cfg" "$B/scenes.cfg" && die "the test could not change scenes.cfg"
status=0
bazel_in "$B" "$tmp/base-B" "$tmp/b3.log" "${B_ARGS[@]}" //... || status=$?
expect_build "$tmp/b3.log" "after changing scenes.cfg"
[ "$(conversions "$tmp/b3.log")" = "$(echo "$all" | sed 's/^/run /')" ] ||
  die "after changing scenes.cfg, expected every scene converted, got: $(conversions "$tmp/b3.log" | tr '\n' ' ')"
echo "   $(summary "$tmp/b3.log")"

# --- bad input ------------------------------------------------------------------
# A package of its own, so that the example's targets stay as they are.
mkdir -p "$B/bad"
cp "$B/scenes/triangle.gltf" "$B/bad/flip.gltf"
cp "$B/scenes/triangle.gltf" "$B/bad/triangle.gltf"
cp "$B/scenes/triangle.bin" "$B/bad/triangle.bin"
cat >"$B/bad/BUILD.bazel" <<'EOF'
load("@meshwright//:meshwright.bzl", "meshwright_scene")

# The buffer of the glTF file is not in data.
meshwright_scene(name = "undeclared", src = "triangle.gltf")

# Converts, until the test breaks its file.
meshwright_scene(name = "flip", src = "flip.gltf", data = ["triangle.bin"])
EOF

step "bad input: a file read but not declared fails the action, naming it"
# Unsandboxed, the converter can read the undeclared buffer: the dependency
# file check is what stops it. In the sandbox the file is not even there.
for strategy in local sandboxed; do
  status=0
  bazel_in "$B" "$tmp/base-B" "$tmp/bad1-$strategy.log" "${B_ARGS[@]}" --spawn_strategy=$strategy //bad:undeclared ||
    status=$?
  [ "$status" -ne 0 ] || die "($strategy) a conversion reading an undeclared file did not fail"
  if [ $strategy = local ]; then
    grep -q "meshwright_scene //bad:undeclared: the conversion read 'bad/triangle.bin', which is not declared: add it to data" \
      "$tmp/bad1-$strategy.log" || {
      show "$tmp/bad1-$strategy.log"
      die "($strategy) the failure does not name the undeclared file"
    }
  else
    grep -q "triangle.bin" "$tmp/bad1-$strategy.log" || {
      show "$tmp/bad1-$strategy.log"
      die "($strategy) the failure does not name the undeclared file"
    }
  fi
  [ ! -e "$B/bazel-bin/bad/undeclared.qef" ] || die "($strategy) the failed action left its output"
done
grep "meshwright_scene //bad:undeclared" "$tmp/bad1-local.log" | sed 's/^/   /'

step "bad input: a conversion that fails shows its error, leaves and caches nothing"
status=0
bazel_in "$B" "$tmp/base-B" "$tmp/bad2.log" "${B_ARGS[@]}" //bad:flip || status=$?
expect_build "$tmp/bad2.log" "bad/flip.gltf while still good"
[ -f "$B/bazel-bin/bad/flip.qef" ] || die "no bad/flip.qef after converting it"
printf '{"asset": {"version": "2.0"}, "scenes": [' >"$B/bad/flip.gltf"
for round in 1 2; do
  status=0
  bazel_in "$B" "$tmp/base-B" "$tmp/bad3-$round.log" "${B_ARGS[@]}" //bad:flip || status=$?
  [ "$status" -ne 0 ] || die "a broken glTF file converted (round $round)"
  grep -q "^error: " "$tmp/bad3-$round.log" && grep -q "meshwright_scene //bad:flip: converting 'bad/flip.gltf' failed" \
    "$tmp/bad3-$round.log" || {
    show "$tmp/bad3-$round.log"
    die "the converter's error is not in Bazel's output (round $round)"
  }
  [ ! -e "$B/bazel-bin/bad/flip.qef" ] || die "the failed conversion left the old bad/flip.qef (round $round)"
  # Failed actions are not cached: the second round converts again.
  [ "$(conversions "$tmp/bad3-$round.log")" = "run //bad:flip" ] ||
    die "the failed conversion was not run (round $round): $(conversions "$tmp/bad3-$round.log")"
done
grep -E "^error: |meshwright_scene //bad:flip" "$tmp/bad3-1.log" | head -3 | sed 's/^/   /'

step "bad input: a missing converter"
status=0
bazel_in "$B" "$tmp/base-B" "$tmp/bad4.log" --repo_env=MESHWRIGHT_CLI="$tmp/no-such/meshwright-cli" \
  --remote_cache="$cache" //:assets || status=$?
[ "$status" -ne 0 ] || die "the build went on without a converter"
grep -q "MESHWRIGHT_CLI names '$tmp/no-such/meshwright-cli', which does not exist" "$tmp/bad4.log" || {
  show "$tmp/bad4.log"
  die "the failure does not name the missing converter"
}
grep -o "Error in fail: MESHWRIGHT_CLI names [^(]*" "$tmp/bad4.log" | head -1 | sed 's/^/   /'

step "bad input: the cache server is down, the build converts here"
kill "$nginx_pid"
wait "$nginx_pid" 2>/dev/null || true
nginx_pid=""
cache_answers "$port" && die "nginx still answers after being stopped"
sed -i 's/^bExportSkin=0$/bExportSkin=1/' "$B/scenes.cfg"
echo "bTangentSpace=0" >>"$B/scenes.cfg"
status=0
bazel_in "$B" "$tmp/base-B" "$tmp/down.log" "${B_ARGS[@]}" //:all || status=$?
expect_build "$tmp/down.log" "with the cache server down"
[ "$(conversions "$tmp/down.log")" = "$(echo "$all" | sed 's/^/run /')" ] ||
  die "with the cache server down, expected every scene converted here, got: $(conversions "$tmp/down.log" | tr '\n' ' ')"
echo "   $(summary "$tmp/down.log"); $(grep -m1 -i 'remote cache' "$tmp/down.log" | cut -c1-120)"

echo "farm check passed"
