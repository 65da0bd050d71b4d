#!/usr/bin/env bash
# Installs the build into a scratch prefix (DESTDIR) and checks what a user gets: the file list,
# programs that run, a valid menu entry, drawings recognised by content, manual pages that
# describe every command and option, and completion of jww's commands, options and drawings.
# Usage: install_test.sh BUILD_DIR [CORPUS_DIR]
set -euo pipefail
export LC_ALL=C  # file lists compare in byte order
here=$(cd "$(dirname "$0")" && pwd)
build=$1
corpus=${2:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root=$tmp/root
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
if ! diff -u "$here/installed-files.txt" <(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort); then
  fail "installed files differ from packaging/installed-files.txt"
fi
bin=$root/usr/bin

# The installed programs run without the build folder.
"$bin/jww" --help >/dev/null || fail "installed jww --help"
[[ $("$bin/dravik-list" --version) == "dravik-list "* ]] || fail "installed dravik-list --version"

desktop-file-validate "$root/usr/share/applications/dravik.desktop" || fail "desktop-file-validate"
grep -q '^Name\[ja\]=' "$root/usr/share/applications/dravik.desktop" || fail "no Japanese name"

# File type: our MIME package in a scratch database, found beside the system's.
XDG_DATA_DIRS=$root/usr/share:/usr/share update-mime-database "$root/usr/share/mime"
mimetype() {
  XDG_DATA_DIRS=$root/usr/share:/usr/share XDG_DATA_HOME=$tmp/no-user-data \
    gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'
}
"$bin/jww" new "$tmp/x.bin" || fail "jww new"
samples=("$tmp/x.bin")
if [[ -n $corpus && -d $corpus ]]; then
  first=$(find "$corpus" -maxdepth 1 -iname '*.jww' | sort | sed -n 1p)
  if [[ -n $first ]]; then
    cp "$first" "$tmp/corpus-drawing.bin"
    samples+=("$tmp/corpus-drawing.bin")
  fi
else
  echo "note: no corpus at '$corpus'; detecting a drawing made by jww new only" >&2
fi
for f in "${samples[@]}"; do
  [[ $(mimetype "$f") == application/x-jww ]] || fail "$f detected as '$(mimetype "$f")', not application/x-jww"
done
printf 'not a drawing\n' >"$tmp/plain.jww"
[[ $(mimetype "$tmp/plain.jww") == application/x-jww ]] || fail "*.jww name not recognised"
printf 'JwwDat' >"$tmp/short.bin"
[[ $(mimetype "$tmp/short.bin") != application/x-jww ]] || fail "a cut magic still detected"

# The thumbnailer as a file manager runs it: the entry's Exec line with %s, %i and %o filled in,
# the program found on the PATH.
entry=$root/usr/share/thumbnailers/dravik.thumbnailer
grep -qx 'MimeType=application/x-jww;' "$entry" || fail "thumbnailer entry is not for application/x-jww"
read -ra words <<<"$(sed -n 's/^Exec=//p' "$entry")"
for i in "${!words[@]}"; do
  case ${words[i]} in %s) words[i]=128 ;; %i) words[i]=$tmp/x.bin ;; %o) words[i]=$tmp/thumb.png ;; esac
done
PATH=$bin:$PATH "${words[@]}" || fail "thumbnailer entry's command: ${words[*]}"
[[ $(head -c 4 "$tmp/thumb.png" 2>/dev/null | od -An -c | tr -d ' ') == 211PNG ]] ||
  fail "the thumbnailer entry's command wrote no PNG"

# Manual pages: compressed as Debian installs them (gzip -9n: no name, no time stamp), clean for
# groff, version filled in, every command and option of jww described.
man1=$root/usr/share/man/man1
for gz in "$man1"/*.1.gz "$root/usr/share/doc/dravik/recipes.md.gz"; do
  # Header bytes 3..7: the flags (no file name stored) and the time stamp, all zero.
  [[ $(od -An -tu1 -j3 -N5 "$gz" | tr -s ' ') == " 0 0 0 0 0" ]] || fail "$gz carries a name or time (not gzip -n)"
  gzip -dc "$gz" >"${gz%.gz}" || fail "$gz is not gzip"
done
for page in "$man1"/*.1; do
  warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1) || true
  [[ -z $warnings ]] || fail "groff warnings in $page: $warnings"
  ! grep -q '@DRAVIK_VERSION@' "$page" || fail "version not filled in $page"
done
# The recipe guide jww.1 points to is installed, and the copyright beside it.
doc=$root/usr/share/doc/dravik
grep -q 'share/doc/dravik/recipes.md.gz' "$man1/jww.1" || fail "jww.1 does not name the installed recipe guide"
grep -q '^# Drawing recipes' "$doc/recipes.md" || fail "the installed recipe guide is not docs/recipes.md"
grep -q '^Copyright: .*Dravik developers' "$doc/copyright" || fail "no copyright of the Dravik developers"
commands=$("$bin/jww" --help | sed -n '/^commands:/,/^$/s/^  \([a-z][a-z0-9-]*\) .*/\1/p')
[[ -n $commands ]] || fail "no commands read from jww --help"
for c in $commands; do
  grep -q "^\.SS \"$c " "$man1/jww.1" || fail "jww.1 has no section for the command '$c'"
  for o in $("$bin/jww" "$c" --help | grep -oE '(^|[ ,])--[a-z][a-z0-9-]*' | sed 's/^[ ,]//' | sort -u); do
    [[ $o == --help ]] && continue
    grep -qF -- "${o//-/\\-}" "$man1/jww.1" || fail "jww.1 does not describe '$c $o'"
  done
done
for o in $("$bin/dravik-list" --help | grep -oE '(^|[ ,])--[a-z][a-z0-9-]*' | sed 's/^[ ,]//' | sort -u); do
  grep -qF -- "${o//-/\\-}" "$man1/dravik-list.1" || fail "dravik-list.1 does not describe '$o'"
done

# Completion, as bash calls it: COMP_WORDS[0] is the program as typed.
complete_words() {
  (cd "$tmp/work" && source "$root/usr/share/bash-completion/completions/jww" &&
     COMP_WORDS=("$bin/jww" "$@") && COMP_CWORD=$# && _jww && printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' ')
}
mkdir -p "$tmp/work/sub"
touch "$tmp/work/a.jww" "$tmp/work/B.JWW" "$tmp/work/c.txt"
check_completion() {
  local want=$1; shift
  local got
  got=$(complete_words "$@")
  [[ $got == "$want" ]] || fail "completion of '$*': got '$got', want '$want'"
}
check_contains() {
  local want=$1; shift
  local got w
  got=" $(complete_words "$@")"
  for w in $want; do
    [[ $got == *" $w "* ]] || fail "completion of '$*' lacks '$w' (got '$got')"
  done
}
check_contains "--help convert dump info new" ""
check_contains "--budget --help --indent" dump --
check_contains "--budget --fit --quiet --dpi" fill --
check_completion "convert " co
check_completion "420 " convert a.jww b.jww --version 4
check_completion "B.JWW a.jww sub " info ""
check_completion "c.txt " new c

((failures == 0)) || exit 1
echo "install: all checks passed"
