#!/bin/sh
# Runs one fuzzer for a bounded time and prints how many inputs it executed.
# Usage: run_fuzzer.sh <fuzzer executable> <seconds> <seed corpus folder>
# New inputs go to fuzz-corpus/<fuzzer> beside the executable (the seed folder
# is only read), crash inputs to fuzz-artifacts/, the full log to fuzz-logs/.
set -u
if [ $# -ne 3 ]; then
    echo "usage: $0 <fuzzer executable> <seconds> <seed corpus folder>" >&2
    exit 2
fi
fuzzer=$1
seconds=$2
seeds=$3
name=$(basename "$fuzzer")
base=$(cd "$(dirname "$fuzzer")" && pwd)
work=$base/fuzz-corpus/$name
log=$base/fuzz-logs/$name.log
mkdir -p "$work" "$base/fuzz-artifacts" "$base/fuzz-logs"

"$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$base/fuzz-artifacts/$name-" "$work" "$seeds" >"$log" 2>&1
status=$?

if [ $status -ne 0 ]; then
    tail -n 60 "$log"
    echo "$name failed (exit $status); crash inputs in $base/fuzz-artifacts, log in $log"
    exit $status
fi
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
echo "$name: $runs executions in $seconds s, $rate per second"
