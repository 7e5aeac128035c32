#!/usr/bin/env bash
# Builds everything and runs every test. Works on a fresh Debian 12 machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MURMEX_BUILD_DIR:-$root/build}

"$root/scripts/build.sh"
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
