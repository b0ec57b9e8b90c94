#!/usr/bin/env bash
# End-to-end benchmark: lfswap against cat (the copy limit: GNU cat copies
# inside the kernel with copy_file_range, lfswap must read and write) and, when
# installed, dos2unix/unix2dos -n (black-box peers), on 128 MiB of generated
# text (and the same as UTF-16) with the page cache warm and the output on tmpfs;
# then each kernel set this CPU has, through the tool built with it alone
# (lfswap_with_<set>), natively and in the Windows build under Wine.
#   bench/run.sh [BUILD_DIR] [RUNS]
# Needs a build with Google Benchmark (lfswap_kernels_bench, lfswap_gen_text).
set -euo pipefail
build=${1:-build}
runs=${2:-7}
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
[ -x "$build/lfswap" ] && [ -x "$build/lfswap_gen_text" ] || {
  echo "bench/run.sh: build first (./build.sh test), with libbenchmark-dev installed" >&2; exit 1; }
work=/dev/shm/lfswap-bench
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
lfswap=$(realpath "$build/lfswap")

echo "== inputs: 128 MiB each, in $work"
"$build/lfswap_gen_text" "$work/unix.txt" 128 unix
"$build/lfswap_gen_text" "$work/dos.txt" 128 dos
printf x > "$work/one.txt"
# The same text as UTF-16LE with its byte-order mark (256 MiB each).
for t in unix dos; do { printf '\xff\xfe'; iconv -f latin1 -t UTF-16LE "$work/$t.txt"; } > "$work/u16$t.txt"; done

echo "== correctness against reference converters (perl, tr)"
(cd "$work" && "$lfswap" unix.txt out.txt >/dev/null)
perl -pe 's/\n/\r\n/g' "$work/unix.txt" | cmp - "$work/out.txt"
(cd "$work" && "$lfswap" dos.txt out.txt >/dev/null)
tr -d '\r' < "$work/dos.txt" | cmp - "$work/out.txt"
for t in unix dos; do
  (cd "$work" && "$lfswap" "$t.txt" out.txt >/dev/null && "$lfswap" "u16$t.txt" out16.txt >/dev/null)
  { printf '\xff\xfe'; iconv -f latin1 -t UTF-16LE "$work/out.txt"; } | cmp - "$work/out16.txt"
done
rm -f "$work/out16.txt"
echo "outputs match (bytes and UTF-16)"

# Commands by name; each is run in $work with its output on tmpfs.
declare -A cmd
cmd[lfswap_unix]="$lfswap unix.txt out.txt >/dev/null"
cmd[lfswap_dos]="$lfswap dos.txt out.txt >/dev/null"
cmd[cat_unix]="cat unix.txt > out.txt"
cmd[cat_dos]="cat dos.txt > out.txt"
# The same bytes through user space in lfswap's own chunk size: the floor
# for anything that reads and writes.
cmd[dd_unix]="dd if=unix.txt of=out.txt bs=49440 status=none"
cmd[lfswap_u16unix]="$lfswap u16unix.txt out.txt >/dev/null"
cmd[lfswap_u16dos]="$lfswap u16dos.txt out.txt >/dev/null"
cmd[cat_u16unix]="cat u16unix.txt > out.txt"
cmd[dd_u16unix]="dd if=u16unix.txt of=out.txt bs=49440 status=none"
cmd[cat_u16dos]="cat u16dos.txt > out.txt"
names=(lfswap_unix cat_unix dd_unix lfswap_dos cat_dos lfswap_u16unix cat_u16unix dd_u16unix lfswap_u16dos cat_u16dos)
if command -v unix2dos >/dev/null && command -v dos2unix >/dev/null; then
  cmd[peer_unix]="unix2dos -q -n unix.txt out.txt"
  cmd[peer_dos]="dos2unix -q -n dos.txt out.txt"
  names+=(peer_unix peer_dos)
fi

