#!/usr/bin/env bash
# Side by side with a peer viewer (CloudCompare, from Debian) on the same geometry, under Xvfb
# and Mesa llvmpipe: open to the first drawn frame, distinct frames per second while
# dragging, peak resident memory. A benchmark, not a test: it records figures and asserts
# nothing.
#
#   bench/peer/run.sh [--runs N] [--work DIR] [--only mesh|cloud|scan] [--build DIR]
#                     [--points-mesh N] [--points-cloud N] [--scan MESH.obj|MESH.ply]
#
# Geometry: "mesh", a 5,000,000-point / 9,991,056-triangle height field, "cloud", a
# 10,000,000-point cloud without triangles (--points-mesh and --points-cloud scale them down
# for a quick trial), and "scan", a real scanned mesh turned into a session (make-session
# MESH --out; igea.ply from the shared scans by default, none when the file is missing):
# ours as .ses (make-session --synthetic), the peer's as binary PLY with normals and the
# deviation as the vertex property scalar_deviation (session-to-ply), which the peer maps to
# a scalar field and colours by.
#
# Each run starts a fresh Xvfb (1600x1200x24), launches the program with the file (the
# peer's PLY dialog is accepted as soon as it shows) and measures:
#   first frame  a 600x360 box in the middle of the 900x600 3D view is watched (frame_watch)
#                until the program is idle and the box stable; the first frame is the first
#                time the final picture was seen, counted from the launch;
#   memory       VmHWM of the process at that moment, and at the end of the run;
#   fps          the rotate button is held (ours: right, the peer: left) and the pointer
#                moved 40 px back and forth in 4 px steps every 20 ms; distinct pictures of
#                the box are counted over 5 s;
#   turned       whether the picture after the release differs from the first one (the drag
#                ends 40 px off its start: the model was turned);
#   still        ours only: after the release, the settled frame against a frame redrawn
#                without any motion (a middle click without motion redraws).
# Both 3D views are 900 x 600 pixels (the peer's window is sized so). The programs take
# turns, run by run. Every run goes to $work/runs.tsv; medians and ratios to
# $work/results.md.
set -euo pipefail

here="$(cd "$(dirname "$0")/../.." && pwd)"
build="$here/build"
work=/tmp/velmora-peer
runs=3
only=""
mesh_points=5000000
cloud_points=10000000
scan=/work/shared/data/scans/igea.ply
usage="usage: $0 [--runs N] [--work DIR] [--only mesh|cloud|scan] [--build DIR]
       [--points-mesh N] [--points-cloud N] [--scan MESH.obj|MESH.ply]"
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
  case "$1" in
  --runs) runs="$2"; shift 2 ;;
  --work) work="$2"; shift 2 ;;
  --only) only="$2"; shift 2 ;;
  --build) build="$2"; shift 2 ;;
  --points-mesh) mesh_points="$2"; shift 2 ;;
  --points-cloud) cloud_points="$2"; shift 2 ;;
  --scan) scan="$2"; shift 2 ;;
  *) echo "$usage" >&2; exit 2 ;;
  esac
done
mkdir -p "$work"

# --- what the harness needs, installed when missing --------------------------------------
need=()
for p in cloudcompare xdotool imagemagick xvfb xauth mesa-utils libx11-dev g++ python3; do
  dpkg -s "$p" >/dev/null 2>&1 || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi

cmake --build "$build" -j2 --target velmora-viewer make-session session-to-ply >/dev/null
viewer="$build/src/app/velmora-viewer"
watch="$work/frame_watch"
g++ -O2 -std=c++17 -o "$watch" "$here/bench/peer/frame_watch.cpp" -lX11

