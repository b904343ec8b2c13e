// Prints the digest of each file named on the command line like md5sum does, through the
// installer's own digest, so that both can be timed on the same file.
#include <cstdio>

#include "support/file_md5.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: file_md5_bench FILE...\n");
        return 2;
    }
    int result = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string digest = Utils::GetFileMd5(argv[i]);
        if (digest.empty()) result = 1;
        std::printf("%s  %s\n", digest.c_str(), argv[i]);
    }
    return result;
}
