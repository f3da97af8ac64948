#!/usr/bin/env bash
# Runs one fuzz target (or all) for a given time, growing a working corpus
# in build/fuzz/work/<target> from the seeds in fuzz/corpus/<target>.
#   fuzz/run.sh [TARGET|all] [SECONDS]
# The last status line of each run (coverage, features, corpus) is printed;
# crashes are left as build/fuzz/work/crash-* files.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-all}
seconds=${2:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null
targets=(switch picture_rules key_value picture_header orientation colour_profile)
[ "$target" = all ] || targets=("$target")
for t in "${targets[@]}"; do
  work=build/fuzz/work/$t
  mkdir -p "$work"
  log=build/fuzz/work/$t.log
  build/fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/work/crash-"$t"- "$work" "fuzz/corpus/$t" >"$log" 2>&1 || {
    echo "$t: FAILED, see $log"
    continue
  }
  echo "$t: $(grep -E '^#[0-9]+' "$log" | tail -1)"
done
