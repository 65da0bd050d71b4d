#!/usr/bin/env bash
# Builds the .deb with CPack and inspects it with dpkg-deb: its files are those of an install, its
# control fields are set, and every shared library its programs load comes from a package it
# depends on.
# Usage: deb_test.sh BUILD_DIR
set -euo pipefail
export LC_ALL=C  # file lists compare in byte order
here=$(cd "$(dirname "$0")" && pwd)
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! cpack -G DEB -B "$tmp" --config "$build/CPackConfig.cmake" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
debs=("$tmp"/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "FAIL: cpack made no single .deb" >&2; exit 1; }
deb=${debs[0]}

if ! diff -u "$here/installed-files.txt" \
     <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort); then
  fail "package files differ from packaging/installed-files.txt"
fi

info=$(dpkg-deb -I "$deb")
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == dravik ]] || fail "Package is '$(field Package)'"
[[ -n $(field Version) ]] || fail "no Version"
[[ $(field Architecture) == "$(dpkg --print-architecture)" ]] || fail "Architecture is '$(field Architecture)'"
[[ -n $(field Maintainer) && -n $(field Description) ]] || fail "no Maintainer or Description"
grep -q '^ Section: graphics' <<<"$info" || fail "Section is not graphics"
[[ $(field Recommends) == *bash-completion* ]] || fail "Recommends '$(field Recommends)' lacks bash-completion"

# The package owning a library file; with merged /usr the file may be known under /lib or /usr/lib,
# through its link name or its real name.
owner() {
  local real candidate
  real=$(readlink -f "$1")
  for candidate in "$1" "$real" "${1#/usr}" "${real#/usr}" "/usr$1" "/usr$real"; do
    dpkg -S "$candidate" 2>/dev/null | sed -n '1s/:.*//p' | grep . && return
  done
  true
}

# Every library a packaged program needs must come from a declared dependency or from a package
# one of them depends on (Qt brings the OpenGL libraries some link lines name directly).
names() { sed 's/([^)]*)//g; s/:[a-z0-9]*//g; s/[,|]/ /g'; }
declared=$(field Depends | names)
depends=" $declared "
for p in $declared; do
  depends+="$(dpkg-query -W -f='${Depends} ${Pre-Depends}' "$p" 2>/dev/null | names || true) "
done
depends=$(tr -s ' ' <<<"$depends")
dpkg-deb -x "$deb" "$tmp/root"
for program in "$tmp"/root/usr/bin/*; do
  for lib in $(objdump -p "$program" | awk '$1 == "NEEDED" {print $2}'); do
    case $lib in libasan.so* | libubsan.so*) continue ;; esac  # sanitizer builds only
    # Readers take all their input: under pipefail a writer cut off early would fail the test.
    path=$(ldconfig -p | awk -v l="$lib" '$1 == l && !found {print $NF; found = 1}')
    [[ -n $path ]] || { fail "$(basename "$program"): $lib not found on this system"; continue; }
    package=$(owner "$path")
    [[ -n $package ]] || { fail "$(basename "$program"): no package owns $path"; continue; }
    [[ $depends == *" $package "* ]] ||
      fail "$(basename "$program") loads $lib from $package, which the package does not bring in"
  done
done

((failures == 0)) || exit 1
echo "deb: all checks passed"
