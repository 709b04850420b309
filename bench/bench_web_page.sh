#!/bin/bash
# How fast the exported web page opens in headless Chromium with software GL. Exports SESSION
# (default: a synthetic 500,000-point model, about 1 M triangles) as a page, opens it RUNS times
# (default 5), each in a fresh browser with a fresh profile and no network, and reads the
# milestones the page keeps on its body from the dumped document.
# Usage: bench/bench_web_page.sh [SESSION] [RUNS]
# Environment: BUILD (default build) names the build folder with the viewer and make-session;
# QUIET=L waits (up to 3 minutes) before each run until the 1-minute load average is below L,
# since the browser's previous run itself keeps both cores of a small machine busy.
# Per run: load average at the start; navigation to first frame, to the model decoded, and the
# decoding alone (ms, the page's clock); browser start to first frame (ms, the wall clock);
# the whole browser process (s, start to exit, the dump of the document included).
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
runs=${2:-5}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
session=${1:-}
if [[ -z $session ]]; then
  session=$scratch/model.ses
  "$build/tools/make-session" --synthetic --points 500000 --out "$session" >/dev/null || exit 1
fi
page=$scratch/page.html
"$build/src/app/velmora-viewer" --export "$page" "$session" || exit 1
echo "page: $(stat -c %s "$page") bytes from $session"
printf '%-4s %-6s %14s %11s %9s %16s %8s\n' run load nav_to_frame nav_to_dec decode start_to_frame wall_s
for ((run = 1; run <= runs; ++run)); do
  for ((wait = 0; wait < 36; ++wait)); do
    [[ -z ${QUIET:-} ]] || awk -v l="$(cut -d' ' -f1 /proc/loadavg)" -v q="$QUIET" \
      'BEGIN { exit !(l < q) }' && break
    sleep 5
  done
  load=$(cut -d' ' -f1 /proc/loadavg)
  profile=$(mktemp -d "$scratch/profile-XXXX")
  start=$(date +%s%N)
  chromium --headless=new --use-angle=swiftshader --enable-unsafe-swiftshader --no-sandbox \
    --disable-gpu --no-first-run --disable-background-networking --disable-component-update \
    --disable-sync --disable-extensions --host-resolver-rules='MAP * ~NOTFOUND' \
    --proxy-server='127.0.0.1:9' --user-data-dir="$profile" --window-size=1000,700 \
    --dump-dom "file://$page" 2>/dev/null | grep -o -m1 '<body[^>]*>' >"$scratch/body"
  end=$(date +%s%N)
  rm -rf "$profile"
  # The body's data- attributes: name=value per line.
  attrs=$(grep -o 'data-[a-z-]*="[0-9.]*"' "$scratch/body" | sed 's/^data-//; s/"//g')
  get() { sed -n "s/^$1=//p" <<<"$attrs"; }
  origin=$(get origin) parsed=$(get parsed) decoded=$(get decoded) frame=$(get first-frame)
  if [[ -z $frame || -z $decoded ]]; then
    printf '%-4s %-6s the page recorded no first frame\n' "$run" "$load"
    continue
  fi
  awk -v r="$run" -v l="$load" -v p="$parsed" -v d="$decoded" -v f="$frame" -v o="$origin" \
    -v s="$start" -v e="$end" 'BEGIN {
      printf "%-4s %-6s %14.0f %11.0f %9.0f %16.0f %8.2f\n", r, l, f, d, d - p,
        o + f - s / 1e6, (e - s) / 1e9 }'
done
