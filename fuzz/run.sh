#!/usr/bin/env bash
# Runs every fuzz target for a set time on a copy of its seed corpus.
#   fuzz/run.sh <build dir> <seconds per target> [target ...]
# Fails on the first finding; prints each target's executions.
set -euo pipefail
build=$(cd "$1" && pwd)  # absolute: the targets change directory
seconds=$2
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(slot config passes cli menus)
here=$(cd "$(dirname "$0")" && pwd)
work="$build/corpus"
status=0
for t in "${targets[@]}"; do
  mkdir -p "$work/$t" "$build/findings/$t"
  log="$build/$t.log"
  # -timeout: one input taking longer is a hang (the menus must end).
  if ASAN_OPTIONS=detect_leaks=1 "$build/${t}_fuzz" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$build/findings/$t/" "$work/$t" "$here/corpus/$t" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    printf '%-8s %10s executions in %ss, no finding\n' "$t" "$runs" "$seconds"
  else
    printf '%-8s FINDING, see %s and %s\n' "$t" "$log" "$build/findings/$t"
    tail -n 30 "$log"
    status=1
  fi
done
exit $status
