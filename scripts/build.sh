#!/usr/bin/env bash
# Configures and builds one build tree.
#   scripts/build.sh [--tests] release [TARGET...]   build/       g++, warnings as errors
#   scripts/build.sh [--tests] asan [TARGET...]      build-asan/  clang, ASan+UBSan, libFuzzer targets
#   scripts/build.sh tsan                            build-tsan/  the SDK and job-engine thread tests, ThreadSanitizer
#   scripts/build.sh nogui                           build-nogui/ g++, ORVANTIX_GUI=OFF: the command line,
#                                                    the libraries and the simulator without any window code
# --tests switches the test programs on in that tree (they stay on); without
# targets everything configured is built, `product` is what an installation
# holds. The release tree installs into /usr (`cmake --install build`).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
options=()
if [ "${1:-}" = "--tests" ]; then
  options+=(-DORVANTIX_BUILD_TESTS=ON)
  shift
fi
kind="${1:-release}"
[ $# -gt 0 ] && shift
targets=()
for t in "$@"; do targets+=(--target "$t"); done
jobs="$(nproc)"

# A compiler cache, when present, makes a rebuild of an unchanged file free,
# also across checkouts of the same tree in other directories.
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$repo")}" CCACHE_NOHASHDIR=1
  options+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

src="$repo"
case "$kind" in
  release)
    dir="$repo/build"
    # The compiler is chosen once, when the tree is first configured; naming
    # it again on later runs would make CMake drop the other settings.
    [ -f "$dir/CMakeCache.txt" ] || export CC=gcc CXX=g++
    # Line tables only: backtraces keep their files and lines at a quarter
    # less compile time than full debug information (build-asan has that).
    options+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
              "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
              "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")
    ;;
  asan)
    dir="$repo/build-asan"
    [ -f "$dir/CMakeCache.txt" ] || export CC=clang CXX=clang++
    # Assertions on and optimised a little, as the sanitizers and libFuzzer
    # are meant to be used: -O1 keeps every check and readable stacks, and
    # unoptimised code runs the fuzz targets several times slower.
    options+=(-DCMAKE_BUILD_TYPE=Debug -DORVANTIX_SANITIZE=ON -DORVANTIX_FUZZ=ON
              "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g -fno-omit-frame-pointer"
              "-DCMAKE_C_FLAGS_DEBUG=-O1 -g -fno-omit-frame-pointer")
    ;;
  nogui)
    dir="$repo/build-nogui"
    [ -f "$dir/CMakeCache.txt" ] || export CC=gcc CXX=g++
    options+=(-DORVANTIX_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
              "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
              "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")
    ;;
  tsan)
    # A project of its own: ThreadSanitizer cannot share a build with ASan.
    src="$repo/tests/unit/qvipcsdk/tsan"
    dir="$repo/build-tsan"
    [ -f "$dir/CMakeCache.txt" ] || export CC=clang CXX=clang++
    ;;
  *)
    echo "build.sh: unknown build kind '$kind' (release, asan, tsan or nogui)" >&2
    exit 2
    ;;
esac
cmake -S "$src" -B "$dir" -G Ninja -DORVANTIX_WERROR=ON "${options[@]}" >/dev/null
cmake --build "$dir" -j "$jobs" "${targets[@]}"
