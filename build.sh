#!/usr/bin/env bash
# One entry for building, running and testing Panvester.
#   ./build.sh run    build everything, pack the sample under examples/ and start it under Wine
#   ./build.sh test   build everything and run every test (native, under Wine, fuzz targets,
#                     the walk under ThreadSanitizer)
#   ./build.sh build  only build (host tree, then the Windows tree)
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
out=${PV_BUILD_DIR:-$root/build}
jobs=$(nproc)

deps() { "$root/scripts/setup-debian.sh"; }

build_host() {
  cmake -S "$root" -B "$out/host" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$out/host" -j "$jobs"
}

# Wine runs 32-bit programs only where the kernel can; elsewhere the tests and the sample run
# use an x86_64 build of the same sources. The 32-bit tree builds its tests either way, so
# what only the 32-bit compiler refuses shows up; CTest runs only the tree that can run.
wine32_works() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
wine_tree() { if wine32_works; then echo win32; else echo win64; fi; }

build_cross() { # tree toolchain tests
  cmake -S "$root" -B "$out/$1" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2.cmake" -DPV_HOST_TOOLS_DIR="$out/host" \
    -DPV_WINE_TESTS="$3" >/dev/null
  cmake --build "$out/$1" -j "$jobs"
}

build_win32() {
  build_cross win32 mingw-i686 ON
  if ! wine32_works; then build_cross win64 mingw-x86_64 ON; fi
}

build_fuzz() {
  CC=clang CXX=clang++ cmake -S "$root" -B "$out/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DPV_FUZZ=ON -DPV_FUZZ_SECONDS="${PV_FUZZ_SECONDS:-15}" >/dev/null
  cmake --build "$out/fuzz" -j "$jobs"
}

build_tsan() {
  CC=clang CXX=clang++ cmake -S "$root" -B "$out/tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPV_TSAN=ON >/dev/null
  cmake --build "$out/tsan" -j "$jobs" --target pv_walk_tsan_tests
}

build_all() { deps; build_host; build_win32; }

case "${1:-}" in
  build) build_all ;;
  run)
    build_all
    "$root/scripts/run-sample.sh" "$out" "$(wine_tree)"
    ;;
  test)
    build_all
    build_fuzz
    build_tsan
    tree=$(wine_tree)
    "$root/scripts/wine-prefix.sh" "$out/$tree/wine-template"
    # One CTest run over the three trees, so its summary line closes the output.
    printf 'subdirs("host" "%s" "fuzz" "tsan")\n' "$tree" > "$out/CTestTestfile.cmake"
    cd "$out"
    # Each Windows test starts an X server of its own (scripts/wine-run.sh).
    ctest --output-on-failure -j "$jobs" --timeout 600
    ;;
  *)
    sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
