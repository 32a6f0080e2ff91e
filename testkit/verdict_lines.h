// The verdict lines the tests expect, each written once: without "notediag: " and the newline, as
// the hostile-file table holds them, and as whole lines of standard error.
#pragma once

#include <string>
#include <vector>

namespace testsupport::verdict {

inline const std::string matches =
    "check hash matches: the password is right and the document is intact";
inline const std::string damaged =
    "check hash differs: the password is right; the document or its stored hash is damaged";
inline const std::string wrong_password = "check hash differs: a wrong password";
inline const std::string undecided = "check hash differs: a wrong password or a damaged document";

// `verdict` as standard error carries it, followed by its `details` (evidence, damage, hints).
inline std::string line(const std::string& verdict, const std::vector<std::string>& details = {}) {
    std::string text = "notediag: " + verdict + "\n";
    for (const std::string& detail : details) {
        text += "notediag: " + detail + "\n";
    }
    return text;
}

}  // namespace testsupport::verdict
