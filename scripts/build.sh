#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR): everything, or only the targets named in
# $BUILD_TARGET (separated by spaces).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)" ${BUILD_TARGET:+--target $BUILD_TARGET}
