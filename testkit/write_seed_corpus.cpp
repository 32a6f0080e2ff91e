// Writes one seed of the load_document fuzzer per entry of the hostile-file table into the
// directory named on the command line (fuzz/make-corpus.sh).
#include <cstdio>
#include <string>

#include "testkit/hostile_files.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: notediag_seed_corpus DIRECTORY\n");
        return 2;
    }
    for (const auto& file : testsupport::hostile_files()) {
        const std::string path = std::string(argv[1]) + "/" + file.seed;
        const std::string bytes = testsupport::seed_bytes(file);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
            std::fclose(out) != 0) {
            std::perror(path.c_str());
            return 1;
        }
    }
    std::printf("wrote %zu seeds to %s\n", testsupport::hostile_files().size(), argv[1]);
    return 0;
}
