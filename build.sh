#!/usr/bin/env bash
# ./build.sh demo   build lfswap and convert the bundled sample
# ./build.sh test   build everything and run every test
# Installs what is missing with apt-get when run as root on Debian.
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ libgtest-dev)
missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v ninja >/dev/null || missing+=(ninja-build)
command -v g++ >/dev/null || missing+=(g++)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
  else
    echo "build.sh: please install: ${missing[*]} (Debian: apt-get install ${packages[*]})" >&2
    exit 1
  fi
fi

build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build"

case "${1:-test}" in
demo)
  mkdir -p "$build/demo"
  "$build/lfswap" examples/sample-unix.txt "$build/demo/sample-dos.txt"
  echo
  echo "Converted examples/sample-unix.txt (LF) into $build/demo/sample-dos.txt (CR LF)."
  ;;
test)
  ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
  ;;
*)
  echo "usage: ./build.sh demo|test" >&2
  exit 2
  ;;
esac