# --- the geometry ---------------------------------------------------------------------
# Each set is $work/<set>.ses and .ply, links to files named after their size, so that a
# quick trial and a full run share the work folder without mixing.
make_set() { # name points [--no-triangles]
  local name=$1 points=$2 extra=${3:-}
  local base="$name-$points"
  if [ ! -s "$work/$base.ses" ]; then
    "$build/tools/make-session" --synthetic --points "$points" $extra --out "$work/$base.ses"
  fi
  if [ ! -s "$work/$base.ply" ]; then
    local ply=()
    [ -n "$extra" ] && ply=(--points-only)
    "$build/tools/session-to-ply" "$work/$base.ses" "$work/$base.ply" "${ply[@]}"
  fi
  ln -sfn "$base.ses" "$work/$name.ses"
  ln -sfn "$base.ply" "$work/$name.ply"
}
make_set mesh "$mesh_points"
make_set cloud "$cloud_points" --no-triangles
make_set warm 100000
sets=(mesh cloud)
if [ -s "$scan" ]; then
  base="scan-$(basename "${scan%.*}")"
  [ -s "$work/$base.ses" ] || "$build/tools/make-session" "$scan" --out "$work/$base.ses"
  [ -s "$work/$base.ply" ] || "$build/tools/session-to-ply" "$work/$base.ses" "$work/$base.ply"
  ln -sfn "$base.ses" "$work/scan.ses"
  ln -sfn "$base.ply" "$work/scan.ply"
  sets+=(scan)
fi
[ -n "$only" ] && sets=("$only")

