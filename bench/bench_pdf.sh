#!/usr/bin/env bash
# Times the headless PDF commands on a generated session file, as a user runs them: the
# inspection report, and the 3D PDF against the U3D export of the same file (each run in a
# fresh process, the three commands taking turns). Prints every run and the medians.
#
#   bench/bench_pdf.sh [BUILD_DIR] [POINTS] [RUNS]     (defaults: build 1000000 5)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
points="${2:-1000000}"
runs="${3:-5}"
viewer="$build/src/app/velmora-viewer"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
# The U3D export's listing (hundreds of MB of text) stays in the scratch folder.
export XDG_CACHE_HOME="$scratch/cache"
"$build/tools/make-session" --synthetic --points "$points" --out "$scratch/bench.ses" >/dev/null

declare -A wall cpu
for ((i = 1; i <= runs; i++)); do
  for cmd in report u3d pdf; do
    case $cmd in
      report) args=(--report "$scratch/report.pdf") ;;
      u3d) args=(--export "$scratch/model.u3d") ;;
      pdf) args=(--export "$scratch/model.pdf") ;;
    esac
    t=$( { /usr/bin/time -f "%e %U %S" "$viewer" "${args[@]}" "$scratch/bench.ses" >/dev/null; } 2>&1 | tail -n 1)
    read -r w u s <<<"$t"
    c=$(awk -v u="$u" -v s="$s" 'BEGIN {print u + s}')
    echo "run $i $cmd: wall $w s, cpu $c s (user $u, sys $s)"
    wall[$cmd]+="$w "
    cpu[$cmd]+="$c "
  done
done
median() { tr ' ' '\n' <<<"$1" | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for cmd in report u3d pdf; do
  echo "median $cmd: wall $(median "${wall[$cmd]}") s, cpu $(median "${cpu[$cmd]}") s"
done
awk -v p="$(median "${wall[pdf]}")" -v u="$(median "${wall[u3d]}")" 'BEGIN {printf "pdf / u3d (median wall): %.2f\n", p / u}'
ls -l "$scratch"/report.pdf "$scratch"/model.u3d "$scratch"/model.pdf | awk '{print $5, $9}'
