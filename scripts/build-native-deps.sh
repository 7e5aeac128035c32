#!/usr/bin/env bash
# Builds llama.cpp (with ggml) and whisper.cpp against that one ggml into a
# prefix keyed by the pinned versions, the build options and the CPU (native
# builds use its instruction set). The sources come from two pinned npm
# registry packages. The prefix lives in the user's cache directory so every
# checkout on the machine reuses it; the git-ignored link .deps/current points
# at it.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
WHISPER_NPM="nodejs-whisper@0.3.1"
LLAMA_NPM="node-llama-cpp@3.21.1"
GGML_NATIVE=${GGML_NATIVE:-ON}
GGML_CUDA=${GGML_CUDA:-OFF}
BUILD_TYPE=Release

cpu=$(grep -m1 '^flags' /proc/cpuinfo | sha1sum | cut -c1-10)
key="whisper-0.3.1_llama-3.21.1_native-${GGML_NATIVE}_cuda-${GGML_CUDA}_static-pic_cpu-${cpu}"
cache=${MURMEX_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/murmex-native-deps}
prefix="$cache/$key"
stamp="$prefix/.complete"
deps="$root/.deps"
mkdir -p "$deps"

if [[ -f "$stamp" ]]; then
    echo "native dependencies: reusing $prefix"
    ln -sfn "$prefix" "$deps/current"
    exit 0
fi

# Keep git (run by the libraries' build scripts for version stamps) out of
# any repository around the prefix.
export GIT_CEILING_DIRECTORIES="$cache"

jobs=$(nproc)
work="$cache/work-$key"
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix"
cd "$work"

echo "native dependencies: fetching $WHISPER_NPM and $LLAMA_NPM"
npm pack --silent "$WHISPER_NPM" "$LLAMA_NPM" >/dev/null
mkdir whisper-pkg llama-pkg
tar xzf nodejs-whisper-0.3.1.tgz -C whisper-pkg
tar xzf node-llama-cpp-3.21.1.tgz -C llama-pkg package/llama/gitRelease.bundle
git -c advice.detachedHead=false clone --quiet llama-pkg/package/llama/gitRelease.bundle llama.cpp

common=(
    -DCMAKE_BUILD_TYPE=$BUILD_TYPE
    -DCMAKE_INSTALL_PREFIX="$prefix"
    -DCMAKE_PREFIX_PATH="$prefix"
    -DBUILD_SHARED_LIBS=OFF
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON
)

echo "native dependencies: building llama.cpp and ggml"
cmake -S llama.cpp -B build-llama -G Ninja "${common[@]}" \
    -DGGML_NATIVE=$GGML_NATIVE -DGGML_CUDA=$GGML_CUDA \
    -DLLAMA_BUILD_TESTS=OFF -DLLAMA_BUILD_EXAMPLES=OFF -DLLAMA_BUILD_TOOLS=OFF \
    -DLLAMA_BUILD_SERVER=OFF -DLLAMA_BUILD_COMMON=OFF -DLLAMA_BUILD_APP=OFF \
    -DLLAMA_OPENSSL=OFF -DLLAMA_CURL=OFF >build-llama.log
cmake --build build-llama -j "$jobs" >>build-llama.log
cmake --install build-llama >>build-llama.log

# Tokenizer-only GGUF files used by the tests to build small language models.
mkdir -p "$prefix/share/llama-vocab"
cp llama.cpp/models/ggml-vocab-qwen2.gguf "$prefix/share/llama-vocab/"

echo "native dependencies: building whisper.cpp against the same ggml"
cmake -S whisper-pkg/package/cpp/whisper.cpp -B build-whisper -G Ninja "${common[@]}" \
    -DWHISPER_USE_SYSTEM_GGML=ON \
    -DWHISPER_BUILD_TESTS=OFF -DWHISPER_BUILD_EXAMPLES=OFF -DWHISPER_BUILD_SERVER=OFF \
    -DWHISPER_SDL2=OFF -DWHISPER_CURL=OFF >build-whisper.log
cmake --build build-whisper -j "$jobs" >>build-whisper.log
cmake --install build-whisper >>build-whisper.log

# whisper-config.cmake insists that its bin directory exists.
mkdir -p "$prefix/bin"
touch "$stamp"
ln -sfn "$prefix" "$deps/current"
cd "$root"
rm -rf "$work"
echo "native dependencies: installed into $prefix"
