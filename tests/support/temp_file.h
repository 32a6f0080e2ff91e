// Scratch files for tests, removed when the test ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Path of `name` inside the directory.
    std::string file(std::string_view name) const;
    // Writes `bytes` to `name` inside the directory and returns its path.
    std::string write(std::string_view name, const std::vector<std::uint8_t>& bytes) const;
    std::string write(std::string_view name, std::string_view bytes) const;

  private:
    std::string path_;
};

std::vector<std::uint8_t> read_file(const std::string& path);

}  // namespace testsupport
