#!/usr/bin/env bash
# ./build.sh [demo|test|native|asan|fuzz|windows|package]: the parts are
# listed in usage() below. As root on Debian it installs the packages its
# part needs first (tools/install-packages.sh); elsewhere it says once which
# are missing.
set -euo pipefail
cd "$(dirname "$0")"

usage() {
  cat >&2 <<'USAGE'
./build.sh demo      build lfswap only and convert the bundled sample
./build.sh test      build everything and run every suite (all of the below)
./build.sh native    the native suite only
./build.sh asan      the native suite under AddressSanitizer and UBSan
./build.sh fuzz      libFuzzer for LFSWAP_FUZZ_SECONDS (60) seconds
./build.sh windows   the Windows builds and their suite under Wine
./build.sh package   the Debian package and the Windows zip, checked
USAGE
  exit 2
}
part=${1:-test}
# The parts of tools/packages.txt that a step needs.
case "$part" in
demo) needed=(build) ;;
test) needed=(build native fuzz windows package) ;;
asan) needed=(build native) ;;
windows) needed=(build native windows) ;;
package) needed=(build package) ;;
native | fuzz) needed=(build "$part") ;;
*) usage ;;
esac
tools/install-packages.sh "${needed[@]}"

build=build # the native build, which the others use (its stamp tool, its suites)

# One build folder: `configure DIR [cmake options]`, warnings as errors,
# a Release build unless the options say otherwise; `configure_windows DIR
# ARCH [options]` the same with mingw-w64 for ARCH (i686, x86_64), stamped
# by the native build's stamp tool.
configure() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DLFSWAP_WERROR=ON -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}
configure_windows() {
  local dir=$1 arch=$2
  shift 2
  configure "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DLFSWAP_STAMP_TOOL="$PWD/$build/lfswap_stamp" "$@"
}

# Whether this machine runs the 32-bit Windows tool under Wine: its
# self-check passes and, with no words, it ends with its usage (status 6).
# Asked once; a kernel without 32-bit program support (Wine's 32-bit loader
# is one) cannot.
runs_pe32="" pe32_status=""
runs_32_bit_windows() {
  if [ -z "$runs_pe32" ]; then
    runs_pe32=no
    if command -v wine >/dev/null && [ -x build-win/lfswap.exe ]; then
      local rc=0
      WINEDEBUG=-all WINEPREFIX="$PWD/build-win/wineprefix" wine build-win/lfswap.exe >/dev/null 2>&1 || rc=$?
      [ "$rc" = 6 ] && runs_pe32=yes
      pe32_status=$rc
    fi
  fi
  [ "$runs_pe32" = yes ]
}

# Every case skipped, a reason a line: the suites' own (GoogleTest prints
# "file:line: Skipped" and the reason on the next line) and this script's.
skip_log=$(mktemp)
trap 'rm -f "$skip_log"' EXIT
skipped() {
  echo "SKIPPED $*"
  echo "$*" >> "$skip_log"
}
skips_in() { awk '/: Skipped$/ { if ((getline reason) > 0) print reason }' "$@" >> "$skip_log"; }

# The count of skipped cases by reason. As root on Debian this script
# installs every package a case needs: a case skipped for one ("missing:")
# is then a fault of the set-up, and fails the run.
report_skips() {
  if [ ! -s "$skip_log" ]; then
    echo "== no case was skipped"
    return 0
  fi
  echo "== skipped cases, by reason"
  sort "$skip_log" | uniq -c | sort -rn
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null && grep -q '^missing:' "$skip_log"; then
    echo "FAILED: cases were skipped for packages or tools that this script installs" >&2
    return 1
  fi
}

# The whole native suite once more with AddressSanitizer and UBSan; any
# finding ends the run (-fno-sanitize-recover).
sanitizer_suite() {
  echo "== the native suite under AddressSanitizer + UndefinedBehaviorSanitizer"
  configure build-asan -DLFSWAP_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-asan
  LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
  skips_in build-asan/Testing/Temporary/LastTest.log
}

