#!/usr/bin/env bash
# Regenerates the seed corpus of fuzz_load_document from the table of hostile files
# (testkit/hostile_files.cpp), which the command-line test also runs and checks this corpus
# against. Each entry is what the fuzzer reads: one byte giving the password length, the password,
# then the file. Passwords hold no zero byte or newline, so .ci/memcheck.sh can hand them to the
# tool as an argument.
#
#   fuzz/make-corpus.sh [BUILD]     rewrites fuzz/corpus/load_document/; BUILD defaults to
#                                   build/default (configured with cmake --preset default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
cmake --build "$build" --target notediag_seed_corpus
out=fuzz/corpus/load_document
rm -rf "$out"
mkdir -p "$out"
"$build/testkit/notediag_seed_corpus" "$out"
