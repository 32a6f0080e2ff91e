#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time from a scratch copy of the seed
# corpus (the committed one is never written to). Any crash, leak, timeout, out-of-memory or broken
# invariant fails the run; the executions of each fuzzer are reported.
#
#   .ci/fuzz.sh [LOAD_SECONDS [DUMP_SECONDS [VERDICT_SECONDS]]]      defaults: 120, 30 and 60
set -euo pipefail
cd "$(dirname "$0")/.."
load_seconds=${1:-120}
dump_seconds=${2:-30}
verdict_seconds=${3:-60}

rm -rf build/fuzz
cmake --workflow --preset fuzz

scratch=fuzz/corpus-run
rm -rf "$scratch"
mkdir -p "$scratch/load_document" "$scratch/hex_dump" "$scratch/verdict" "$scratch/artifacts"
cp fuzz/corpus/load_document/* "$scratch/load_document/"
# The verdict's target reads the same inputs: a password, then a file.
cp fuzz/corpus/load_document/* "$scratch/verdict/"

# run NAME SECONDS CORPUS [OPTIONS...]
run() {
  local name=$1 seconds=$2 corpus=$3 log=$scratch/$1.log status=0
  shift 3
  build/fuzz/fuzz/"$name" -max_total_time="$seconds" -rss_limit_mb=512 -timeout=5 \
    -print_final_stats=1 -artifact_prefix="$scratch/artifacts/$name-" "$@" "$corpus" \
    > "$log" 2>&1 || status=$?
  local executions
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if ((status != 0)) || compgen -G "$scratch/artifacts/$name-*" > /dev/null; then
    tail -n 60 "$log" >&2
    echo "fuzz: $name failed (exit status $status); reproducer in $scratch/artifacts" >&2
    exit 1
  fi
  echo "fuzz: $name ran ${executions:-?} executions in ${seconds} s, no failure"
}

run fuzz_load_document "$load_seconds" "$scratch/load_document"
# Long enough inputs to fill several of the dump's 64 KiB output blocks.
run fuzz_hex_dump "$dump_seconds" "$scratch/hex_dump" -max_len=32768
run fuzz_verdict_json "$verdict_seconds" "$scratch/verdict"
