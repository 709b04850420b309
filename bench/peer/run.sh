#!/usr/bin/env bash
# Side by side with peer viewers (CloudCompare and MeshLab, from Debian) on the same geometry,
# under Xvfb and Mesa llvmpipe: open to the first drawn frame, distinct frames per second
# while dragging, peak resident memory. A benchmark, not a test: it records figures and
# asserts nothing.
#
#   bench/peer/run.sh [--runs N] [--work DIR] [--only mesh|cloud|scan] [--build DIR]
#                     [--points-mesh N] [--points-cloud N] [--scan MESH.obj|MESH.ply]
#                     [--programs "ours ours-full cloudcompare meshlab"] [--nice N]
#
# Geometry: "mesh", a 5,000,000-point / 9,991,056-triangle height field, "cloud", a
# 10,000,000-point cloud without triangles (--points-mesh and --points-cloud scale them down
# for a quick trial), and "scan", a real scanned mesh turned into a session (make-session
# MESH --out; igea.ply from the shared scans by default, none when the file is missing):
# ours as .ses (make-session --synthetic), the peers' as binary PLY with normals and the
# deviation as the vertex property scalar_deviation (session-to-ply).
#
# Programs: "ours" as a user gets it (a coarse picture while the button is held when a full
# frame is over the frame budget), "ours-full" the same binary with the frame budget set to
# its largest value (View/FrameBudgetMs = 10000 in its settings), so that it draws every
# point and triangle while dragging as the peers do, and the two peers.
#
# Fairness: every program is handled by the same code, with the same cost:
#   - the whole harness runs at one niceness (--nice, default 0), so every measured process,
#     the X server and the watcher share it; each row records the program's niceness;
#   - one watcher (frame_watch) finds the window, sizes it, answers a file dialog (the
#     peers' PLY dialog) and keeps the size while the picture settles, sleeping between
#     polls; the same chores run for every program whether or not there is anything to do;
#   - Xvfb runs with -noreset, so the pointer stays parked at the screen's bottom right corner
#     (outside every view; each row records where it was at the first frame);
#   - the order of the programs turns by one each run, so each is first as often as the others;
#   - each row records the load average (1, 5, 15 minutes) at its start.
#
# Each run starts a fresh Xvfb (1600x1200x24), launches the program with the file and
# measures:
#   first frame  a 600x360 box in the middle of the 900x600 3D view is watched until the
#                program is idle and the box stable; the first frame is the first time the
#                final picture was seen, counted from the launch;
#   memory       VmHWM of the process at that moment, and at the end of the run;
#   fps          the rotate button is held and the pointer moved 40 px back and forth in 4 px
#                steps every 20 ms (one xdotool process for the whole drag); distinct pictures
#                of the box are counted over 5 s, polling every 10 ms;
#   turned       whether the picture after the release differs from the first one;
#   still        ours only: after the release, the settled frame against a frame redrawn
#                without any motion (a middle click without motion redraws).
# All 3D views are 900 x 600 pixels. Every run goes to $work/runs.tsv; medians and ratios to
# $work/results.md. Figures are only fair on a quiet machine: read the load columns.
set -euo pipefail

here="$(cd "$(dirname "$0")/../.." && pwd)"
build="$here/build"
work=/tmp/velmora-peer
runs=5
only=""
programs="ours ours-full cloudcompare meshlab"
nice_level=0
mesh_points=5000000
cloud_points=10000000
scan="$here/../shared/data/scans/igea.ply"
usage="usage: $0 [--runs N] [--work DIR] [--only mesh|cloud|scan] [--build DIR]
       [--points-mesh N] [--points-cloud N] [--scan MESH.obj|MESH.ply]
       [--programs \"ours ours-full cloudcompare meshlab\"] [--nice N]"
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
  --programs) programs="$2"; shift 2 ;;
  --nice) nice_level="$2"; shift 2 ;;
  *) echo "$usage" >&2; exit 2 ;;
  esac
done
mkdir -p "$work"
# One niceness for the harness and all it starts (absolute, whatever the caller's was).
renice -n "$nice_level" -p $$ >/dev/null
[ "$runs" -ge 5 ] || echo "note: $runs runs; figures want at least 5" >&2
read -r -a progs <<<"$programs"

