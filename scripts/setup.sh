#!/usr/bin/env bash
# Sets up a fresh Debian machine for Pennaform and runs one job:
#   scripts/setup.sh demo    install what is missing, build the command, run `pennaform demo`
#   scripts/setup.sh test    install, check the layering (scripts/check-layers.sh)
#                            and the formatting, build, run every test, build
#                            everything again with clang; then build and run
#                            them all again under AddressSanitizer and
#                            UndefinedBehaviorSanitizer, and smoke-run the fuzzers
#   scripts/setup.sh build   install and build only
set -euo pipefail
cd "$(dirname "$0")/.."

job=${1:-build}
jobs=$(nproc)

packages=(
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-dev
  libssl-dev openssl gnutls-bin libsqlite3-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev valgrind time
  tzdata python3 libboost-dev
  libgtk-4-dev fonts-noto-cjk xvfb xauth
  chromium
)
# Node.js and npm may come from elsewhere than Debian (a machine's own
# Node.js carries its npm, which Debian's npm package conflicts with):
# install them only where the commands are missing.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

configure() {  # configure DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPENNAFORM_WERROR=ON "$@" >/dev/null
}

build() {  # build DIR [cmake options...]: everything, tests included
  configure "$@"
  cmake --build "$1" -j "$jobs"
}

run_tests() {  # run_tests DIR
  ctest --test-dir "$1" --output-on-failure -j "$jobs" --timeout 900
}

install_missing
case "$job" in
  build)
    build build
    ;;
  demo)
    # Only what the demo runs: the command and the test CA it issues with.
    configure build
    cmake --build build -j "$jobs" --target pennaform_cli pennaform-testca
    ./build/cli/pennaform demo
    ;;
  test)
    echo "setup: the layering of src/"
    scripts/check-layers.sh
    echo "setup: the formatting of the sources (.clang-format)"
    find src cli include tests fuzz bench -name '*.cpp' -o -name '*.h' -o -name '*.c' |
      xargs clang-format --dry-run -Werror
    build build
    run_tests build
    echo "setup: everything built again with clang, warnings as errors"
    CC=clang CXX=clang++ build build-clang
    echo "setup: the whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer"
    build build-asan -DPENNAFORM_SANITIZE=ON -DPENNAFORM_BENCH=OFF
    ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      run_tests build-asan
    echo "setup: fuzz targets, a short run each"
    scripts/fuzz.sh 20
    ;;
  *)
    echo "usage: scripts/setup.sh demo|test|build" >&2
    exit 2
    ;;
esac
