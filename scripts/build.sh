#!/usr/bin/env bash
# Configures and builds the project into build/ (after setup.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MURMEX_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMURMEX_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
