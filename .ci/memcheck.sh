#!/usr/bin/env bash
# Runs the built tool under valgrind memcheck on the shipped example and on every seed of the
# load_document fuzzer; any memory error or definite leak fails the run.
#
#   .ci/memcheck.sh [TOOL]      TOOL defaults to build/default/notediag
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:-build/default/notediag}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

memcheck() {
  valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
    --track-origins=yes "$tool" "$@" > "$scratch/transcript"
}

runs=0
memcheck examples/hello.note 'correct horse'
# The password read from standard input, and the note read whole from it.
printf 'correct horse\n' | memcheck examples/hello.note
memcheck - 'correct horse' < examples/hello.note
runs=$((runs + 3))
# A seed is one byte of password length, the password, then the file: the table of hostile files
# (testkit/hostile_files.cpp) that the command-line test runs too.
for seed in fuzz/corpus/load_document/*; do
  length=$(od -An -tu1 -N1 "$seed" | tr -d ' ')
  length=${length:-0}
  # No pipe: a reader that stops early would kill the writer with SIGPIPE under pipefail.
  password=$(dd if="$seed" bs=1 skip=1 count="$length" status=none)
  tail -c +$((length + 2)) "$seed" > "$scratch/file"
  if ! memcheck "$scratch/file" "$password"; then
    echo "memcheck: valgrind reported errors on $seed" >&2
    exit 1
  fi
  runs=$((runs + 1))
done
echo "memcheck: $runs runs of $tool, no errors"
