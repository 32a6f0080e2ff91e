// Document: a loaded note, independent of its file format. An ordered list of texts (each held
// as its own deep copy, index 0 first) and a map of string properties ordered byte-wise.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "secure/Plaintext.h"

class Document {
  public:
    // Keys compare their bytes as unsigned values; a prefix sorts first. std::string's ordering
    // is that of char_traits<char>, which compares as unsigned char.
    using Properties = std::map<std::string, std::string>;

    Document();
    // Wipes every text (each Plaintext wipes itself); properties go first, then the texts.
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Appends a deep copy of `text` and returns its index. On failure the list is unchanged.
    // Kept: part of the interface the tool itself does not call (its tests do); not dead code.
    std::int32_t add_text(const Plaintext& text);
    // Appends `text` itself, handed over rather than copied, and returns its index; `text` is left
    // empty. A reader hands over a payload of any size this way without a second block for it,
    // and without the trace an exchange writes. On failure the list and `text` are unchanged.
    std::int32_t take_text(Plaintext& text);
    std::int32_t text_count() const noexcept;
    // The stored text; an index at or past the count stops the process (checked in every build).
    // The reference stays valid until the next add_text or take_text, or the document's
    // destruction.
    Plaintext& text(std::uint32_t index);
    const Plaintext& text(std::uint32_t index) const;
    // Gives text `index` the content of `text`. An index at or past the count changes nothing;
    // a negative index stops the process.
    // Kept: part of the interface the tool itself does not call (its tests do); not dead code.
    void replace_text(std::int32_t index, const Plaintext& text);

    void set_property(const std::string& key, const std::string& value);
    // A copy of the value, or "<null>" when `key` is absent.
    // Kept: part of the interface the tool itself does not call (its tests do); not dead code.
    std::string property(const std::string& key) const;
    // Kept: part of the interface the tool itself does not call (its tests do); not dead code.
    Properties all_properties() const;

  private:
    struct DocumentImpl;
    DocumentImpl* imp;
};
