#!/usr/bin/env bash
# Fails when a C++ source file differs from what clang-format makes of it.
# Usage: scripts/check-format.sh [clang-format binary] [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."
formatter=${1:-clang-format}
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | while read -r f; do [[ -f "$f" ]] && echo "$f"; done)
if [[ ${2:-} == --fix ]]; then
    "$formatter" -i "${files[@]}"
    exit 0
fi
"$formatter" --dry-run --Werror "${files[@]}"
echo "format check: ${#files[@]} files formatted"