# --- one program, one file, one run -------------------------------------------------------
export LIBGL_ALWAYS_SOFTWARE=1
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
xvfb_pid="" app_pid="" helper_pid=""
cleanup() {
  for p in $helper_pid $app_pid $xvfb_pid; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

start_xvfb() {
  local fifo="$work/display.$$"
  rm -f "$fifo"
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do [ -s "$fifo" ] && break; sleep 0.05; done
  export DISPLAY=":$(head -1 "$fifo")"
  rm -f "$fifo"
}

stop_pid() { # pid: asks, then insists
  local p=$1
  [ -z "$p" ] && return 0
  kill "$p" 2>/dev/null || return 0
  for _ in $(seq 1 100); do kill -0 "$p" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$p" 2>/dev/null || true
}

now() { date +%s%N; }

# Settles the box and prints: seconds from T0 to the first sight of the final picture, the
# process's peak memory then (MiB), and the final picture's hash.
settle() { # x y pid quiet_ms timeout_s t0
  "$watch" settle "$1" "$2" 600 360 "$3" "$4" "$5" >"$work/settle.txt"
  python3 - "$work/settle.txt" "$6" <<'EOF'
import sys
rows = [l.split() for l in open(sys.argv[1]) if l[0].isdigit()]
final = rows[-1][1]
first = next(r for r in rows if r[1] == final)
print("%.3f %.1f %s" % ((int(first[0]) - int(sys.argv[2])) / 1e9, int(first[2]) / 1024, final))
EOF
}

run_one() { # program set run -> one row of runs.tsv
  local prog=$1 set=$2 run=$3 file pattern button
  if [ "$prog" = ours ]; then
    file="$work/$set.ses" pattern='^VelmoraViewer' button=3
  else
    file="$work/$set.ply" pattern='^CloudCompare v.*3D View' button=1 # not its splash screen
  fi
  cat "$file" >/dev/null # the same warm page cache for both
  start_xvfb
  xdotool mousemove 1599 1199 # the pointer off every window: no hover while opening
  local load0 t0 win=""
  load0=$(cut -d' ' -f1 /proc/loadavg)
  t0=$(now)
  if [ "$prog" = ours ]; then
    HOME="$work/home-ours" "$viewer" "$file" >"$work/log-$prog-$set-$run.txt" 2>&1 &
  else
    HOME="$work/home-peer" CloudCompare "$file" >"$work/log-$prog-$set-$run.txt" 2>&1 &
  fi
  app_pid=$!
  for _ in $(seq 1 1200); do
    # The search can return a window whose name no longer matches (the peer's splash
    # screen): the name is checked again.
    for win in $(xdotool search --onlyvisible --pid "$app_pid" --name "$pattern" 2>/dev/null || true); do
      xdotool getwindowname "$win" 2>/dev/null | grep -Eq "$pattern" && break
      win=""
    done
    [ -n "$win" ] && break
    sleep 0.02
  done
  if [ -z "$win" ]; then
    echo "$prog $set: no window" >&2
    stop_pid "$app_pid"; stop_pid "$xvfb_pid"
    return 1
  fi
  if [ "$prog" = peer ]; then
    # Its 3D view becomes 900 x 600, as ours is; its PLY dialog is accepted at once. The
    # size is checked until the picture settles, set again (and logged) if it changed.
    xdotool windowmove --sync "$win" 0 0 windowsize --sync "$win" 1262 827
    (
      accepted=""
      for _ in $(seq 1 60000); do
        if [ -z "$accepted" ]; then
          d=$(xdotool search --onlyvisible --name 'Ply File Open' 2>/dev/null | head -1 || true)
          if [ -n "$d" ]; then xdotool key --window "$d" Return; accepted=1; fi
        fi
        g=$(xdotool getwindowgeometry "$win" 2>/dev/null | sed -n 's/.*Geometry: //p')
        if [ -n "$g" ] && [ "$g" != 1262x827 ]; then
          echo "$(date +%s.%N) resized from $g" >>"$work/log-$prog-$set-$run.txt"
          xdotool windowmove "$win" 0 0 windowsize "$win" 1262 827
        fi
        sleep 0.02
      done
    ) &
    helper_pid=$!
  fi
  local X Y WIDTH HEIGHT SCREEN WINDOW vx vy
  eval "$(xdotool getwindowgeometry --shell "$win")"
  if [ "$prog" = ours ]; then vx=$((X + 4)) vy=$((Y + 72)); else vx=$((X + 321)) vy=$((Y + 62)); fi
  local bx=$((vx + 150)) by=$((vy + 120))
  local ff hwm_ff hash_ff
  read -r ff hwm_ff hash_ff < <(settle "$bx" "$by" "$app_pid" 4000 600 "$t0")
  [ -n "$helper_pid" ] && { stop_pid "$helper_pid"; helper_pid=""; }
  "$watch" grab 0 0 1600 1200 "$work/shot-$prog-$set-$run.ppm" >/dev/null

  # Dragging: 4 px steps every 20 ms, 40 px each way, about 6 s; counted over 5 s.
  local cx=$((vx + 450)) cy=$((vy + 300)) steps=() k off=0 dir=4
  xdotool mousemove "$cx" "$cy"
  sleep 1
  steps=(mousedown "$button" sleep 0.1)
  for k in $(seq 1 300); do
    off=$((off + dir))
    [ "$off" -ge 40 ] && dir=-4
    [ "$off" -le -40 ] && dir=4
    steps+=(mousemove "$((cx + off))" "$cy" sleep 0.02)
  done
  while [ "$off" -lt 40 ]; do # released turned away from the start, to check it turned
    off=$((off + 4))
    steps+=(mousemove "$((cx + off))" "$cy" sleep 0.02)
  done
  steps+=(mouseup "$button")
  xdotool "${steps[@]}" &
  local drag_pid=$!
  sleep 0.5
  # One picture in the middle of the drag, to check by eye that the model turns.
  (sleep 2.5; "$watch" grab 0 0 1600 1200 "$work/shot-$prog-$set-$run-drag.ppm" >/dev/null) &
  local changes seconds fps
  read -r _ changes _ _ _ seconds < <("$watch" count "$bx" "$by" 600 360 5)
  wait "$drag_pid"
  fps=$(python3 -c "print('%.2f' % ($changes / $seconds))")

  # After the release: the settled frame, and for ours a still frame drawn without motion.
  local still=- after redraw
  read -r _ _ after < <(settle "$bx" "$by" "$app_pid" 2000 120 "$(now)")
  "$watch" grab 0 0 1600 1200 "$work/shot-$prog-$set-$run-after.ppm" >/dev/null
  local turned=no
  [ "$after" != "$hash_ff" ] && turned=yes
  if [ "$prog" = ours ]; then
    xdotool click 2
    read -r _ _ redraw < <(settle "$bx" "$by" "$app_pid" 2000 120 "$(now)")
    [ "$after" = "$redraw" ] && still=same || still=different
  fi
  local hwm_end load1
  hwm_end=$(awk '/^VmHWM:/ {printf "%.1f", $2 / 1024}' "/proc/$app_pid/status")
  load1=$(cut -d' ' -f1 /proc/loadavg)
  stop_pid "$app_pid"; app_pid=""
  stop_pid "$xvfb_pid"; xvfb_pid=""
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$prog" "$set" "$run" "$ff" "$hwm_ff" \
    "$fps" "$hwm_end" "$still" "$turned" "$load0" "$load1" | tee -a "$work/runs.tsv"
}

# --- versions and machine ---------------------------------------------------------------
start_xvfb
mesa=$(glxinfo -B 2>/dev/null | sed -n 's/^ *OpenGL version string: //p' | head -1)
renderer=$(glxinfo -B 2>/dev/null | sed -n 's/^ *OpenGL renderer string: //p' | head -1)
stop_pid "$xvfb_pid"; xvfb_pid=""
{
  echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)"
  echo "ours: $("$viewer" --version 2>/dev/null | head -1) ($(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo '?'), $(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt") build)"
  echo "peer: CloudCompare $(dpkg-query -W -f='${Version}' cloudcompare) (Debian)"
  echo "OpenGL: $renderer, $mesa"
  echo "geometry: mesh $mesh_points points ($(stat -Lc %s "$work/mesh.ses") B .ses, $(stat -Lc %s "$work/mesh.ply") B .ply), cloud $cloud_points points ($(stat -Lc %s "$work/cloud.ses") B .ses)"
  [ -s "$scan" ] && echo "scan: $(readlink "$work/scan.ses") from $scan"
  echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
} >"$work/versions.txt"
cat "$work/versions.txt"

