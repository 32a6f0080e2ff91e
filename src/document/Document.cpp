#include "document/Document.h"

#include <string>
#include <vector>

#include "platform/fail_fast.h"

// Texts are declared first so they are built first and destroyed last. std::vector relocates its
// elements by copy (Plaintext has no move constructor), and each old element's destructor wipes
// its block, so no released memory keeps a text's bytes.
struct Document::DocumentImpl {
    std::vector<Plaintext> texts;
    Properties properties;
};

static_assert(std::char_traits<char>::lt('\x7f', '\x80'),
              "property keys must order their bytes as unsigned values");

Document::Document() : imp(new DocumentImpl) {}

Document::~Document() {
    imp->properties.clear();
    delete imp;
}

std::int32_t Document::add_text(const Plaintext& text) {
    imp->texts.push_back(text);  // strong guarantee: a failed growth or copy leaves the list alone
    return text_count() - 1;
}

std::int32_t Document::take_text(Plaintext& text) {
    imp->texts.emplace_back();  // an empty text: only this step can fail
    imp->texts.back().take_from(text);
    return text_count() - 1;
}

std::int32_t Document::text_count() const noexcept {
    return static_cast<std::int32_t>(imp->texts.size());
}

Plaintext& Document::text(std::uint32_t index) {
    if (index >= imp->texts.size()) {
        platform::fail_fast();
    }
    return imp->texts[index];
}

const Plaintext& Document::text(std::uint32_t index) const {
    return const_cast<Document*>(this)->text(index);
}

void Document::replace_text(std::int32_t index, const Plaintext& text) {
    // The order of the checks matters: an index past the end is ignored silently, but only a
    // negative one stops the process. The +1 is done in 64 bits so INT32_MAX cannot overflow.
    if (static_cast<std::int64_t>(index) + 1 > text_count()) {
        return;
    }
    Plaintext copy(text);  // made before anything changes, so a failed copy changes nothing
    if (static_cast<std::uint32_t>(index) >= imp->texts.size()) {
        platform::fail_fast();
    }
    imp->texts[static_cast<std::uint32_t>(index)] = copy;
}

void Document::set_property(const std::string& key, const std::string& value) {
    imp->properties[key] = value;
}

std::string Document::property(const std::string& key) const {
    const auto it = imp->properties.find(key);
    return it == imp->properties.end() ? std::string("<null>") : it->second;
}

Document::Properties Document::all_properties() const {
    return imp->properties;
}
