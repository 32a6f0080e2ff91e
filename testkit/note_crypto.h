// The cipher and hash behind note_builder, in two builds of the testkit (testkit/CMakeLists.txt).
// For the tests, where libcrypto is at hand, they come from it, independently of the tool's own
// code. The benchmarks, the fuzz targets and a Windows cross build's tests (no libcrypto is
// packaged there) use the project's own encrypt side instead: there the transcripts check the
// platform layer (files, streams, processes) rather than the cryptography, which the native tests
// check.
#pragma once

#include <string>

namespace testsupport {

std::string note_sha256(const std::string& bytes);
// AES-256-CBC over whole blocks, no padding.
std::string note_cbc(const std::string& input, const std::string& key, const std::string& iv,
                     bool encrypt);

}  // namespace testsupport