# libFuzzer over detection, every kernel and the chunk loop, for a fixed
# time from the checked-in seeds.
fuzz_run() {
  if ! command -v clang++ >/dev/null; then
    skipped "missing: clang, for the fuzz run (apt-get install clang libclang-rt-14-dev)"
    return 0
  fi
  echo "== fuzzing for ${LFSWAP_FUZZ_SECONDS:-60} s"
  CC=clang CXX=clang++ configure build-fuzz -DLFSWAP_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-fuzz --target lfswap_fuzz
  mkdir -p build-fuzz/corpus build-fuzz/findings
  if ! build-fuzz/tests/fuzz/lfswap_fuzz -max_total_time="${LFSWAP_FUZZ_SECONDS:-60}" -close_fd_mask=1 -print_final_stats=1 \
      -artifact_prefix=build-fuzz/findings/ build-fuzz/corpus tests/fuzz/corpus > build-fuzz/fuzz.log 2>&1; then
    tail -n 60 build-fuzz/fuzz.log
    echo "FAILED: the fuzzer found a fault; the input is in build-fuzz/findings/" >&2
    return 1
  fi
  grep -E "^Done|number_of_executed_units|average_exec_per_sec" build-fuzz/fuzz.log
}

# Every Windows executable must start on a bare Windows: a DLL it lacks ends
# it in the loader (status 0xC0000135) before it prints a word.
only_system_dlls() {
  local exe dlls
  for exe in "$1"/lfswap.exe "$1"/tests/*.exe; do
    dlls=$("$2" -p "$exe" | awk '/DLL Name:/ { print $3 }' |
      grep -viE '^(kernel32|user32|comdlg32|msvcrt)\.dll$' || true)
    if [ -n "$dlls" ]; then
      echo "$exe needs DLLs that Windows does not have: $dlls" >&2
      return 1
    fi
  done
}

# Wine starts helpers when a run first needs them (the services, and the
# desktop process user32 asks for), and they inherit that run's output pipes,
# holding them open for seconds after it ends. Start them here on /dev/null
# and keep them for the whole suite: a persistent server, and a cmd.exe
# reading a FIFO held open on fd 9, which keeps the desktop from going idle.
wine_helpers_up() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1
  rm -f "$WINEPREFIX/keep" && mkfifo "$WINEPREFIX/keep"
  "$1" cmd.exe <"$WINEPREFIX/keep" >/dev/null 2>&1 9>&- &
  exec 9>"$WINEPREFIX/keep"
  "$1" "$2" </dev/null >/dev/null 2>&1 9>&- || true
}

wine_helpers_down() {
  exec 9>&-
  wineserver -k >/dev/null 2>&1 || true
}

# The kernel tests inside a Windows build (build-win: the PE32, build-win64),
# for every kernel set this CPU has: GoogleTest needs the compilers of the
# POSIX thread model, so they have a build folder of their own.
windows_kernel_tests() {
  local arch=i686 dir status=0
  [ "$1" = build-win64 ] && arch=x86_64
  dir=build-kernels-$arch
  configure_windows "$dir" "$arch" -DLFSWAP_MINGW_THREADS=posix
  cmake --build "$dir" --target lfswap_kernel_tests
  echo "== the kernel tests in $dir/tests/lfswap_kernel_tests.exe under $2"
  "$2" "$dir/tests/lfswap_kernel_tests.exe" --gtest_brief=1 > "$dir/kernel-tests.log" 2>&1 || status=$?
  cat "$dir/kernel-tests.log"
  skips_in "$dir/kernel-tests.log"
  return "$status"
}

# The Windows tool: a 32-bit console executable cross-built with mingw-w64,
# and the end-to-end suite run against it under Wine. Where this kernel cannot
# start 32-bit programs (Wine's 32-bit loader is one), the suite runs against
# the 64-bit Windows build of the same sources instead, and says so.
windows_part() {
  if ! command -v i686-w64-mingw32-g++ >/dev/null || ! command -v wine >/dev/null; then
    skipped "missing: g++-mingw-w64-i686 and wine, for the Windows part"
    return 0
  fi
  configure_windows build-win i686
  cmake --build build-win
  local kind
  kind=$(file build-win/lfswap.exe)
  echo "$kind"
  case "$kind" in
    *"PE32 executable (console) Intel 80386"*) ;;
    *) echo "build-win/lfswap.exe is not a 32-bit console executable" >&2; return 1 ;;
  esac
  only_system_dlls build-win i686-w64-mingw32-objdump

  export WINEDEBUG=-all
  local win=build-win runner=wine
  export WINEPREFIX="$PWD/build-win/wineprefix"
  if ! runs_32_bit_windows; then
    if [ -x /usr/lib/wine/wine64 ] && command -v x86_64-w64-mingw32-g++ >/dev/null; then
      echo "NOTE: this machine cannot run the 32-bit build (wine exited $pe32_status: no 32-bit program"
      echo "      support in this kernel); the suite runs against the 64-bit Windows build instead."
      configure_windows build-win64 x86_64
      cmake --build build-win64
      only_system_dlls build-win64 x86_64-w64-mingw32-objdump
      win="build-win64"
      runner=/usr/lib/wine/wine64
      export WINELOADER=$runner WINEPREFIX="$PWD/build-win64/wineprefix"
      "$runner" wineboot -i >/dev/null 2>&1 || true
    else
      skipped "the Windows suite: wine cannot run build-win/lfswap.exe (exit $pe32_status)"
      return 0
    fi
  fi
  # A virtual display of its own, so that the common dialog is a real window,
  # which the suite drives with xdotool and reads through xclip; without
  # those (or with LFSWAP_WINDOWS_DIALOGS=0) the dialog cases skip.
  local xvfb_pid="" no_dialog=1 n
  if [ "${LFSWAP_WINDOWS_DIALOGS:-1}" != 0 ] && command -v Xvfb >/dev/null && command -v xdotool >/dev/null &&
    command -v xclip >/dev/null; then
    for n in $(seq 90 120); do [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break; done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do DISPLAY=":$n" xdotool getdisplaygeometry >/dev/null 2>&1 && no_dialog=0 && break; sleep 0.1; done
  fi
  if [ "$no_dialog" = 0 ]; then
    export DISPLAY=":$n"
    echo "== end-to-end suite against $win/lfswap.exe under $runner, dialogs on the display $DISPLAY"
  else
    echo "== end-to-end suite against $win/lfswap.exe under $runner (no display: dialogs unavailable;"
    echo "   they need Xvfb, xdotool and xclip: apt-get install xvfb xdotool xclip)"
  fi
  wine_helpers_up "$runner" "$win/lfswap.exe"
  local status=0
  LFSWAP_TEST_RUNNER="$runner" \
  LFSWAP_TEST_EXE="$PWD/$win/lfswap.exe" \
  LFSWAP_TEST_FIXED_DATE_EXE="$PWD/$win/tests/lfswap_fixed_date.exe" \
  LFSWAP_TEST_UNSTAMPED_EXE="$PWD/$win/tests/lfswap_unstamped.exe" \
  LFSWAP_TEST_PROBE_EXE="$PWD/$win/tests/lfswap_generic_probe.exe" \
  LFSWAP_TEST_NO_DIALOG=$no_dialog \
  LFSWAP_TEST_SCREENSHOT="$PWD/$win/dialog.png" \
    "$build/tests/lfswap_e2e_tests" 9>&- > "$win/e2e.log" 2>&1 || status=$?
  cat "$win/e2e.log"
  skips_in "$win/e2e.log"
  wine_helpers_down
  windows_kernel_tests "$win" "$runner" || status=$?
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    unset DISPLAY
  fi
  return "$status"
}

# The two packages: a Debian package of the native build, and a zip of the
# 32-bit Windows build (when mingw-w64 is here).
make_packages() {
  (cd "$build" && cpack -G DEB >/dev/null)
  if command -v i686-w64-mingw32-g++ >/dev/null; then
    configure_windows build-win i686
    cmake --build build-win
    (cd build-win && cpack -G ZIP >/dev/null)
  fi
  ls "$build"/lfswap_*.deb build-win/lfswap-*-win32.zip 2>/dev/null
}


# What each package holds, checked (tools/check-packages.sh).
check_packages() {
  local runs=no
  runs_32_bit_windows && runs=yes
  LFSWAP_SKIP_LOG="$skip_log" RUNS_PE32=$runs tools/check-packages.sh
}

native_build() { # the tool alone (demo), or everything native
  configure "$build"
  cmake --build "$build" ${1:+--target "$1"}
}
native_suite() {
  echo "== the native suite"
  ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
  skips_in "$build/Testing/Temporary/LastTest.log"
}

case "$part" in
demo)
  native_build lfswap
  mkdir -p "$build/demo"
  "$build/lfswap" examples/sample-unix.txt "$build/demo/sample-dos.txt"
  echo
  echo "Converted examples/sample-unix.txt (LF) into $build/demo/sample-dos.txt (CR LF)."
  ;;
test)
  native_build
  native_suite
  sanitizer_suite
  fuzz_run
  windows_part
  make_packages >/dev/null
  check_packages
  report_skips
  echo "== every part passed"
  ;;
native) native_build && native_suite ;;
asan) sanitizer_suite ;;
fuzz) fuzz_run ;;
windows) native_build && windows_part ;;
package)
  native_build
  make_packages
  check_packages
  ;;
esac