# Warm-up, not counted: first starts (font caches, settings) of both programs.
printf 'prog\tset\trun\tfirst_frame_s\tpeak_at_first_MiB\tfps\tpeak_end_MiB\tstill\tturned\tload_start\tload_end\n' >"$work/runs.tsv"
for prog in ours peer; do run_one "$prog" warm 0 >/dev/null || true; done
sed -i '/\twarm\t/d' "$work/runs.tsv"

for run in $(seq 1 "$runs"); do
  for set in "${sets[@]}"; do
    for prog in ours peer; do run_one "$prog" "$set" "$run" || true; done
  done
done

# --- medians and ratios -------------------------------------------------------------------
python3 - "$work/runs.tsv" "$work/versions.txt" >"$work/results.md" <<'EOF'
import csv, statistics, sys
rows = list(csv.DictReader(open(sys.argv[1]), delimiter="\t"))
def med(prog, s, key):
    v = [float(r[key]) for r in rows if r["prog"] == prog and r["set"] == s]
    return statistics.median(v) if v else float("nan")
print("```")
print(open(sys.argv[2]).read().rstrip())
print("```")
print()
print("| set | measure | ours (median) | peer (median) | ours / peer | goal | met |")
print("|---|---|---|---|---|---|---|")
goals = {("mesh", "first_frame_s"): ("<=", 0.7), ("cloud", "first_frame_s"): None,
         ("mesh", "fps"): (">=", 2.0), ("cloud", "fps"): (">=", 2.0)}
names = {"first_frame_s": "open to first frame, s", "peak_at_first_MiB": "peak RSS at first frame, MiB",
         "fps": "distinct frames per second, dragging", "peak_end_MiB": "peak RSS over the run, MiB"}
for s in ("mesh", "cloud", "scan"):
    if not any(r["set"] == s for r in rows):
        continue
    for key in ("first_frame_s", "peak_at_first_MiB", "fps", "peak_end_MiB"):
        a, b = med("ours", s, key), med("peer", s, key)
        ratio = a / b if b else float("nan")
        goal = goals.get((s, key), ("<=", 0.8) if key.startswith("peak") and s != "scan" else None)
        if goal:
            met = "yes" if (ratio <= goal[1] if goal[0] == "<=" else ratio >= goal[1]) else "no"
            g = "%s %.1fx" % goal
        else:
            met, g = "-", "-"
        print("| %s | %s | %.2f | %.2f | %.2fx | %s | %s |" % (s, names[key], a, b, ratio, g, met))
    still = [r["still"] for r in rows if r["prog"] == "ours" and r["set"] == s]
    print("| %s | ours: frame after release equals a still frame | %s | | | all runs | %s |"
          % (s, ", ".join(still), "yes" if still and all(x == "same" for x in still) else "no"))
    turned = lambda p: ", ".join(r["turned"] for r in rows if r["prog"] == p and r["set"] == s)
    print("| %s | the drag turned the model | %s | %s | | all runs | |" % (s, turned("ours"), turned("peer")))
n = {s: sum(1 for r in rows if r["set"] == s and r["prog"] == "ours") for s in ("mesh", "cloud", "scan")}
print()
print("Runs per program: %s. Load average during the runs: %s to %s." % (
    ", ".join("%s %d" % kv for kv in n.items()),
    min(float(r["load_start"]) for r in rows), max(float(r["load_end"]) for r in rows)))
EOF
cat "$work/results.md"
