#!/usr/bin/env bash
# Encode a sample file with record 1 of the sample key book, decode it back,
# and show that the round trip gives the original while the encoded file
# looks nothing like it.
set -euo pipefail
engine=$(realpath "$1")
book=$(realpath "$(dirname "$0")/demo.kb")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

{
  echo "QUORVEX demo: a plain text that goes through 23 keyed passes and back."
  for i in $(seq 1 400); do echo "linea $i: El veloz murcielago hindu comia feliz cardillo y kiwi."; done
  head -c 100000 /dev/urandom
} > original.bin

echo "== encoding original.bin with record 1 of $(basename "$book")"
set +e
"$engine" "$book" 1 c original.bin encoded.bin > encode.log
enc=$?
"$engine" "$book" 1 d encoded.bin decoded.bin > decode.log
dec=$?
set -e
echo "   encoder exit status $enc (4 = encoded), decoder exit status $dec (3 = decoded)"
echo "   last lines the encoder printed:"
tail -n 4 encode.log | iconv -f latin1 -t utf-8 | sed 's/^/     | /'
ls -l original.bin encoded.bin decoded.bin | awk '{print "   " $5 "\t" $9}'
echo "   first bytes of the original: $(head -c 32 original.bin | od -An -c | tr -s ' ' | head -n 2 | tr '\n' ' ')"
echo "   first bytes of the encoded:  $(head -c 16 encoded.bin | od -An -tx1 | tr -s ' ')"
if cmp -s original.bin encoded.bin; then echo "FAIL: the encoded file equals the original"; exit 1; fi
if cmp -s original.bin decoded.bin; then
  echo "OK: decoded.bin is byte for byte the original; no work file is left: $(ls | grep -c qvx0 || true) found"
else
  echo "FAIL: decoded.bin differs from the original"; exit 1
fi
