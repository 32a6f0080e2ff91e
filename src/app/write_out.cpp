#include "app/write_out.h"

#include <algorithm>
#include <memory>
#include <string>

#include "app/messages.h"
#include "document/format.h"
#include "document/read_document_v2.h"
#include "platform/escape.h"
#include "platform/stream.h"

namespace {

// A file being written: removed again unless kept, so a failure leaves nothing half-written.
class NewFile {
  public:
    // A file that cannot be made is this file's failure, not the input's: it is said here.
    NewFile(const char* path, bool owner_only) : path_(path) {
        try {
            file_ = file::create_new(path, owner_only);
        } catch (const file::FileError&) {
            messages::sayf("cannot create '%s': %s", platform::shown_in_message(path_).c_str(),
                           file::describe_error(file::last_failure().error));
        }
    }
    ~NewFile() {
        // Only what this made is removed: a name that could not be taken may be another's file.
        if (!kept_ && file_ != nullptr) {
            file_.reset();
            file::remove(path_);
        }
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    bool created() const noexcept { return file_ != nullptr; }

    bool write(const void* bytes, std::size_t count) {
        if (error_ == 0 && count != 0 && !file_->write(bytes, count)) {
            error_ = platform::last_system_error();
        }
        return error_ == 0;
    }
    // Closes the file and keeps it; false (after the message) when a write had failed.
    bool keep() {
        if (error_ != 0) {
            messages::sayf("cannot write '%s': %s", platform::shown_in_message(path_).c_str(),
                           platform::error_text(error_));
            return false;
        }
        file_.reset();
        kept_ = true;
        return true;
    }

  private:
    const char* path_;
    std::unique_ptr<File> file_;
    int error_ = 0;
    bool kept_ = false;
};

// Hands the text of a second reading to the file.
class TextToFile : public ReadObserver {
  public:
    explicit TextToFile(NewFile& out) : out_(out) {}
    void text(const std::uint8_t* bytes, std::size_t count) override { out_.write(bytes, count); }

  private:
    NewFile& out_;
};

}  // namespace

int check_new_files(const CommandLine& command) {
    for (const char* path : {command.extract, command.output}) {
        if (path != nullptr && file::exists(path)) {
            messages::sayf("cannot create '%s': it exists, and is not overwritten",
                           platform::shown_in_message(path).c_str());
            return exit_failure;
        }
    }
    return 0;
}

int extract_document(const char* to, File& input, const DocumentReport& report) {
    if (!report.located) {
        messages::sayf("nothing written to '%s': no document was located",
                       platform::shown_in_message(to).c_str());
        return exit_no_document;
    }
    NewFile out(to, false);
    if (!out.created()) {
        return exit_failure;
    }
    std::uint8_t piece[1 << 16];
    const DocumentExtent& extent = report.extent;
    bool read = input.seek(static_cast<std::int32_t>(extent.start));
    // A failed write stops the copy and is said by keep(); only a failed read is the input's.
    bool written = true;
    for (std::uint32_t done = 0; read && written && done < extent.length;) {
        const std::uint32_t count = std::min<std::uint32_t>(extent.length - done, sizeof piece);
        read = input.read(piece, count);
        written = read && out.write(piece, count);
        done += count;
    }
    if (!read) {
        messages::say("cannot read the document again: the input changed");
        return exit_failure;
    }
    return out.keep() ? 0 : exit_failure;
}

int write_text(const char* to, File& input, const DocumentReport& report, const Plaintext& key) {
    NewFile out(to, true);
    if (!out.created()) {
        return exit_failure;
    }
    TextToFile writer(out);
    DocumentReport again;
    read_document_v2(input, report.extent, key, writer, again);
    if (again.no_document != NoDocument::none ||
        again.check_hash_matches != report.check_hash_matches) {
        messages::say("cannot read the document again: the input changed");
        return exit_failure;
    }
    return out.keep() ? 0 : exit_failure;
}
