#!/usr/bin/env bash
# Builds the application and starts it. Arguments are passed to it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MURMEX_BUILD_DIR:-$root/build}

"$root/scripts/build.sh"
exec "$build/src/murmex" "$@"
