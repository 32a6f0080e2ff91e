// notediag PATH PASSWORD: finds the encrypted note in PATH, decrypts it with PASSWORD and prints
// every stage, so a developer sees where a document or a password goes wrong.
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string_view>

#include "app/load_document.h"
#include "crypto/aes/aes.h"
#include "file/File.h"
#include "platform/console.h"
#include "secure/Plaintext.h"

namespace {

constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

constexpr char usage_line[] = "usage: notediag PATH PASSWORD";

void print_help() {
    std::printf(
        "%s\n"
        "\n"
        "Finds the encrypted note in PATH (the whole file, or a document carried in front of an\n"
        "8-byte trailer at its end), decrypts it with PASSWORD and prints every stage as hex\n"
        "dumps, then the decrypted text or \"error loading :(\".\n"
        "\n"
        "  -h, --help     show this text\n"
        "      --version  show the version\n"
        "\n"
        "Exit status: 0 when the run completes (also when no document could be read),\n"
        "1 when the file cannot be opened or memory runs out, 2 for a usage error.\n",
        usage_line);
}

// Prints a text bounded by its size: its bytes up to the first zero byte, then a newline.
void print_text(const Plaintext& text) {
    const auto* bytes = text.data();
    std::size_t length = text.size();
    if (const void* zero = length != 0 ? std::memchr(bytes, 0, length) : nullptr) {
        length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes);
    }
    if (length != 0) {
        std::fwrite(bytes, 1, length, stdout);
    }
    std::fputc('\n', stdout);
}

int run(const char* path, const char* password) {
    aes_tables_init();
    Plaintext key;
    assign_c_string(key, password, false);
    std::printf("key <%s>, %d/%d\n", password, static_cast<int>(std::strlen(password)),
                static_cast<int>(key.size()));

    std::unique_ptr<Document> document = load_document(path, key);
    if (document) {
        print_text(document->text(0));
    } else {
        std::puts("error loading :(");
    }
    // Released here, not at exit, so the decrypted text is wiped before the process ends.
    document.reset();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    platform::use_binary_standard_streams();
    if (argc == 2) {
        const std::string_view option = argv[1];
        if (option == "-h" || option == "--help") {
            print_help();
            return 0;
        }
        if (option == "--version") {
            std::printf("notediag %s\n", NOTEDIAG_VERSION);
            return 0;
        }
    }
    if (argc < 3) {
        std::fprintf(stderr, "%s\n", usage_line);
        return exit_usage;
    }

    try {
        return run(argv[1], argv[2]);
    } catch (const file::FileError&) {
        std::fflush(stdout);
        const int error = file::last_open_error();
        std::fprintf(stderr, "notediag: cannot open '%s'%s%s\n", argv[1], error != 0 ? ": " : "",
                     error != 0 ? file::describe_open_error(error) : "");
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr, "notediag: out of memory\n");
    } catch (const std::exception& failure) {
        std::fflush(stdout);
        std::fprintf(stderr, "notediag: %s\n", failure.what());
    }
    return exit_failure;
}
