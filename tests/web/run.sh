#!/bin/sh
# The shared exports checked by outside readers: MODE "gltf" validates the glTF binaries,
# "page" opens the web pages in headless Chromium. Exits 77 (skipped) when a tool is missing.
# usage: run.sh gltf|page VIEWER MAKE_SESSION SOURCE_DIR
mode="$1"; viewer="$2"; maker="$3"; src="$4"
here="$(cd "$(dirname "$0")" && pwd)"
if ! command -v node >/dev/null 2>&1; then
  echo "SKIP: node is not installed"; exit 77
fi
if [ ! -d "$here/node_modules/gltf-validator" ]; then
  echo "SKIP: tests/web/node_modules is missing (run npm ci in tests/web)"; exit 77
fi
if [ "$mode" = page ] && ! command -v chromium >/dev/null 2>&1; then
  echo "SKIP: chromium is not installed"; exit 77
fi
exec node "$here/check.mjs" "$mode" "$viewer" "$maker" "$src"
