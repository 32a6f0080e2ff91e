// A small JSON writer for the machine-readable reports: objects and arrays written in order into a
// string, with the commas and escapes JSON needs. No dependency, no parsing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class JsonWriter {
  public:
    explicit JsonWriter(std::string& out) : out_(out) {}

    JsonWriter& begin_object();
    JsonWriter& end_object();
    JsonWriter& begin_array();
    JsonWriter& end_array();
    // The member name inside an object; the value follows.
    JsonWriter& key(std::string_view name);

    // A string of any bytes: valid UTF-8 as it is (control characters, quote and backslash
    // escaped); each byte that is not part of valid UTF-8 as \udcXX, XX its value (the
    // convention of Python's "surrogateescape", which reads the bytes back exactly).
    JsonWriter& string(std::string_view bytes);
    // Bytes as lower-case hexadecimal digits in a string.
    JsonWriter& hex(const std::uint8_t* bytes, std::size_t count);
    JsonWriter& number(std::uint64_t value);
    JsonWriter& number(std::int64_t value);
    // A finite number with `decimals` digits after the point.
    JsonWriter& number(double value, int decimals);
    JsonWriter& boolean(bool value);
    JsonWriter& null();

  private:
    void separate();

    std::string& out_;
    bool first_ = true;  // nothing written yet at the current level
    bool after_key_ = false;
};
