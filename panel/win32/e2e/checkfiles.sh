# Check files across the two builds: one written by qvx4.exe (CNG) verifies
# with qvx7 (libcrypto) and the reverse, and a wrong text fails on both;
# and data piped from one build through the other ("-", binary on Windows).
# Sourced by run.sh, which gives $work (with book.kb and plain.bin and
# run/qvx4.exe), $qvx7, $out and fail; the engines' errors go to
# $out/checkfiles.stderr.
checks() {
  local before=$failures status
  mkdir -p "$work/checkfiles"
  cp "$work/book.kb" "$work/plain.bin" "$work/checkfiles/"
  cd "$work/checkfiles"
  exec 3>&2 2>> "$out/checkfiles.stderr"
  wine "$work/run/qvx4.exe" --script --check book.kb 1 c plain.bin by-windows.qvx 0 texto && status=0 || status=$?
  [ "$status" = 0 ] || fail "checkfiles: qvx4.exe --check encoding ended with status $status"
  [ -s by-windows.qvx.qvxchk ] || fail "checkfiles: qvx4.exe wrote no check file"
  "$qvx7" --script --check book.kb 1 d by-windows.qvx back-linux.bin 0 texto && status=0 || status=$?
  [ "$status" = 0 ] || fail "checkfiles: qvx7 does not verify the check file of qvx4.exe (status $status)"
  cmp -s plain.bin back-linux.bin || fail "checkfiles: qvx7 decoded the file of qvx4.exe wrongly"
  "$qvx7" --script book.kb 1 d by-windows.qvx wrong.bin 0 otro && status=0 || status=$?
  [ "$status" = 9 ] && [ ! -e wrong.bin ] || fail "checkfiles: a wrong text gave status $status with qvx7"

  "$qvx7" --script --check book.kb 1 c plain.bin by-linux.qvx 0 texto && status=0 || status=$?
  [ "$status" = 0 ] || fail "checkfiles: qvx7 --check encoding ended with status $status"
  wine "$work/run/qvx4.exe" --script --check book.kb 1 d by-linux.qvx back-windows.bin 0 texto && status=0 || status=$?
  [ "$status" = 0 ] || fail "checkfiles: qvx4.exe does not verify the check file of qvx7 (status $status)"
  cmp -s plain.bin back-windows.bin || fail "checkfiles: qvx4.exe decoded the file of qvx7 wrongly"
  wine "$work/run/qvx4.exe" --script book.kb 1 d by-linux.qvx wrong.bin 0 otro && status=0 || status=$?
  [ "$status" = 9 ] && [ ! -e wrong.bin ] || fail "checkfiles: a wrong text gave status $status with qvx4.exe"
  wine "$work/run/qvx4.exe" --script book.kb 1 c - - < plain.bin | "$qvx7" --script book.kb 1 d - - > piped.bin
  cmp -s plain.bin piped.bin || fail "checkfiles: qvx4.exe to qvx7 through a pipe"
  "$qvx7" --script book.kb 1 c - - < plain.bin | wine "$work/run/qvx4.exe" --script book.kb 1 d - - > piped.bin
  cmp -s plain.bin piped.bin || fail "checkfiles: qvx7 to qvx4.exe through a pipe"
  exec 2>&3 3>&-
  cd - > /dev/null
  [ "$failures" = "$before" ] && echo "ok: checkfiles"
}
checks
