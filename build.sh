#!/usr/bin/env bash
# One entry for building, running and testing Panvester.
#   ./build.sh run    build everything, pack the sample under examples/ and start it under Wine
#   ./build.sh test   build everything and run every test (native, under Wine, fuzz targets)
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

build_win32() {
  cmake -S "$root" -B "$out/win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DPV_HOST_TOOLS_DIR="$out/host" >/dev/null
  cmake --build "$out/win32" -j "$jobs"
}

build_fuzz() {
  CC=clang CXX=clang++ cmake -S "$root" -B "$out/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DPV_FUZZ=ON -DPV_FUZZ_SECONDS="${PV_FUZZ_SECONDS:-15}" >/dev/null
  cmake --build "$out/fuzz" -j "$jobs"
}

build_all() { deps; build_host; build_win32; }

case "${1:-}" in
  build) build_all ;;
  run)
    build_all
    "$root/scripts/run-sample.sh" "$out"
    ;;
  test)
    build_all
    build_fuzz
    "$root/scripts/wine-prefix.sh" "$out/win32/wine-template"
    # One CTest run over the three trees, so its summary line closes the output.
    printf 'subdirs("host" "win32" "fuzz")\n' > "$out/CTestTestfile.cmake"
    cd "$out"
    xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure -j "$jobs" --timeout 600
    ;;
  *)
    sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
