#!/usr/bin/env bash
# End-to-end test of the panel under Wine: the test build of qvxpanel drives
# its real windows from the step files beside this script, in a virtual X
# display and a fresh Wine prefix, with the Windows engine qvx4.exe and the
# Linux engine qvx7.
#   run.sh WIN_BUILD_DIR QVX7
# QVX_SCENARIOS (blank-separated names) runs only those scenarios.
# Results, screenshots and the panel's output land in WIN_BUILD_DIR/e2e.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
win=$(cd "$1" && pwd)
qvx7=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
out=$win/e2e
debs=(wine64 wine xvfb xauth imagemagick fonts-wine)

# `make panel-test` installs these (make deps); run alone, say what is missing.
check_installed() {
  local missing=()
  for p in "${debs[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return
  echo "missing Debian packages: ${missing[*]} (make panel-test installs them)"; exit 1
}

if [ -z "${QVX_INSIDE_X:-}" ]; then
  check_installed
  rm -rf "$out"; mkdir -p "$out"
  QVX_INSIDE_X=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

work=$(mktemp -d /tmp/qvxpanel-e2e.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# Z: is the Linux root under Wine.
windows_name() { printf 'Z:%s' "${1//\//\\}"; }
# The step and result files write a backslash as two.
escaped() { printf '%s' "${1//\\/\\\\}"; }
W=$(escaped "$(windows_name "$work")")

# Dates in the log vary from run to run.
normalise() {
  sed -E 's/(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}/<DATE>/g' "$1"
}

# A folder whose path passes 300 characters.
long=$work/$(printf 'carpeta-de-nombre-largo-%02d/' $(seq 1 12))
long=${long%/}
L=$(escaped "$(windows_name "$long")")

fill() { sed -e "s|@W@|$(escaped "$W")|g" -e "s|@L@|$(escaped "$L")|g" -e "s|@UL@|$long|g" -e "s|@U@|$work|g" -e "s|@OUT@|$out|g" "$1"; }

failures=0
wanted() {
  local all="engines keybook config launch unicode ctrlc nowindow checkfiles longpath status bare quotes drive records console texts"
  [[ " ${QVX_SCENARIOS:-$all} " == *" $1 "* ]]
}
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs one step file; its results must equal the .expected file beside it.
# Wine's own desktop window manages the windows: without a window manager on
# the display every window that closes would wait for one, and the
# screenshots get the windows' title bars.
scenario() {
  local name=$1 started=$SECONDS
  fill "$here/$name.steps" > "$work/$name.steps"
  (cd "$work/run" && QVXPANEL_SCRIPT="$(windows_name "$work/$name.steps")" \
     QVXPANEL_RESULTS="$(windows_name "$work/$name.results")" \
     timeout 120 wine explorer /desktop=qvxpanel,1280x1024 qvxpanel_test.exe > "$out/$name.stdout" 2>&1) || true
  normalise "$work/$name.results" > "$out/$name.results" 2>/dev/null || : > "$out/$name.results"
  fill "$here/$name.expected" > "$work/$name.expected"
  if diff -u "$work/$name.expected" "$out/$name.results" > "$out/$name.diff"; then
    echo "ok: $name ($((SECONDS - started)) s)"
  else
    fail "$name ($((SECONDS - started)) s): what the windows showed differs from $name.expected"
    cat "$out/$name.diff"
  fi
}

same_file() { cmp -s "$1" "$2" || fail "$(basename "$2") differs from $(basename "$1")"; }

# The text stored at `offset`: its bytes up to the first NUL.
field() { dd if="$1" bs=1 skip="$2" count="$3" status=none | tr '\0' '\n' | head -n 1; }

mkdir -p "$work/run"
cp "$win/qvxpanel_test.exe" "$win/qvx4.exe" "$work/run/"
cp "$qvx7" "$work/qvx7"
cp "$here/../../../examples/demo.kb" "$work/book.kb"
head -c 70000 /dev/urandom > "$work/plain.bin"
# A stand-in terminal for the Linux engines' console menus ("Ejecutar QVX4
# (Consola)"): it gives them an empty input and keeps what they show.
mkdir -p "$work/bin"
printf '#!/bin/sh\necho "$@" > "%s/xterm.args"\nshift\n"$@" < /dev/null > "%s/xterm.out" 2>&1\n' "$work" "$work" > "$work/bin/xterm"
chmod +x "$work/bin/xterm"
export PATH=$work/bin:$PATH
started=$SECONDS
wineboot -i >/dev/null 2>&1; wineserver -w
echo "ok: Wine prefix ($((SECONDS - started)) s)"

if wanted engines; then
scenario engines
same_file "$work/plain.bin" "$work/decoded-by-linux.bin"
same_file "$work/plain.bin" "$work/decoded-by-windows.bin"
fi

if wanted keybook; then
scenario keybook
book=$work/new.kb
[ "$(stat -c %s "$book")" = 1410 ] || fail "new.kb has $(stat -c %s "$book") bytes, not two slots"
[ "$(field "$book" 0 20)" = ANA ] || fail "slot 1 is not ANA"
[ "$(field "$book" 20 65)" = ana1-nueva ] || fail "slot 1 key 1 was not changed"
[ "$(field "$book" 605 65)" = ana10 ] || fail "slot 1 key 10"
[ "$(field "$book" 670 15)" = 8000000000 ] || fail "slot 1 engorde"
[ "$(field "$book" 705 20)" = CARLA ] || fail "slot 2 does not reuse the deleted slot"
grep -q "Numero de Registros del Libro" "$out/keybook.stdout" || fail "no raw listing before the deletion"
# The engine reads what the panel wrote.
(cd "$work" && "$work/qvx7" new.kb 1 c plain.bin by-book.qvx > /dev/null) && status=0 || status=$?
[ "$status" = 4 ] || fail "the engine could not encode with the new book (status $status)"
fi

if wanted config; then
scenario config
conf=$work/conf.qvx
expected_book=$(windows_name "$work/book.kb")
[ "$(head -c 1 "$conf" | od -An -tu1 | tr -d ' ')" = "${#expected_book}" ] &&
  [ "$(head -c $((1 + ${#expected_book})) "$conf" | tail -c +2)" = "$expected_book" ] ||
  fail "conf.qvx does not start with the key-book path and its length"
[ "$(tail -c 9 "$work/conf2.qvx" | od -An -c | tr -s ' ')" = " \b q v x 4 . e x e" ] || fail "conf2.qvx does not end with the engine path"
fi

if wanted launch; then
cp "$qvx7" "$work/run/qvx7"
cp "$qvx7" "$work/noexec-qvx7"
chmod a-x "$work/noexec-qvx7"
head -c 5000 /dev/urandom > "$work/small.bin"
# Kills the wrapper shell that started it, then runs the engine on.
printf '#!/bin/sh\nkill -KILL $PPID\nexec "%s" "$@"\n' "$work/qvx7" > "$work/killer"
chmod +x "$work/killer"
scenario launch
same_file "$work/plain.bin" "$work/decoded-bare.bin"
for _ in $(seq 100); do [ -s "$work/killed.qvx" ] && break; sleep 0.2; done
[ -s "$work/killed.qvx" ] || fail "the engine did not run on after its wrapper shell was killed"
fi

if wanted unicode; then
cp "$work/plain.bin" "$work/plain-é-ł.bin"
cp "$work/book.kb" "$work/book-ł.kb"
scenario unicode
same_file "$work/plain.bin" "$work/decoded-é-ł.bin"
same_file "$work/plain.bin" "$work/decoded-ł-linux.bin"
fi

# Paths of more than 300 characters through the file dialogs and the engine.
if wanted longpath; then
mkdir -p "$long"
cp "$work/plain.bin" "$long/plain.bin"
scenario longpath
same_file "$work/plain.bin" "$long/decoded.bin"
same_file "$work/plain.bin" "$long/decoded-win.bin"
fi

# An engine that did nothing, and one that failed: errors with their status.
if wanted status; then
printf '#!/bin/sh\nexit 8\n' > "$work/fail8"
chmod +x "$work/fail8"
scenario status
[ -e "$work/status-0.qvx" ] && fail "status: qvx4.exe wrote a destination without a record"
fi

# A bare engine name after a file dialog moved the working folder: the only
# engine of that name is in the start folder; it takes two seconds, and the
# program started next must find its output.
if wanted bare; then
mkdir -p "$work/other"
head -c 1000 /dev/urandom > "$work/other/big.bin"
printf '#!/bin/sh\nsleep 2\ncp "$4" "$5"\nexit 4\n' > "$work/run/slow"
printf '#!/bin/sh\n[ -e "%s/other/coded.qvx" ] && echo waited > "%s/bare.seen" || echo "not waited" > "%s/bare.seen"\nexit 4\n' \
  "$work" "$work" "$work" > "$work/check"
chmod +x "$work/run/slow" "$work/check"
scenario bare
[ "$(cat "$work/bare.seen" 2>/dev/null)" = waited ] || fail "bare: the engine was $(cat "$work/bare.seen" 2>/dev/null || echo 'not seen')"
same_file "$work/other/big.bin" "$work/other/coded.qvx"
fi

# Every printable byte reaches the engine inside its one argument.
if wanted quotes; then
printf '#!/bin/sh\necho $# > "%s/args.count"\nprintf "%%s\\n" "$@" > "%s/args.list"\nexit 4\n' "$work" "$work" > "$work/args"
chmod +x "$work/args"
scenario quotes
printable=$(printf '%s' ' !"#$%&'"'"'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[/]^_`abcdefghijklmnopqrstuvwxyz{|}~')
[ "$(cat "$work/args.count" 2>/dev/null)" = 20 ] || fail "quotes: the engine got $(cat "$work/args.count" 2>/dev/null) arguments, not 20"
for k in $(seq 7 20); do
  want=$printable
  [ "$k" = 17 ] || [ "$k" = 20 ] && want=0
  [ "$(sed -n "${k}p" "$work/args.list" 2>/dev/null)" = "$want" ] || fail "quotes: argument $k is $(sed -n "${k}p" "$work/args.list" 2>/dev/null)"
done
same_file "$work/plain.bin" "$work/quoted-decoded.bin"
fi

# Files on drive C: with the Linux engine.
if wanted drive; then
cp "$work/plain.bin" "$WINEPREFIX/drive_c/plain-c.bin"
scenario drive
same_file "$work/plain.bin" "$WINEPREFIX/drive_c/decoded-c.bin"
fi

# A record that went is handed back to nobody; what the panel creates is
# private (0600 under Wine).
if wanted records; then
cp "$work/book.kb" "$work/records.kb"
scenario records
for f in private.kb private.qvx; do
  [ "$(stat -c %a "$work/$f" 2>/dev/null)" = 600 ] || fail "records: $f has mode $(stat -c %a "$work/$f" 2>/dev/null), not 600"
done
fi

# The Linux engine's console menus open in a terminal (here a stand-in for
# xterm that gives them an empty input).
if wanted console; then
scenario console
[ "$(cat "$work/xterm.args" 2>/dev/null)" = "-e $work/qvx7" ] || fail "console: the engine was not started in a terminal"
[ -s "$work/xterm.out" ] || fail "console: the engine's menus were not shown"
fi

# Latin-1 letters in the texts reach both engines as the same bytes, through
# a private file (the engines' --texts); it is gone after the run.
if wanted texts; then
if grep -q -a -- --texts "$win/qvx4.exe" && grep -q -a -- --texts "$qvx7"; then
printf '#!/bin/sh\n[ "$1" = --texts ] && stat -c %%a "$2" > "%s/texts.mode" && cp "$2" "%s/texts.seen"\nexit 4\n' \
  "$work" "$work" > "$work/texts-probe"
chmod +x "$work/texts-probe"
scenario texts
same_file "$work/plain.bin" "$work/latin-by-linux.bin"
same_file "$work/plain.bin" "$work/latin-by-windows.bin"
[ "$(cat "$work/texts.mode" 2>/dev/null)" = 600 ] || fail "texts: the texts file has mode $(cat "$work/texts.mode" 2>/dev/null)"
printf 'a\xe9\n0\n0\n\xd1and\xfa\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n' > "$work/texts.want"
same_file "$work/texts.want" "$work/texts.seen"
left=$(find "$WINEPREFIX" -name 'qvxpanel-*.texts' | wc -l)
[ "$left" = 0 ] || fail "texts: $left texts files left behind"
else
echo "skipped: texts (these engines have no --texts)"
fi
fi

# Without the rich-edit library the main window cannot be made: the panel
# says so and ends with status 1 instead of vanishing.
if wanted nowindow; then
before=$failures
printf 'box ok\n' > "$work/nowindow.steps"
(cd "$work/run" && WINEDLLOVERRIDES="$WINEDLLOVERRIDES;riched20=d" \
   QVXPANEL_SCRIPT="$(windows_name "$work/nowindow.steps")" QVXPANEL_RESULTS="$(windows_name "$work/nowindow.results")" \
   timeout 120 wine qvxpanel_test.exe > "$out/nowindow.stdout" 2>&1) && status=0 || status=$?
[ "$status" = 1 ] || fail "nowindow: the panel ended with status $status, not 1"
[ "$(head -n 1 "$work/nowindow.results" 2>/dev/null)" = "box [ERROR] qvxpanel: no se ha podido crear la ventana principal." ] ||
  fail "nowindow: $(head -n 1 "$work/nowindow.results" 2>/dev/null)"
[ "$failures" = "$before" ] && echo "ok: nowindow"
fi

# qvx4.exe stopped by Ctrl-C midway leaves no work file and no temporary output.
if wanted ctrlc; then
mkdir -p "$work/ctrlc"
cp "$work/book.kb" "$work/ctrlc/book.kb"
head -c 8000000 /dev/urandom > "$work/ctrlc/big.bin"
cp "$win/qvx_ctrl_c_test.exe" "$work/run/"
started=$SECONDS
if (cd "$work/run" && timeout 120 wine qvx_ctrl_c_test.exe "$(windows_name "$work/run/qvx4.exe")" \
      "$(windows_name "$work/ctrlc")" > "$out/ctrlc.stdout" 2>&1); then
  echo "ok: ctrlc ($((SECONDS - started)) s)"
else
  fail "ctrlc ($((SECONDS - started)) s): $(grep -a -E '^(FAIL|qvx4)' "$out/ctrlc.stdout")"
fi
fi

if wanted checkfiles; then source "$here/checkfiles.sh"; fi

echo "screenshots: $out/*.png"
if [ "$failures" -ne 0 ]; then echo "panel under Wine: $failures failed"; exit 1; fi
echo "panel under Wine: all passed"
