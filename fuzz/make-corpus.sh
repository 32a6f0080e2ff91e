#!/usr/bin/env bash
# Regenerates the seed corpus of fuzz_load_document with standard tools only (printf, sha256sum,
# openssl enc, dd). Each entry is what the fuzzer reads: one byte giving the password length, the
# password, then the file. Passwords hold no zero byte or newline, so .ci/memcheck.sh can hand them
# to the tool as an argument.
#
#   fuzz/make-corpus.sh        rewrites fuzz/corpus/load_document/
set -euo pipefail
cd "$(dirname "$0")"
out=corpus/load_document
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
rm -rf "$out"
mkdir -p "$out"

# Hex text to raw bytes.
unhex() { printf "$(printf '%s' "$1" | sed 's/../\\x&/g')"; }
# A 32-bit value as four little-endian bytes.
le32() { unhex "$(printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
# Overwrites the 32-bit field at byte `offset` of `file`.
patch32() { le32 "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
trailer() { unhex efbeadde; le32 "$1"; }

# note PASSWORD TEXT FLAGS WIDTH HEIGHT: a sound version-2 note on standard output.
note() {
  local password=$1 text=$2 flags=$3 width=$4 height=$5 iv=f0e1d2c3b4a5968778695a4b3c2d1e0f
  local key wanted cipher_len
  key=$(printf '%s' "$password" | sha256sum | cut -d' ' -f1)
  wanted=$({ printf '%s' "$text"; unhex "$iv"; } | sha256sum | cut -d' ' -f1)
  cipher_len=$(((${#text} / 16 + 1) * 16))  # openssl enc always pads with 1 to 16 bytes
  printf 'SEKRiT*2'
  unhex "$wanted"
  unhex "$iv"
  le32 "$cipher_len"
  le32 "${#text}"
  le32 "$flags"
  le32 "$width"
  le32 "$height"
  printf '%s' "$text" | openssl enc -aes-256-cbc -K "$key" -iv "$iv"
}

# entry NAME PASSWORD FILE: writes the corpus entry for FILE tried with PASSWORD.
entry() {
  { unhex "$(printf '%02x' "${#2}")"; printf '%s' "$2"; cat "$3"; } > "$out/$1"
}

pw='seed password'
text='A note for the fuzzer: short, but more than one block long.'
sound=$scratch/sound
note "$pw" "$text" 0 640 480 > "$sound"
cipher_len=$(( $(wc -c < "$sound") - 76 ))

entry sound-plain "$pw" "$sound"
entry sound-wrong-password 'not the password' "$sound"
note '' "$text" 3 $((0x80000000)) $((0xFFFFFFFF)) > "$scratch/flags"
entry sound-flags-empty-password '' "$scratch/flags"
{ printf 'host file bytes in front of the note\n'; cat "$sound"; trailer "$(wc -c < "$sound")"; } > "$scratch/trailer"
entry sound-behind-trailer "$pw" "$scratch/trailer"
{ cat "$sound"; trailer "$(wc -c < "$sound")"; } > "$scratch/trailer-at-start"
entry sound-behind-trailer-at-start "$pw" "$scratch/trailer-at-start"

head -c 40 "$sound" > "$scratch/cut"
entry header-cut-off "$pw" "$scratch/cut"
cp "$sound" "$scratch/past-end" && patch32 "$scratch/past-end" 56 $((cipher_len + 16))
entry cipher-past-end "$pw" "$scratch/past-end"
cp "$sound" "$scratch/odd" && patch32 "$scratch/odd" 56 $((cipher_len - 1))
entry cipher-not-multiple-of-16 "$pw" "$scratch/odd"
cp "$sound" "$scratch/long-plain" && patch32 "$scratch/long-plain" 60 $((cipher_len + 1))
entry plain-longer-than-cipher "$pw" "$scratch/long-plain"
cp "$sound" "$scratch/zero" && patch32 "$scratch/zero" 56 0 && patch32 "$scratch/zero" 60 0
entry cipher-len-zero "$pw" "$scratch/zero"
head -c 76 "$sound" > "$scratch/header-only" && patch32 "$scratch/header-only" 56 0 && patch32 "$scratch/header-only" 60 5
entry cipher-len-zero-plain-five "$pw" "$scratch/header-only"
{ printf 'host'; cat "$scratch/past-end"; trailer "$(wc -c < "$sound")"; } > "$scratch/past-end-trailer"
entry cipher-past-end-behind-trailer "$pw" "$scratch/past-end-trailer"
{ head -c 92 /dev/zero; trailer $((0xFFFFFFFF)); } > "$scratch/huge-trailer"
entry trailer-claiming-4gib "$pw" "$scratch/huge-trailer"
trailer 0 > "$scratch/trailer-only"
entry trailer-only "$pw" "$scratch/trailer-only"

{ printf 'host'; head -c 70 "$sound"; trailer 70; } > "$scratch/cut-behind-trailer"
entry header-cut-off-behind-trailer "$pw" "$scratch/cut-behind-trailer"
{ printf 'hostSEK'; trailer 3; } > "$scratch/short-document"
entry document-shorter-than-signature "$pw" "$scratch/short-document"
cp "$sound" "$scratch/damaged-hash" && patch32 "$scratch/damaged-hash" 8 0
entry damaged-stored-hash "$pw" "$scratch/damaged-hash"
# Zero padding: the text filled to a whole block with zero bytes rather than padded by openssl.
zero_text='twelve bytes'
{
  printf 'SEKRiT*2'
  unhex "$({ printf '%s' "$zero_text"; unhex f0e1d2c3b4a5968778695a4b3c2d1e0f; } | sha256sum | cut -d' ' -f1)"
  unhex f0e1d2c3b4a5968778695a4b3c2d1e0f
  le32 16; le32 12; le32 0; le32 80; le32 25
  { printf '%s' "$zero_text"; head -c 4 /dev/zero; } |
    openssl enc -aes-256-cbc -nopad -K "$(printf '%s' "$pw" | sha256sum | cut -d' ' -f1)" \
      -iv f0e1d2c3b4a5968778695a4b3c2d1e0f
} > "$scratch/zero-padding"
entry sound-zero-padding "$pw" "$scratch/zero-padding"

{ printf 'SEKRiT*1'; tail -c +9 "$sound"; } > "$scratch/v1"
entry version-1 "$pw" "$scratch/v1"
{ printf 'SEKRiT*3'; tail -c +9 "$sound"; } > "$scratch/unknown"
entry unknown-signature "$pw" "$scratch/unknown"

: > "$scratch/empty"
entry tiny-0 '' "$scratch/empty"
for n in 3 7 8; do
  head -c "$n" "$sound" > "$scratch/tiny"
  entry "tiny-$n" '' "$scratch/tiny"
done
echo "wrote $(ls "$out" | wc -l) entries to $(pwd)/$out"
