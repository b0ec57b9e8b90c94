#!/usr/bin/env bash
# tools/install-packages.sh PART...   (build, native, fuzz, windows, package, bench)
# Installs, as root on Debian, the packages that the parts named need
# (tools/packages.txt). Elsewhere, or as another user, it says once which
# are missing and leaves the machine as it is. build.sh calls it first.
set -euo pipefail
cd "$(dirname "$0")/.."

# The packages of the parts named.
packages_for() {
  sed 's/#.*//' tools/packages.txt | awk -v parts=" $* " 'NF >= 2 {
    n = split($2, p, ","); for (i = 1; i <= n; i++) if (index(parts, " " p[i] " ")) { print $1; break } }'
}

mapfile -t wanted < <(packages_for "$@")
if ! command -v dpkg-query >/dev/null; then
  echo "build.sh: not a Debian system; it needs (Debian names): ${wanted[*]}" >&2
  exit 0
fi
# dpkg-query answers "install ok installed" for a package that is there.
missing=()
for p in "${wanted[@]}"; do
  [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null; then
  echo "build.sh: missing (install them as root: apt-get install ${missing[*]}); running what can run" >&2
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *":i386 "* ]]; then dpkg --add-architecture i386; fi
# A Debian mirror caught mid-sync serves index files whose size does not
# match the Release file; fetches are retried after a wait. A list that
# stays broken has been seen too (the security suite's i386 list, for
# days): then the security suite is held below the main one, so that both
# architectures take the same version from the main list, or wine32 could
# not be installed beside its amd64 libraries.
for try in 1 2 3; do
  apt-get update -qq -o Acquire::Retries=3 && break
  if [ "$try" = 3 ]; then
    echo "build.sh: some package lists could not be fetched; the security suite is held back" >&2
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' \
      > /etc/apt/preferences.d/lfswap-hold-security
  else
    echo "build.sh: apt-get update failed (try $try); again in $((try * 20)) s" >&2
    sleep $((try * 20))
  fi
done
for try in 1 2 3; do
  apt-get install -y -qq -o Acquire::Retries=3 "${missing[@]}" >/dev/null && exit 0
  [ "$try" = 3 ] && { echo "build.sh: could not install: ${missing[*]}" >&2; exit 1; }
  sleep $((try * 20))
done
