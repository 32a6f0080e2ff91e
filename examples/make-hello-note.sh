#!/usr/bin/env bash
# Regenerates hello.note with standard tools only (printf, sha256sum, openssl enc), so the example
# does not depend on notediag's own cipher or hash.
#
#   examples/make-hello-note.sh            writes examples/hello.note
#   notediag examples/hello.note 'correct horse'
set -euo pipefail
cd "$(dirname "$0")"

password='correct horse'
text='Hello from notediag! This note was written by the example script.'
iv=000102030405060708090a0b0c0d0e0f
flags=0
width=800
height=600

# Hex text to raw bytes.
unhex() { printf "$(printf '%s' "$1" | sed 's/../\\x&/g')"; }
# A 32-bit value as four little-endian bytes.
le32() { unhex "$(printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }

key=$(printf '%s' "$password" | sha256sum | cut -d' ' -f1)
wanted_hash=$({ printf '%s' "$text"; unhex "$iv"; } | sha256sum | cut -d' ' -f1)
plain_len=${#text}
cipher_len=$(( (plain_len / 16 + 1) * 16 ))   # openssl enc always adds 1 to 16 bytes of padding

{
  printf 'SEKRiT*2'
  unhex "$wanted_hash"
  unhex "$iv"
  le32 "$cipher_len"
  le32 "$plain_len"
  le32 "$flags"
  le32 "$width"
  le32 "$height"
  printf '%s' "$text" | openssl enc -aes-256-cbc -K "$key" -iv "$iv"
} > hello.note
echo "wrote $(pwd)/hello.note ($(wc -c < hello.note) bytes); password: $password"