# --- what the harness needs, installed when missing --------------------------------------
need=()
for p in cloudcompare meshlab xdotool imagemagick xvfb xauth mesa-utils libx11-dev g++ python3; do
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
unset XDG_CONFIG_HOME
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# ours-full: the largest frame budget its settings take, so a drag never thins the model.
mkdir -p "$work/home-ours-full/.config/VelmoraViewer"
printf '[View]\nFrameBudgetMs=10000\n' >"$work/home-ours-full/.config/VelmoraViewer/VelmoraViewer.conf"
xvfb_pid="" app_pid=""
cleanup() {
  for p in $app_pid $xvfb_pid; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

# -noreset: without it the server resets when its last client leaves, which puts the
# pointer back in the middle of the screen, inside the views.
start_xvfb() {
  local fifo="$work/display.$$"
  rm -f "$fifo"
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
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

# Where the pointer rests between drags: the bottom right corner, outside every view.
park_x=1599 park_y=1199
# Windows whose only answer is Return: the peers' file dialogs.
dismiss='^(Ply File Open|PLY|Open PLY|Import)'

# Settles the box and prints: seconds from T0 to the first sight of the final picture, the
# process's peak memory then (MiB), and the final picture's hash.
settle() { # x y pid quiet_ms timeout_s t0 window width height
  "$watch" settle "$1" "$2" 600 360 "$3" "$4" "$5" "$dismiss" "$7" "$8" "$9" \
    >"$work/settle.txt" 2>>"$work/settle-log.txt"
  python3 - "$work/settle.txt" "$6" <<'EOF2'
import sys
rows = [l.split() for l in open(sys.argv[1]) if l[0].isdigit()]
final = rows[-1][1]
first = next(r for r in rows if r[1] == final)
print("%.3f %.1f %s" % ((int(first[0]) - int(sys.argv[2])) / 1e9, int(first[2]) / 1024, final))
EOF2
}

# What differs between the programs, and only that: the file, the launch, the window's name,
# the rotate button, the window size that makes the 3D view 900 x 600 (0 0: as it opens) and
# where the view sits in the window.
program() { # prog set -> sets file cmd pattern button ww wh dx dy
  local prog=$1 set=$2
  case "$prog" in
  ours | ours-full)
    file="$work/$set.ses" cmd=(env HOME="$work/home-$prog" "$viewer" "$file")
    pattern='^VelmoraViewer' button=3 ww=0 wh=0 dx=4 dy=72 ;;
  cloudcompare)
    file="$work/$set.ply" cmd=(env HOME="$work/home-$prog" CloudCompare "$file")
    pattern='^CloudCompare v.*3D View' button=1 ww=1262 wh=827 dx=321 dy=62 ;; # not its splash
  meshlab)
    file="$work/$set.ply" cmd=(env HOME="$work/home-$prog" meshlab "$file")
    pattern='^MeshLab' button=1 ww=1319 wh=709
    dx=1 dy=72 ;;
  *) echo "unknown program $prog" >&2; return 1 ;;
  esac
}

