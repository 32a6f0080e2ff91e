// The cipher and hash behind note_builder. Where libcrypto is at hand (the native build) they come
// from it, independently of the tool's own code; a Windows cross build has no libcrypto and uses
// the project's own encrypt side instead, so there the transcripts check the platform layer (files,
// streams, processes) rather than the cryptography, which the native build checks.
#pragma once

#include <string>

namespace testsupport {

std::string note_sha256(const std::string& bytes);
// AES-256-CBC over whole blocks, no padding.
std::string note_cbc(const std::string& input, const std::string& key, const std::string& iv,
                     bool encrypt);

}  // namespace testsupport
