#!/bin/sh
# Regenerates hello.note with standard tools only (printf, sha256sum, openssl enc), so the example
# does not depend on notediag's own cipher or hash. The sealing is in seal-note.sh beside it.
#
#   examples/make-hello-note.sh            writes examples/hello.note, beside the script
#   examples/make-hello-note.sh OUT        writes OUT instead (where the script's own directory
#                                          is read-only, as an installed copy's is)
#   notediag examples/hello.note 'correct horse'
set -eu
here=$(dirname "$0")
. "$here/seal-note.sh"
out=${1:-$here/hello.note}

password='correct horse'
text='Hello from notediag! This note was written by the example script.'
iv=000102030405060708090a0b0c0d0e0f
flags=0
width=800
height=600

text_file=$(mktemp)
trap 'rm -f "$text_file"' EXIT
printf '%s' "$text" > "$text_file"
seal_note "$password" "$iv" "$flags" "$width" "$height" "$text_file" > "$out"
echo "wrote $out ($(wc -c < "$out") bytes); password: $password"