run_one() { # program set run -> one row of runs.tsv
  local prog=$1 set=$2 run=$3 file pattern button ww wh dx dy cmd=()
  program "$prog" "$set"
  mkdir -p "$work/home-$prog"
  cat "$file" >/dev/null # the same warm page cache for all
  start_xvfb
  local pointer
  pointer=$("$watch" pointer "$park_x" "$park_y" 0 0 | tr ' ' ,)
  local loads t0 win X Y W H
  loads=$(cut -d' ' -f1-3 /proc/loadavg | tr ' ' /)
  t0=$(now)
  "${cmd[@]}" >"$work/log-$prog-$set-$run.txt" 2>&1 &
  app_pid=$!
  if ! read -r win X Y W H < <("$watch" window 0 0 0 0 "$app_pid" "$pattern" 120); then
    echo "$prog $set: no window" >&2
    stop_pid "$app_pid"; app_pid=""; stop_pid "$xvfb_pid"; xvfb_pid=""
    return 1
  fi
  # The same placing for all: to the top left corner, at the program's size.
  read -r win X Y W H < <("$watch" place 0 0 "$ww" "$wh" "$win")
  local vx=$((X + dx)) vy=$((Y + dy))
  local bx=$((vx + 150)) by=$((vy + 120))
  local ff hwm_ff hash_ff
  read -r ff hwm_ff hash_ff < <(settle "$bx" "$by" "$app_pid" 4000 600 "$t0" "$win" "$W" "$H")
  # The pointer at the first frame, and whether it is outside the view.
  local at outside=yes px py
  at=$(xdotool getmouselocation 2>/dev/null | sed -n 's/x:\([0-9]*\) y:\([0-9]*\).*/\1,\2/p')
  IFS=, read -r px py <<<"$at"
  if [ "$px" -ge "$vx" ] && [ "$px" -lt $((vx + 900)) ] && [ "$py" -ge "$vy" ] &&
    [ "$py" -lt $((vy + 600)) ]; then outside=no; fi
  "$watch" grab 0 0 1600 1200 "$work/shot-$prog-$set-$run.ppm" >/dev/null

  # Dragging: 4 px steps every 20 ms, 40 px each way, about 6 s; counted over 5 s. One
  # xdotool process runs the whole drag and parks the pointer again after the release.
  local cx=$((vx + 450)) cy=$((vy + 300)) steps=() k off=0 dir=4
  steps=(mousemove "$cx" "$cy" sleep 1 mousedown "$button" sleep 0.1)
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
  steps+=(mouseup "$button" mousemove "$park_x" "$park_y")
  xdotool "${steps[@]}" &
  local drag_pid=$!
  sleep 1.6
  # One picture in the middle of the drag, to check by eye that the model turns.
  (sleep 2.5; "$watch" grab 0 0 1600 1200 "$work/shot-$prog-$set-$run-drag.ppm" >/dev/null) &
  local grab_pid=$!
  local changes seconds fps watch_cpu
  read -r _ changes _ _ _ seconds _ watch_cpu < <("$watch" count "$bx" "$by" 600 360 5 10)
  wait "$drag_pid" "$grab_pid"
  fps=$(python3 -c "print('%.2f' % ($changes / $seconds))")

  # After the release: the settled frame, and for ours a still frame drawn without motion.
  local still=- after redraw
  read -r _ _ after < <(settle "$bx" "$by" "$app_pid" 2000 120 "$(now)" "$win" "$W" "$H")
  "$watch" grab 0 0 1600 1200 "$work/shot-$prog-$set-$run-after.ppm" >/dev/null
  local turned=no
  [ "$after" != "$hash_ff" ] && turned=yes
  if [ "$prog" = ours ] || [ "$prog" = ours-full ]; then
    xdotool mousemove "$cx" "$cy" click 2 mousemove "$park_x" "$park_y"
    read -r _ _ redraw < <(settle "$bx" "$by" "$app_pid" 2000 120 "$(now)" "$win" "$W" "$H")
    [ "$after" = "$redraw" ] && still=same || still=different
  fi
  local hwm_end load1 niceness
  hwm_end=$(awk '/^VmHWM:/ {printf "%.1f", $2 / 1024}' "/proc/$app_pid/status")
  niceness=$(awk '{sub(/.*\) /, ""); print $17}' "/proc/$app_pid/stat")
  load1=$(cut -d' ' -f1 /proc/loadavg)
  stop_pid "$app_pid"; app_pid=""
  stop_pid "$xvfb_pid"; xvfb_pid=""
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$prog" "$set" "$run" \
    "$ff" "$hwm_ff" "$fps" "$hwm_end" "$still" "$turned" "$loads" "$load1" "$niceness" \
    "$pointer" "$at" "$outside" "$watch_cpu" | tee -a "$work/runs.tsv"
}

# --- versions and machine ---------------------------------------------------------------
start_xvfb
mesa=$(glxinfo -B 2>/dev/null | sed -n 's/^ *OpenGL version string: //p' | head -1)
renderer=$(glxinfo -B 2>/dev/null | sed -n 's/^ *OpenGL renderer string: //p' | head -1)
stop_pid "$xvfb_pid"; xvfb_pid=""
{
  echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)"
  echo "ours: $("$viewer" --version 2>/dev/null | head -1) ($(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo '?'), $(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt") build)"
  echo "peers: CloudCompare $(dpkg-query -W -f='${Version}' cloudcompare), MeshLab $(dpkg-query -W -f='${Version}' meshlab) (Debian)"
  echo "OpenGL: $renderer, $mesa"
  echo "geometry: mesh $mesh_points points ($(stat -Lc %s "$work/mesh.ses") B .ses, $(stat -Lc %s "$work/mesh.ply") B .ply), cloud $cloud_points points ($(stat -Lc %s "$work/cloud.ses") B .ses)"
  [ -s "$scan" ] && echo "scan: $(readlink "$work/scan.ses") from $scan"
  echo "niceness of every process: $nice_level; runs: $runs; programs: ${progs[*]}"
  echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
} >"$work/versions.txt"
cat "$work/versions.txt"

