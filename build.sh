#!/usr/bin/env bash
# Set-up, build and run in one place.
#   ./build.sh demo   release build, then the main job on the bundled sample
#   ./build.sh test   format and include checks, sanitizer build, then every test (ThreadSanitizer and
#                     libFuzzer runs too)
#   ./build.sh bench  release build, then every benchmark
#   ./build.sh format the tree's .clang-format applied to every tracked C++ file
# On a Debian machine, as root, the packages the build needs are installed first when missing.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)
export CCACHE_BASEDIR="$root"
export CCACHE_NOHASHDIR=1

packages=(
  cmake ninja-build g++ pkg-config ccache clang-format python3
  libgtest-dev libgmock-dev libbenchmark-dev
  libpixman-1-dev libfreetype-dev libfontconfig-dev fonts-liberation2 fonts-dejavu-core libpng-dev
  libjbig-dev jbigkit-bin liblcms2-dev icc-profiles-free libgs-common ghostscript netpbm libgdk-pixbuf2.0-bin time
  qt6-base-dev qt6-translations-l10n xvfb xauth
)

install_missing() {
  command -v dpkg-query >/dev/null 2>&1 || return 0
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "build.sh: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "build.sh: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# libFuzzer comes with clang; without it the fuzz targets still run through their replay driver.
have_libfuzzer() {
  command -v clang++ >/dev/null 2>&1 || return 1
  echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long){return 0;}' \
    | clang++ -x c++ -fsanitize=fuzzer,address - -o /tmp/fax_fuzz_probe.$$ >/dev/null 2>&1
  local ok=$?
  rm -f /tmp/fax_fuzz_probe.$$
  return $ok
}

build() {
  local preset=$1; shift
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" "$@"
}

case "${1:-}" in
  demo)
    install_missing
    build release
    exec "$root/tools/demo.sh" "$root/build"
    ;;
  test)
    install_missing
    "$root/tools/check/format.sh" --check
    python3 "$root/tools/check/include_cycles.py" "$root"
    build asan
    ctest --preset asan -j "$jobs"
    build tsan
    TSAN_OPTIONS="halt_on_error=1 suppressions=$root/tests/tsan.supp" ctest --preset tsan -j "$jobs" -L threads --no-tests=ignore
    if have_libfuzzer; then
      build fuzz
      ctest --preset fuzz -j "$jobs" -L fuzz-smoke --no-tests=ignore
    else
      echo "build.sh: clang with libFuzzer not found; fuzz targets ran through the replay driver only"
    fi
    ;;
  bench)
    install_missing
    build release
    # One core, so that other work on the machine disturbs the races less; every race's line
    # ("race program/name anchor median p25..p75") goes into the table of bench/README.md.
    pin=()
    command -v taskset >/dev/null 2>&1 && pin=(taskset -c "$((jobs - 1))")
    results=$(mktemp)
    status=0
    for b in "$root"/build/bin/bench_*; do
      [ -x "$b" ] || continue
      "${pin[@]}" "$b" | tee -a "$results" || status=1
    done
    "$root/bench/readme_table.sh" "$results" "$root/bench/README.md"
    rm -f "$results"
    exit $status
    ;;
  format)
    install_missing
    exec "$root/tools/check/format.sh"
    ;;
  *)
    echo "usage: ./build.sh demo|test|bench|format" >&2
    exit 2
    ;;
esac
