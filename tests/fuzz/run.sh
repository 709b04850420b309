#!/usr/bin/env bash
# Builds the reader fuzz targets with clang into build-fuzz and runs each for a few seconds
# from its seed corpus; any crash, sanitizer report or leak fails the run. By default the
# run is a fixed number of inputs from a fixed seed, so every machine fuzzes the same inputs
# and a result is reproducible; FUZZ_SECONDS=N explores for N seconds from a random seed.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="${FUZZ_BUILD_DIR:-$here/build-fuzz}"
seconds="${FUZZ_SECONDS:-}"
runs="${FUZZ_RUNS:-200000}"
if [ -n "$seconds" ]; then
  budget=(-max_total_time="$seconds")
  what="${seconds}s"
else
  budget=(-runs="$runs" -seed=1)
  what="$runs inputs, seed 1"
fi
targets=(fuzz_session_reader fuzz_point_text_reader fuzz_mesh_reader fuzz_annotations_reader)

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_FUZZ=ON -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

status=0
for t in "${targets[@]}"; do
  corpus="$here/tests/fuzz/corpus/${t#fuzz_}"
  # New inputs go to a scratch folder, never into the seed corpus in the source tree.
  scratch="$(mktemp -d)"
  mkdir -p "$build/artifacts"
  # A target may come with a dictionary of its format's words.
  dict=()
  [ -f "$here/tests/fuzz/${t#fuzz_}.dict" ] && dict=(-dict="$here/tests/fuzz/${t#fuzz_}.dict")
  echo "== $t ($what)"
  if ! "$build/tests/fuzz/$t" "$scratch" "$corpus" "${budget[@]}" "${dict[@]}" \
      -max_len=65536 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$t-" 2>"$build/$t.log"; then
    tail -n 40 "$build/$t.log"
    echo "$t FAILED (log: $build/$t.log)"
    status=1
  else
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$build/$t.log" || true
  fi
  rm -rf "$scratch"
done
exit $status
