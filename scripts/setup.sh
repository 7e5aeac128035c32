#!/usr/bin/env bash
# Installs everything the project needs on Debian 12: the packages listed in
# scripts/debian-packages.txt and the whisper.cpp / llama.cpp build in .deps/.
# Both steps do nothing when already done.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

mapfile -t packages < <(grep -v -e '^#' -e '^\s*$' "$root/scripts/debian-packages.txt")

missing=()
for package in "${packages[@]}"; do
    # node and npm may come from elsewhere than Debian's packages.
    if [[ $package == nodejs || $package == npm ]] && command -v "${package/nodejs/node}" >/dev/null; then
        continue
    fi
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} > 0)); then
    sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        sudo=(sudo)
    fi
    echo "setup: installing ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

"$root/scripts/build-native-deps.sh"
