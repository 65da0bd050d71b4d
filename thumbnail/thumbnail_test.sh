#!/usr/bin/env bash
# The thumbnailer as a file manager runs it: a PNG whose longer side is the size asked for, for
# every corpus drawing; on anything else a clean failure that leaves the output as it was, within
# bounded memory.
# Usage: thumbnail_test.sh THUMBNAILER CORPUS_DIR SANITIZED(0|1) [JWW_TOOL]
set -euo pipefail
export LC_ALL=C
thumb=$1
corpus=$2
sanitized=$3
jww=${4:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The picture's size from its PNG header ("W H"), or nothing when it is no PNG.
png_size() {
  [[ $(head -c 8 "$1" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] || return 0
  od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}'
}

# Runs the thumbnailer under an address-space cap (not with the sanitizers, which reserve far
# more address space than they use). Prints the exit status.
run() {
  local rc=0
  if ((sanitized)); then
    "$thumb" "$@" 2>>"$tmp/stderr" || rc=$?
  else
    (ulimit -v $((1024 * 1024)); exec "$thumb" "$@") 2>>"$tmp/stderr" || rc=$?
  fi
  echo "$rc"
}

# Drawing from the corpus: a picture each, the longer side 256 (or what --size says).
n=0
slowest=0
if [[ -d $corpus ]]; then
  while IFS= read -r -d '' f; do
    n=$((n + 1))
    out=$tmp/corpus-$n.png
    start=$(date +%s%N)
    rc=$(run -s 256 "$f" "$out")
    ms=$((($(date +%s%N) - start) / 1000000))
    ((ms > slowest)) && slowest=$ms
    [[ $rc == 0 ]] || { fail "$(basename "$f"): exit $rc: $(tail -n 1 "$tmp/stderr")"; continue; }
    read -r w h <<<"$(png_size "$out")"
    [[ -n ${w:-} && $(( w > h ? w : h )) == 256 && $w -ge 1 && $h -ge 1 ]] ||
      fail "$(basename "$f"): picture is '${w:-none} x ${h:-none}', not 256 on its longer side"
  done < <(find "$corpus" -maxdepth 1 -iname '*.jww' -print0 | sort -z)
  echo "thumbnails of $n corpus drawings; slowest $slowest ms (including the start of the program)"
else
  echo "note: no corpus at '$corpus'; corpus drawings skipped" >&2
fi

# A drawing of the program's own making at other sizes, and given as a file: URI.
first=""
[[ -d $corpus ]] && first=$(find "$corpus" -maxdepth 1 -iname '*.jww' | sort | sed -n 1p)
if [[ -n $first ]]; then
  cp "$first" "$tmp/plan with space.jww"
  for size in 128 512; do
    [[ $(run --size $size "$tmp/plan with space.jww" "$tmp/s$size.png") == 0 ]] || fail "--size $size"
    read -r w h <<<"$(png_size "$tmp/s$size.png")"
    [[ $(( w > h ? w : h )) == "$size" ]] || fail "--size $size gave ${w:-none} x ${h:-none}"
  done
  [[ $(run "file://$tmp/plan%20with%20space.jww" "$tmp/uri.png") == 0 && -n $(png_size "$tmp/uri.png") ]] ||
    fail "a file:// URI"

  # Every cut of a drawing is read as far as it goes: a picture or a clean failure.
  bytes=$(stat -c %s "$first")
  for cut in 0 7 8 40 200 1000 $((bytes / 2)) $((bytes - 1)); do
    ((cut < bytes)) || continue
    head -c "$cut" "$first" >"$tmp/cut.jww"
    rc=$(run "$tmp/cut.jww" "$tmp/cut.png")
    [[ $rc == 0 || $rc == 1 ]] || fail "drawing cut at $cut bytes: exit $rc"
  done
fi

# No drawing: exit 1, one line, and an existing output left as it was.
head -c 4096 /dev/urandom >"$tmp/noise.jww"
printf 'JwwData.\xff\xff\xff\xff' >"$tmp/magic-only.jww"
: >"$tmp/empty.jww"
for f in noise.jww magic-only.jww empty.jww missing.jww; do
  : >"$tmp/stderr"
  printf 'keep' >"$tmp/keep.png"
  rc=$(run "$tmp/$f" "$tmp/keep.png")
  [[ $rc == 1 ]] || fail "$f: exit $rc, not 1"
  [[ $(head -c 8 "$tmp/keep.png") == keep ]] || fail "$f: the output was changed"
  [[ $(wc -l <"$tmp/stderr") == 1 ]] || fail "$f: not one line on standard error: $(cat "$tmp/stderr")"
done
[[ $(run "${first:-$tmp/empty.jww}" "$tmp/no/such/folder/out.png") == 1 ]] || fail "unwritable output"
[[ $(run --size 0 a b) == 2 && $(run) == 2 ]] || fail "wrong options do not exit 2"

# Outputs and names: a Shift-JIS name is found as a path and as a file:// URI; a device is written
# in place, a link stays a link and its file keeps its mode; a failed write says why and keeps the
# old picture, on a full disk too.
if [[ -n $jww ]]; then
  sj=$'\x82\xa0'
  "$jww" new "$tmp/$sj.jww"
  [[ $(run "$tmp/$sj.jww" "$tmp/sj-path.png") == 0 && -n $(png_size "$tmp/sj-path.png") ]] || fail "a Shift-JIS path"
  [[ $(run "file://$tmp/%82%A0.jww" "$tmp/sj-uri.png") == 0 && -n $(png_size "$tmp/sj-uri.png") ]] ||
    fail "a Shift-JIS file:// URI"
  [[ $(run "$tmp/$sj.jww" "$tmp/out$sj.png") == 0 && -n $(png_size "$tmp/out$sj.png") ]] || fail "a Shift-JIS output name"
  [[ $(run "$tmp/$sj.jww" /dev/null) == 0 && -c /dev/null ]] || fail "/dev/null as output"
  : >"$tmp/stderr"
  [[ $(run "$tmp/$sj.jww" /dev/full) == 1 ]] && grep -q 'No space left on device' "$tmp/stderr" ||
    fail "/dev/full: $(cat "$tmp/stderr")"
  printf 'keep' >"$tmp/real.png"
  chmod 600 "$tmp/real.png"
  ln -s real.png "$tmp/link.png"
  [[ $(run "$tmp/$sj.jww" "$tmp/link.png") == 0 && -L $tmp/link.png && -n $(png_size "$tmp/real.png") &&
     $(stat -c %a "$tmp/real.png") == 600 ]] || fail "output through a symbolic link"
  : >"$tmp/stderr"
  [[ $(run "$tmp/$sj.jww" "$tmp/no/such/folder/out.png") == 1 ]] && grep -q 'No such file or directory' "$tmp/stderr" ||
    fail "a missing folder gives no reason: $(cat "$tmp/stderr")"
  # A full disk: a private tmpfs in a mount namespace of its own, where one can be made.
  mnt=$tmp/mnt
  mkdir "$mnt"
  userns=-r
  ((EUID == 0)) && userns=
  if unshare $userns -m true 2>/dev/null; then
    got=$(unshare $userns -m bash -c '
      mount -t tmpfs -o size=64k tmpfs "$1" || exit 3
      printf old >"$1/t.png"
      dd if=/dev/zero of="$1/fill" bs=4k 2>/dev/null
      "$2" "$3" "$1/t.png" 2>"$1/../full-err" && echo "exit 0" || echo "exit $?"
      echo "kept $(cat "$1/t.png")"
      ls -A "$1" | tr "\n" " "' _ "$mnt" "$thumb" "$tmp/$sj.jww") || true
    [[ $got == *"exit 1"*"kept old"*"fill t.png "* ]] && grep -q 'No space left' "$tmp/full-err" ||
      fail "a full disk: $got / $(cat "$tmp/full-err" 2>/dev/null)"
  else
    echo "note: no mount namespace here; the full-disk case is skipped" >&2
  fi
else
  echo "note: no jww tool given; output cases skipped" >&2
fi

((failures == 0)) || exit 1
echo "thumbnailer: all checks passed"
