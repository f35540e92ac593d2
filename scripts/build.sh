#!/usr/bin/env bash
# Configures and builds one build tree.
#   scripts/build.sh release   build/       g++, warnings as errors
#   scripts/build.sh asan      build-asan/  clang, ASan+UBSan, libFuzzer targets
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
kind="${1:-release}"
jobs="$(nproc)"

# A compiler cache, when present, makes a rebuild of an unchanged file free,
# also across checkouts of the same tree in other directories.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$repo")}" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

case "$kind" in
  release)
    dir="$repo/build"
    # The compiler is chosen once, when the tree is first configured; naming
    # it again on later runs would make CMake drop the other settings.
    [ -f "$dir/CMakeCache.txt" ] || export CC=gcc CXX=g++
    cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DORVANTIX_WERROR=ON "${launcher[@]}" >/dev/null
    ;;
  asan)
    dir="$repo/build-asan"
    [ -f "$dir/CMakeCache.txt" ] || export CC=clang CXX=clang++
    cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DORVANTIX_WERROR=ON -DORVANTIX_SANITIZE=ON -DORVANTIX_FUZZ=ON "${launcher[@]}" >/dev/null
    ;;
  *)
    echo "build.sh: unknown build kind '$kind' (release or asan)" >&2
    exit 2
    ;;
esac
cmake --build "$dir" -j "$jobs"