declare -A times rss med
median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# The commands named, `runs` times each, alternating so that drift hits
# every command alike; their medians in med.
time_alternating() {
  local r name t0 t1
  for ((r = 0; r < runs; r++)); do
    for name in "$@"; do
      rm -f "$work/out.txt"   # every command creates its output afresh
      t0=$EPOCHREALTIME
      (cd "$work" && eval "${cmd[$name]}")
      t1=$EPOCHREALTIME
      times[$name]+="$(echo "$t1 - $t0" | bc -l) "
    done
  done
  for name in "$@"; do med[$name]=$(echo "${times[$name]}" | median); done
}
for name in "${names[@]}"; do cat "$work"/*.txt >/dev/null; done
time_alternating "${names[@]}"
for name in "${names[@]}"; do
  if [ -x /usr/bin/time ]; then
    rss[$name]=$(cd "$work" && /usr/bin/time -f %M bash -c "exec ${cmd[$name]}" 2>&1 >/dev/null | tail -1)
  fi
done


echo
echo "== wall time, median of $runs alternating runs (seconds), peak RSS (KiB)"
printf '%-12s %10s %10s\n' command median rss
for name in "${names[@]}"; do printf '%-12s %10.4f %10s\n' "$name" "${med[$name]}" "${rss[$name]:-?}"; done
echo
printf 'lfswap / cat, UNIX input: %.2f\n' "$(echo "${med[lfswap_unix]} / ${med[cat_unix]}" | bc -l)"
printf 'lfswap / cat, DOS input:  %.2f\n' "$(echo "${med[lfswap_dos]} / ${med[cat_dos]}" | bc -l)"
printf 'lfswap / cat, UTF-16 UNIX input: %.2f\n' "$(echo "${med[lfswap_u16unix]} / ${med[cat_u16unix]}" | bc -l)"
printf 'lfswap / cat, UTF-16 DOS input:  %.2f\n' "$(echo "${med[lfswap_u16dos]} / ${med[cat_u16dos]}" | bc -l)"
printf 'lfswap / dd bs=49440, UNIX input: %.2f\n' "$(echo "${med[lfswap_unix]} / ${med[dd_unix]}" | bc -l)"
printf 'lfswap / dd bs=49440, UTF-16 UNIX input: %.2f\n' "$(echo "${med[lfswap_u16unix]} / ${med[dd_u16unix]}" | bc -l)"
printf 'dd bs=49440 / cat (the floor for a read/write copy): %.2f\n' "$(echo "${med[dd_unix]} / ${med[cat_unix]}" | bc -l)"
if [ -n "${med[peer_unix]:-}" ]; then
  printf 'peer / lfswap, unix2dos: %.1f x\n' "$(echo "${med[peer_unix]} / ${med[lfswap_unix]}" | bc -l)"
  printf 'peer / lfswap, dos2unix: %.1f x\n' "$(echo "${med[peer_dos]} / ${med[lfswap_dos]}" | bc -l)"
fi
if [ -n "${rss[lfswap_unix]:-}" ]; then
  echo "peak RSS lfswap - cat: $(( ${rss[lfswap_unix]} - ${rss[cat_unix]} )) KiB"
fi

# Each kernel set this CPU has, through the tool built with that set alone
# (lfswap_with_<set>, beside the tool); the sets the kernel bench runs here.
sets=$("$build/lfswap_kernels_bench" --benchmark_list_tests 2>/dev/null | awk -F/ '/_to_/ { print $1 }' | sort -u)
echo
echo "== each kernel set's whole run, against dd bs=49440 (medians of $runs alternating runs)"
cmd[dd_dos]="dd if=dos.txt of=out.txt bs=49440 status=none"
cmd[dd_u16dos]="dd if=u16dos.txt of=out.txt bs=49440 status=none"
set_names=(dd_unix dd_dos dd_u16unix dd_u16dos)
for k in $sets; do
  exe=$(realpath "$build/lfswap_with_${k%vbmi2}")
  cmd[${k}_unix]="$exe unix.txt out.txt >/dev/null" cmd[${k}_dos]="$exe dos.txt out.txt >/dev/null"
  cmd[${k}_u16unix]="$exe u16unix.txt out.txt >/dev/null" cmd[${k}_u16dos]="$exe u16dos.txt out.txt >/dev/null"
  set_names+=("${k}_unix" "${k}_dos" "${k}_u16unix" "${k}_u16dos")
done
unset 'times[dd_unix]' 'times[dd_u16unix]'
time_alternating "${set_names[@]}"
printf '%-12s %10s %10s %14s %14s\n' set 'UNIX in' 'DOS in' 'UTF-16 UNIX' 'UTF-16 DOS'
for k in $sets; do
  printf '%-12s %10.2f %10.2f %14.2f %14.2f\n' "$k" \
    "$(echo "${med[${k}_unix]} / ${med[dd_unix]}" | bc -l)" "$(echo "${med[${k}_dos]} / ${med[dd_dos]}" | bc -l)" \
    "$(echo "${med[${k}_u16unix]} / ${med[dd_u16unix]}" | bc -l)" "$(echo "${med[${k}_u16dos]} / ${med[dd_u16dos]}" | bc -l)"
done
echo "(each against dd of the same input; the tool itself picks $(
  "$build/lfswap_kernels_bench" --benchmark_list_tests 2>/dev/null | awk -F/ '/_to_/ { print $1; exit }'))"

echo
echo "== start-up on a 1-byte file (hyperfine, medians of 300: a mean follows the odd slow run)"
if command -v hyperfine >/dev/null; then
  (cd "$work" && hyperfine -N --warmup 20 --runs 300 --export-csv "$work/startup.csv" \
      "$lfswap one.txt out1.txt" "cp one.txt out2.txt" "cat one.txt" >/dev/null 2>&1)
  awk -F, 'NR > 1 { gsub(/"/, "", $1); median[NR - 1] = $4 * 1000; printf "%-44s %7.2f ms\n", $1, $4 * 1000 }
           END { printf "lfswap / cp: %.2f\n", median[1] / median[2] }' "$work/startup.csv"
else
  echo "(hyperfine not installed)"
fi

echo
echo "== 200 MB on a terminal (script's pseudo-terminal): shown there, against redirected to a file"
"$build/lfswap_gen_text" "$work/big.txt" 200 unix
tty_run() { # the command on a terminal, its output there or (with "file") redirected to a file
  local t0 t1 to=""
  [ "$2" = file ] && to=" > log.txt"
  rm -f "$work/out.txt"
  t0=$EPOCHREALTIME
  (cd "$work" && script -qec "$1$to" /dev/null > /dev/null)
  t1=$EPOCHREALTIME
  echo "$t1 - $t0" | bc -l
}
tty_ratio() { # label, command
  local on off r
  on=$(for ((r = 0; r < 5; r++)); do tty_run "$2" tty; done | sort -g | sed -n 3p)
  off=$(for ((r = 0; r < 5; r++)); do tty_run "$2" file; done | sort -g | sed -n 3p)
  printf '%-28s terminal %.3f s, file %.3f s: %.2f x\n' "$1" "$on" "$off" "$(echo "$on / $off" | bc -l)"
}
if command -v script >/dev/null; then
  tty_ratio "lfswap (native)" "$lfswap big.txt out.txt"
else
  echo "(script not installed)"
fi

# The Windows tool under Wine, against the copy program built beside it
# (49,440-byte ReadFile/WriteFile), on 512 MiB: CPU time (user + system of the
# Wine processes the run starts). The PE32 where this kernel runs 32-bit
# programs, else the 64-bit Windows build.
echo
echo "== the Windows tool under Wine: CPU time against a 49,440-byte ReadFile/WriteFile copy, 512 MiB"
win="" runner=""
if command -v wine >/dev/null && [ -x build-win/lfswap.exe ] && [ -x build-win/lfswap_copy.exe ]; then
  export WINEDEBUG=-all WINEPREFIX="$here/build-win/wineprefix"
  rc=0; wine build-win/lfswap.exe >/dev/null 2>&1 || rc=$?
  if [ "$rc" = 6 ]; then
    win=build-win runner=wine
  elif [ -x /usr/lib/wine/wine64 ] && [ -x build-win64/lfswap.exe ] && [ -x build-win64/lfswap_copy.exe ]; then
    win=build-win64 runner=/usr/lib/wine/wine64
    export WINELOADER=$runner WINEPREFIX="$here/build-win64/wineprefix"
    echo "(this kernel runs no 32-bit programs: no PE32 figures; the 64-bit Windows build stands in)"
  fi
fi
if [ -n "$win" ]; then
  wineserver -p >/dev/null 2>&1 || true
  "$build/lfswap_gen_text" "$work/w_unix.txt" 512 unix
  "$build/lfswap_gen_text" "$work/w_dos.txt" 512 dos
  exe="$here/$win/lfswap.exe" copy="$here/$win/lfswap_copy.exe"
  cpu_once() { # CPU seconds of one run of the command, in $work
    rm -f "$work/out.txt"
    (cd "$work" && TIMEFORMAT=%U+%S && { time eval "$1" >/dev/null 2>&1; } 2>&1 | bc -l)
  }
  # The tool as it ships, then each kernel set this CPU has, built alone
  # into the same Windows build (lfswap_with_<set>.exe).
  tools=(lfswap)
  for k in $sets; do [ -x "$here/$win/lfswap_with_${k%vbmi2}.exe" ] && tools+=("lfswap_with_${k%vbmi2}"); done
  for t in unix dos; do
    for tool in "${tools[@]}"; do : > "$work/cpu_$tool"; done
    : > "$work/cpu_copy"
    for ((r = 0; r < 7; r++)); do # alternating, as the native runs: a slow spell hits all
      for tool in "${tools[@]}"; do cpu_once "$runner $here/$win/$tool.exe w_$t.txt out.txt" >> "$work/cpu_$tool"; done
      cpu_once "$runner $copy w_$t.txt out.txt" >> "$work/cpu_copy"
    done
    c_copy=$(sort -g "$work/cpu_copy" | sed -n 4p)
    for tool in "${tools[@]}"; do
      c_tool=$(sort -g "$work/cpu_$tool" | sed -n 4p)
      printf '%s.exe, %s input: %.3f s CPU, copy %.3f s: %.2f x\n' "$win/$tool" "$t" "$c_tool" "$c_copy" \
        "$(echo "$c_tool / $c_copy" | bc -l)"
    done
  done
  rm -f "$work"/w_*.txt
  if command -v script >/dev/null; then
    tty_ratio "$win/lfswap.exe (Wine console)" "$runner $exe big.txt out.txt"
  fi
  wineserver -k >/dev/null 2>&1 || true
else
  echo "(no Wine, or no Windows build: ./build.sh test makes one)"
fi

echo
echo "== kernels on chunks of 49,440 bytes, each fresh from 16 MiB of text (GB/s)"
echo "   typical: UNIX text into unix_to_dos, DOS text into dos_to_unix; worst: the slowest input"
"$build/lfswap_kernels_bench" --benchmark_min_time=0.2 --benchmark_format=csv 2>/dev/null > "$work/kernels.csv"
awk -F, '$1 ~ /^"memcpy/ { printf "(memcpy of the same chunks, the floor: %.2f GB/s)\n", $6 / 1e9 }' "$work/kernels.csv"
awk -F, 'NR > 1 && $1 ~ /_to_/ { gsub(/"/, "", $1); split($1, p, "/"); k = p[1] "/" p[2];
            v = $6 / 1e9; if (!(k in lo) || v < lo[k]) { lo[k] = v; worst[k] = p[3] }
            if (p[3] == (p[2] ~ /^unix_to_dos/ ? "unix_text" : "dos_text")) typ[k] = v }
           END { for (k in lo) printf "%-30s typical %6.2f  worst %6.2f (%s)\n", k, typ[k], lo[k], worst[k] }' \
  "$work/kernels.csv" | sort
echo
echo "== self-check: open, read and sum the lfswap executable ($(stat -c %s "$lfswap") bytes)"
"$build/lfswap_kernels_bench" --benchmark_min_time=0.2 --benchmark_filter=self_check 2>/dev/null | grep self_check
