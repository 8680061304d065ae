#!/usr/bin/env bash
# make bench: encode/decode 64 MiB and 512 MiB files through the engine, beside
# the tools a user could pick instead; BENCH_BASELINE=<another qvx7> adds its
# figures to the same run.
set -euo pipefail
here=$(dirname "$0")
"$here/../build/default/bench/qvx_bench" "$1" "$here/../examples/demo.kb" ${BENCH_SIZES:-64 512}
