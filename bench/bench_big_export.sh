#!/bin/bash
# Peak memory and wall time of the command-line exports of one session file, binaries taking
# turns run by run. Usage: bench/bench_big_export.sh SESSION RUNS VIEWER [VIEWER...]
# FORMATS (default "wrl u3d pdf") names the suffixes exported, e.g. FORMATS=glb.
# Prints one line per run: binary, format, load average, wall seconds, user+sys seconds,
# maximum resident size in MiB. The U3D listing goes to a scratch cache folder.
set -u
session=$1 runs=$2
shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_CACHE_HOME=$scratch/cache XDG_RUNTIME_DIR=$scratch/run QT_QPA_PLATFORM=xcb
export LIBGL_ALWAYS_SOFTWARE=1
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
printf '%-28s %-4s %-6s %8s %8s %9s\n' binary fmt load wall_s cpu_s maxrss_MiB
for ((run = 1; run <= runs; ++run)); do
  for fmt in ${FORMATS:-wrl u3d pdf}; do
    for viewer in "$@"; do
      out=$scratch/out.$fmt
      load=$(cut -d' ' -f1 /proc/loadavg)
      wrap=()
      [[ $fmt == pdf ]] && wrap=(xvfb-run -a -s "-screen 0 1600x1200x24")
      "${wrap[@]}" /usr/bin/time -v -o "$scratch/time" "$viewer" --export "$out" "$session" \
        >/dev/null 2>"$scratch/err" || { echo "$viewer $fmt failed:"; cat "$scratch/err"; }
      wall=$(awk -F': ' '/Elapsed/ {n = split($2, t, ":"); s = 0;
        for (i = 1; i <= n; ++i) s = s * 60 + t[i]; print s}' "$scratch/time")
      cpu=$(awk -F': ' '/User time/ {u = $2} /System time/ {s = $2} END {print u + s}' \
        "$scratch/time")
      rss=$(awk -F': ' '/Maximum resident/ {printf "%.1f", $2 / 1024}' "$scratch/time")
      printf '%-28s %-4s %-6s %8s %8s %9s\n' "$(basename "$viewer")" "$fmt" "$load" "$wall" \
        "$cpu" "$rss"
      [[ -n ${KEEP_OUTPUT:-} ]] && cp "$out" "$KEEP_OUTPUT.$(basename "$viewer").$fmt"
      rm -f "$out"
    done
  done
done
