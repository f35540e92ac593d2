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
    cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DORVANTIX_WERROR=ON >/dev/null
    ;;
  asan)
    dir="$repo/build-asan"
    cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DORVANTIX_WERROR=ON -DORVANTIX_SANITIZE=ON -DORVANTIX_FUZZ=ON >/dev/null
    ;;
  *)
    echo "build.sh: unknown build kind '$kind' (release or asan)" >&2
    exit 2
    ;;
esac
cmake --build "$dir" -j "$jobs"
