#!/usr/bin/env bash
# What a user installs: the manual page passes the linter, an install into a
# scratch DESTDIR holds every file and its engine round-trips a file, and the
# packages hold what they should.
#   tests/dist.sh <build dir> <package dir> <version>
set -euo pipefail
build=$(realpath "$1")
packages=$(realpath "$2")
version=$3
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passes=0
failures=0
check() {  # check <what> <command...>
  local what=$1; shift
  if "$@"; then echo "ok   $what"; passes=$((passes + 1)); else echo "FAIL $what"; failures=$((failures + 1)); fi
}

lint=$(mandoc -T lint -W warning "$root/docs/qvx7.1" 2>&1 || true)
check "qvx7(1) has no mandoc warning" test -z "$lint"
[ -z "$lint" ] || echo "$lint"

# What a user can see the engine say is explained where a user looks.
in_docs() { grep -q "$1" "$root/README.md" && grep -q "$1" "$root/docs/qvx7.1"; }
for text in "Error no se ha escrito el Destino" "Esperando a que termine otro proceso" \
            "no se ha podido eliminar intentelo de nuevo" "authenticated modern cipher"; do
  check "README and qvx7(1) mention \"$text\"" in_docs "$text"
done

DESTDIR="$scratch/dest" cmake --install "$build" --prefix /usr >/dev/null
files="usr/bin/qvx7 usr/share/man/man1/qvx7.1.gz usr/share/doc/quorvex/README.md usr/share/doc/quorvex/demo.kb
       usr/share/doc/quorvex/copyright usr/share/doc/quorvex/changelog.gz"
for f in $files; do
  check "installed $f" test -f "$scratch/dest/$f"
done
engine="$scratch/dest/usr/bin/qvx7"
check "installed qvx7 --version" test "$("$engine" --version)" = "qvx7 (QUORVEX) $version"
mkdir "$scratch/run" && cd "$scratch/run"
head -c 300000 /dev/urandom > plain.bin
set +e
"$engine" "$scratch/dest/usr/share/doc/quorvex/demo.kb" 1 c plain.bin coded.bin >/dev/null </dev/null; enc=$?
"$engine" "$scratch/dest/usr/share/doc/quorvex/demo.kb" 1 d coded.bin back.bin >/dev/null </dev/null; dec=$?
set -e
check "installed engine encodes (status 4) and decodes (status 3)" test "$enc.$dec" = "4.3"
check "installed engine's round trip gives the file back" cmp -s plain.bin back.bin
check "the encoded file differs from the plain one" bash -c '! cmp -s plain.bin coded.bin'
check "no work file left" test -z "$(ls | grep qvx0 || true)"
cd "$root"

deb=$(ls "$packages"/quorvex_"$version"_*.deb)
listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in $files; do
  check ".deb holds $f" grep -qx "./$f" <<<"$listing"
done
check ".deb holds nothing else" test "$(grep -cv '/$' <<<"$listing")" = 6
check "the compressed manual page is the one in docs/" cmp -s <(zcat "$scratch/dest/usr/share/man/man1/qvx7.1.gz") "$root/docs/qvx7.1"
check "the changelog's last entry is version $version" \
  test "$(zcat "$scratch/dest/usr/share/doc/quorvex/changelog.gz" | head -n 1 | cut -d' ' -f2)" = "($version)"
verdict=$(lintian --no-tag-display-limit "$deb" 2>&1 | grep -E '^[EW]: ' || true)
check ".deb passes lintian (no error, no warning)" test -z "$verdict"
[ -z "$verdict" ] || echo "$verdict"
check ".deb is package quorvex $version" test "$(dpkg-deb -f "$deb" Package Version | tr '\n' ' ')" = "Package: quorvex Version: $version "
check ".deb depends on the C and C++ libraries" grep -q 'libc6.*libstdc++6' <<<"$(dpkg-deb -f "$deb" Depends)"
check ".deb names a maintainer" test -n "$(dpkg-deb -f "$deb" Maintainer)"
dpkg-deb -x "$deb" "$scratch/deb"
check ".deb's qvx7 runs" test "$("$scratch/deb/usr/bin/qvx7" --version)" = "qvx7 (QUORVEX) $version"

zip="$packages/quorvex-$version-windows.zip"
zipped=$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')
want="quorvex-$version-windows/ quorvex-$version-windows/README.txt quorvex-$version-windows/qvx4.exe quorvex-$version-windows/qvxpanel.exe "
check "Windows zip holds qvxpanel.exe, qvx4.exe and README.txt" test "$zipped" = "$want"

echo "dist: $passes passed, $failures failed"
[ "$failures" = 0 ]
