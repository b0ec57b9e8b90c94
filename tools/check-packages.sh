#!/usr/bin/env bash
# tools/check-packages.sh: what each package holds, and that the executable
# it installs passes its self-check and converts the bundled sample. Called
# by build.sh after it made them; RUNS_PE32=yes where Wine runs the 32-bit
# tool here, and a case that cannot be checked is added to $LFSWAP_SKIP_LOG.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
skipped() {
  echo "SKIPPED $*"
  [ -z "${LFSWAP_SKIP_LOG:-}" ] || echo "$*" >> "$LFSWAP_SKIP_LOG"
}
runs_32_bit_windows() { [ "${RUNS_PE32:-no}" = yes ]; }
echo "== the packages"
deb=$(ls "$build"/lfswap_*.deb)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -c "$deb" | awk '{ print $6 }' | sort > "$tmp/deb.list"
for f in ./usr/bin/lfswap ./usr/share/man/man1/lfswap.1.gz ./usr/share/doc/lfswap/copyright \
  ./usr/share/doc/lfswap/changelog.gz; do
  grep -qx "$f" "$tmp/deb.list" || { echo "FAILED: $deb lacks $f" >&2; exit 1; }
done
# As Debian checks a package: no error and no warning (no override needed).
if command -v lintian >/dev/null; then
  lintian --allow-root --fail-on error,warning "$deb" || { echo "FAILED: lintian on $deb" >&2; exit 1; }
else
  skipped "missing: lintian, to check the Debian package"
fi
dpkg-deb -x "$deb" "$tmp/deb"
case "$(file "$tmp/deb/usr/bin/lfswap")" in
  *", stripped"*) ;;
  *) echo "FAILED: the packaged lfswap is not stripped" >&2; exit 1 ;;
esac
cp examples/sample-unix.txt "$tmp/in.txt"
# Relative names: an output word beginning with "/" asks for the dialog.
(cd "$tmp" && deb/usr/bin/lfswap in.txt deb-out.txt >/dev/null) ||
  { echo "FAILED: the packaged lfswap did not convert the sample" >&2; exit 1; }
echo "$deb: $(wc -l < "$tmp/deb.list") entries, its lfswap passes its self-check"
zip=$(ls build-win/lfswap-*-win32.zip 2>/dev/null || true)
if [ -z "$zip" ]; then
  skipped "missing: g++-mingw-w64-i686, for the Windows zip"
  exit 0
fi
top=$(basename "$zip" .zip)
unzip -Z1 "$zip" | sort > "$tmp/zip.list"
for f in lfswap.exe README.txt lfswap.txt; do
  grep -qx "$top/$f" "$tmp/zip.list" || { echo "FAILED: $zip lacks $top/$f" >&2; exit 1; }
done
unzip -q "$zip" -d "$tmp"
mv "$tmp/$top" "$tmp/zip"
for f in README.txt lfswap.txt; do
  if [ "$(grep -c $'\r$' "$tmp/zip/$f")" != "$(wc -l < "$tmp/zip/$f")" ]; then
    echo "FAILED: $f in $zip has lines that do not end in CR LF" >&2; exit 1
  fi
  # Readable in any code page.
  if LC_ALL=C grep -q '[^[:print:][:space:]]' "$tmp/zip/$f"; then
    echo "FAILED: $f in $zip holds bytes that are not ASCII" >&2; exit 1
  fi
done
if i686-w64-mingw32-objdump -h "$tmp/zip/lfswap.exe" | grep -q '\.debug'; then
  echo "FAILED: lfswap.exe in $zip carries debug sections" >&2; exit 1
fi
if runs_32_bit_windows; then
  prefix="$PWD/build-win/wineprefix"
  (cd "$tmp" && WINEDEBUG=-all WINEPREFIX="$prefix" wine zip/lfswap.exe in.txt out.txt >/dev/null 2>&1) ||
    { echo "FAILED: the zipped lfswap.exe did not convert the sample under wine" >&2; exit 1; }
  echo "$zip: $(wc -l < "$tmp/zip.list") entries, its lfswap.exe passes its self-check under wine"
  wineserver -k >/dev/null 2>&1 || true
elif [ -x build-win64/lfswap.exe ] && [ -x /usr/lib/wine/wine64 ]; then
  # The same install step (strip, then stamp) on the 64-bit build, whose
  # result runs here.
  prefix="$PWD/build-win64/wineprefix"
  DESTDIR="$tmp/win64" cmake --install build-win64 --prefix / >/dev/null
  (cd "$tmp" && WINELOADER=/usr/lib/wine/wine64 WINEPREFIX="$prefix" \
    /usr/lib/wine/wine64 win64/lfswap.exe in.txt out64.txt >/dev/null 2>&1) ||
    { echo "FAILED: the stripped 64-bit lfswap.exe did not convert the sample under wine64" >&2; exit 1; }
  echo "$zip: $(wc -l < "$tmp/zip.list") entries (not run: no Wine that runs 32-bit programs here;"
  echo "  the 64-bit build, stripped and stamped the same way, passes its self-check under wine64)"
  wineserver -k >/dev/null 2>&1 || true
else
  echo "$zip: $(wc -l < "$tmp/zip.list") entries (not run: no Wine that runs 32-bit programs here)"
fi