# Warm-up, not counted: first starts (font caches, settings) of every program.
printf 'prog\tset\trun\tfirst_frame_s\tpeak_at_first_MiB\tfps\tpeak_end_MiB\tstill\tturned\tload_start_1_5_15\tload_end\tnice\tparked_at\tpointer_at_first\tpointer_outside\twatch_cpu_s\n' >"$work/runs.tsv"
for prog in "${progs[@]}"; do run_one "$prog" warm 0 >/dev/null || true; done
sed -i '/\twarm\t/d' "$work/runs.tsv"

# The order turns by one program each run.
n=${#progs[@]}
for run in $(seq 1 "$runs"); do
  for set in "${sets[@]}"; do
    for ((i = 0; i < n; ++i)); do
      run_one "${progs[$(((i + run - 1) % n))]}" "$set" "$run" || true
    done
  done
done

# --- medians and ratios -------------------------------------------------------------------
python3 - "$work/runs.tsv" "$work/versions.txt" >"$work/results.md" <<'EOF2'
import csv, statistics, sys
rows = list(csv.DictReader(open(sys.argv[1]), delimiter="\t"))
progs = list(dict.fromkeys(r["prog"] for r in rows))
peers = [p for p in progs if not p.startswith("ours")]
def med(prog, s, key):
    v = [float(r[key]) for r in rows if r["prog"] == prog and r["set"] == s]
    return statistics.median(v) if v else float("nan")
print("```")
print(open(sys.argv[2]).read().rstrip())
print("```")
print()
print("Medians per program. fps: distinct frames per second while dragging; \"ours\" draws a")
print("coarse picture while the button is held when a full frame is over its budget, \"ours-full\"")
print("draws everything, as the peers do: compare the peers' fps with ours-full.")
print()
print("| set | measure | " + " | ".join(progs) + " | " +
      " | ".join("%s / %s" % (o, p) for p in peers for o in progs if o.startswith("ours")) + " |")
print("|---|---|" + "---|" * (len(progs) + sum(1 for p in peers for o in progs if o.startswith("ours"))))
names = {"first_frame_s": "open to first frame, s", "peak_at_first_MiB": "peak RSS at first frame, MiB",
         "fps": "fps while dragging", "peak_end_MiB": "peak RSS over the run, MiB"}
for s in ("mesh", "cloud", "scan"):
    if not any(r["set"] == s for r in rows):
        continue
    for key in ("first_frame_s", "peak_at_first_MiB", "fps", "peak_end_MiB"):
        vals = {p: med(p, s, key) for p in progs}
        ratios = []
        for p in peers:
            for o in progs:
                if o.startswith("ours"):
                    ratios.append("%.2fx" % (vals[o] / vals[p]) if vals[p] else "-")
        print("| %s | %s | %s | %s |" % (s, names[key], " | ".join("%.2f" % vals[p] for p in progs),
                                         " | ".join(ratios)))
    for o in progs:
        if o.startswith("ours"):
            still = [r["still"] for r in rows if r["prog"] == o and r["set"] == s]
            print("| %s | %s: frame after release equals a still frame | %s |" % (s, o, ", ".join(still)) +
                  " |" * (len(progs) - 1 + len(peers) * sum(1 for x in progs if x.startswith("ours"))))
    print("| %s | the drag turned the model | %s |" % (s, " | ".join(
        ", ".join(r["turned"] for r in rows if r["prog"] == p and r["set"] == s) for p in progs)) +
          " |" * (len(peers) * sum(1 for x in progs if x.startswith("ours"))))
print()
runs = {p: sum(1 for r in rows if r["prog"] == p) for p in progs}
print("Runs per program (all sets): %s." % ", ".join("%s %d" % kv for kv in runs.items()))
print("Load average (1 min) at the runs' starts: %s to %s; niceness: %s; pointer outside the view"
      " at every first frame: %s; watcher CPU while counting: %s to %s s per 5 s." % (
    min(float(r["load_start_1_5_15"].split("/")[0]) for r in rows),
    max(float(r["load_start_1_5_15"].split("/")[0]) for r in rows),
    ", ".join(sorted(set(r["nice"] for r in rows))),
    "yes" if all(r["pointer_outside"] == "yes" for r in rows) else "no",
    min(float(r["watch_cpu_s"]) for r in rows), max(float(r["watch_cpu_s"]) for r in rows)))
EOF2
cat "$work/results.md"
