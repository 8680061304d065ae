#!/usr/bin/env bash
# A file over 4 GiB through a whole encoding and decoding: the round trip
# must hold and the engine's memory must not grow with the file.
#   tests/bigfile.sh <qvx7> [size in GiB, default 5]
# Needs about five times the size in free disk space beside the build.
set -euo pipefail
engine=$(realpath "$1")
gib=${2:-5}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${BIGFILE_DIR:-$here/build}/bigfile.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$here/examples/demo.kb" k.kb

# Sparse first, then real data written at the start, across the 4 GiB
# mark and at the end, so holes and data both go through.
size=$((gib * 1024 * 1024 * 1024))
truncate -s "$size" big.bin
mib=$((1024 * 1024))
for at in 0 $((size / 5)) $((4 * 1024 * mib - 8 * mib)) $((size - 16 * mib)); do
  [ "$at" -le $((size - 16 * mib)) ] || continue
  dd if=/dev/urandom of=big.bin bs=1M count=16 seek=$((at / mib)) conv=notrunc status=none
done
head -c $mib /dev/urandom > small.bin

# Peak resident memory (KiB) and seconds of one engine run.
run() {
  # Statuses 3 and 4 are the engine's success.
  /usr/bin/time -f "%M %e" -o time.txt "$engine" k.kb 1 "$@" > out.txt || true
  read -r rss secs < <(tail -n 1 time.txt)
  if grep -aq "SE HAN PERDIDO\|Error" out.txt; then echo "engine reported an error:"; grep -a "PERDIDO\|Error" out.txt; exit 1; fi
}

run c small.bin small.enc; small_rss=$rss
run c big.bin big.enc; enc_rss=$rss; enc_secs=$secs
run d big.enc big.dec; dec_rss=$rss; dec_secs=$secs

printf 'size            %s bytes (encoded %s)\n' "$(stat -c %s big.bin)" "$(stat -c %s big.enc)"
printf 'encode          %s s, peak %s KiB\n' "$enc_secs" "$enc_rss"
printf 'decode          %s s, peak %s KiB\n' "$dec_secs" "$dec_rss"
printf '1 MiB encode    peak %s KiB\n' "$small_rss"
ls qvx0* 2>/dev/null && { echo "work files left behind"; exit 1; }
cmp big.bin big.dec || { echo "round trip FAILED"; exit 1; }
echo "round trip ok"
# Constant memory: the 5 GiB runs stay within 4 MiB of the 1 MiB run.
for r in $enc_rss $dec_rss; do
  if [ "$r" -gt $((small_rss + 4096)) ]; then echo "memory grew with the file"; exit 1; fi
done
echo "memory constant"
