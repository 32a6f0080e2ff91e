# Seals version-2 notes with standard tools only (printf, sha256sum, openssl enc), independently of
# notediag's own cipher and hash. POSIX sh; source it with `.` and call the functions:
#
#   seal_note PASSWORD IV_HEX FLAGS WIDTH HEIGHT TEXT_FILE > NOTE
#
# The header is 76 bytes: the signature SEKRiT*2, the SHA-256 of the text and the IV, the IV, then
# five little-endian 32-bit fields (ciphertext length, text length, flags, width, height); the
# ciphertext follows, AES-256-CBC under the SHA-256 of the password, padded by openssl enc with 1
# to 16 bytes each equal to their count.

# Hex text to raw bytes (octal escapes: POSIX printf knows no \x).
unhex() {
  _seal_hex=$1
  _seal_format=
  while [ -n "$_seal_hex" ]; do
    _seal_rest=${_seal_hex#??}
    _seal_format="$_seal_format\\$(printf '%03o' "0x${_seal_hex%"$_seal_rest"}")"
    _seal_hex=$_seal_rest
  done
  printf "$_seal_format"
}

# A 32-bit value as four little-endian bytes.
le32() {
  unhex "$(printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"
}

# The SHA-256 of standard input, in hex.
sha256_hex() {
  sha256sum | cut -d' ' -f1
}

# seal_note PASSWORD IV_HEX FLAGS WIDTH HEIGHT TEXT_FILE: the sealed note on standard output.
seal_note() {
  _seal_key=$(printf '%s' "$1" | sha256_hex)
  _seal_plain_len=$(wc -c < "$6")
  _seal_plain_len=$((_seal_plain_len + 0))
  printf 'SEKRiT*2'
  unhex "$({ cat "$6"; unhex "$2"; } | sha256_hex)"
  unhex "$2"
  le32 $(((_seal_plain_len / 16 + 1) * 16))
  le32 "$_seal_plain_len"
  le32 "$3"
  le32 "$4"
  le32 "$5"
  openssl enc -aes-256-cbc -K "$_seal_key" -iv "$2" < "$6"
}
