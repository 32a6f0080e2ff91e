// What people get wrong about a password: the same text in another encoding, a line ending or a
// space too many, Caps Lock. Each variant is a candidate to try against the check hash.
#pragma once

#include <cstddef>
#include <cstdint>

#include "secure/Plaintext.h"

namespace verdict {

struct VariantName {
    const char* kind;  // "password-encoding" or "password-variant"
    const char* name;  // "windows-1252", "utf-16le", "nfd", "trailing-lf", "caps-lock", ...
    const char* from;  // for "utf-8": the code page the bytes were read as; else null
};

using VariantUse = bool (*)(void* context, const VariantName& name, const std::uint8_t* bytes,
                            std::size_t length);

// Calls `use` for every variant of `password`, in this order, skipping any variant that is
// impossible, equal to the password or equal to an earlier one; stops and returns true as soon as
// `use` returns true, else returns false. The bytes handed to `use` live until it returns.
//
// password-encoding, when the password is valid UTF-8: its characters one byte each in
//   windows-1252, iso-8859-1, ibm437, ibm850 and mac-roman (each only when every character is in
//   the page), then utf-16le, then nfc and nfd (Latin letters composed and decomposed:
//   Latin-1 Supplement, Latin Extended-A, the pinyin, Romanian and Vietnamese letters of Latin
//   Extended-B and -Additional, the Welsh w);
// password-encoding, when it is not: its bytes read as windows-1252, ibm437 and ibm850 and
//   written as UTF-8 (name "utf-8", from the page; not when a byte is undefined in the page);
// password-variant: trailing-lf, trailing-crlf, trailing-space (added), trimmed (trailing spaces,
//   tabs, CRs and LFs removed), caps-lock (the case of every letter inverted), lower-case,
//   upper-case. Case covers ASCII, and for UTF-8 passwords also Latin-1, Latin Extended-A, Greek
//   and Cyrillic.
//
// Every variant is built in `scratch`, which is cleared (wiped) before returning; a caller trying
// many passwords passes the same scratch each time, and then nothing is allocated once it has grown
// to the largest. The password is at most 16 MiB.
bool for_each_password_variant(const std::uint8_t* password, std::size_t length, VariantUse use,
                               void* context, Plaintext& scratch);
// The same with a scratch of its own.
bool for_each_password_variant(const std::uint8_t* password, std::size_t length, VariantUse use,
                               void* context);

}  // namespace verdict
