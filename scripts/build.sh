#!/usr/bin/env bash
# Configures and builds one build tree.
#   scripts/build.sh release   build/       g++, warnings as errors
#   scripts/build.sh asan      build-asan/  clang, ASan+UBSan, libFuzzer targets
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
kind="${1:-release}"
jobs="$(nproc)"

case "$kind" in
  release)
    dir="$repo/build"
    # The compiler is chosen once, when the tree is first configured; naming
    # it again on later runs would make CMake drop the other settings.
    [ -f "$dir/CMakeCache.txt" ] || export CC=gcc CXX=g++
    cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DORVANTIX_WERROR=ON >/dev/null
    ;;
  asan)
    dir="$repo/build-asan"
    [ -f "$dir/CMakeCache.txt" ] || export CC=clang CXX=clang++
    cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DORVANTIX_WERROR=ON -DORVANTIX_SANITIZE=ON -DORVANTIX_FUZZ=ON >/dev/null
    ;;
  *)
    echo "build.sh: unknown build kind '$kind' (release or asan)" >&2
    exit 2
    ;;
esac
cmake --build "$dir" -j "$jobs"
