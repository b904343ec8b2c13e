// A child program for the child-process tests: writes what the test asks for on its
// standard output or error, in exactly the writes described, then ends.
//
//   child_reporter silent                 writes nothing, exits 0
//   child_reporter exit <code>            exits with <code>
//   child_reporter abort                  ends through SIGABRT
//   child_reporter burst <count>          writes <count> bytes "0123456789..." in one write
//   child_reporter hex <hex digits>       writes the bytes given in hexadecimal
//   child_reporter flood-stderr <MiB>     writes <MiB> MiB to standard error, then "done"
//   child_reporter args                   writes each argument after the mode on its own line
//   child_reporter descriptors            writes the targets of its descriptors above 2
//   child_reporter wait-file <path>       writes "waiting", ends once <path> exists

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

namespace {

void WriteOnce(std::FILE* stream, const std::string& bytes) {
    // Fully buffered with room for everything, so the bytes leave in one write at the flush.
    static char buffer[1 << 16];
    std::setvbuf(stream, buffer, _IOFBF, sizeof buffer);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

int HexValue(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string mode = argv[1];
    if (mode == "silent") return 0;
    if (mode == "exit" && argc > 2) return std::atoi(argv[2]);
    if (mode == "abort") std::abort();
    if (mode == "burst" && argc > 2) {
        const std::size_t count = std::strtoul(argv[2], nullptr, 10);
        std::string bytes(count, '\0');
        for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>('0' + i % 10);
        WriteOnce(stdout, bytes);
        return 0;
    }
    if (mode == "hex" && argc > 2) {
        const std::string digits = argv[2];
        std::string bytes;
        for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
            bytes.push_back(static_cast<char>(HexValue(digits[i]) * 16 + HexValue(digits[i + 1])));
        }
        WriteOnce(stdout, bytes);
        return 0;
    }
    if (mode == "flood-stderr" && argc > 2) {
        const std::string block(1 << 20, 'e');
        for (int i = std::atoi(argv[2]); i > 0; --i) {
            if (std::fwrite(block.data(), 1, block.size(), stderr) != block.size()) return 3;
        }
        WriteOnce(stdout, "done");
        return 0;
    }
    if (mode == "args") {
        std::string lines;
        for (int i = 2; i < argc; ++i) lines += std::string(argv[i]) + "\n";
        WriteOnce(stdout, lines);
        return 0;
    }
    if (mode == "descriptors") {
        std::string lines;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
            const std::string name = entry.path().filename().string();
            if (std::atoi(name.c_str()) <= 2) continue;
            const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
            if (target.rfind("/proc/", 0) == 0) continue;  // the listing's own descriptor
            lines += name + " " + target + "\n";
        }
        WriteOnce(stdout, lines.empty() ? std::string("none\n") : lines);
        return 0;
    }
    if (mode == "wait-file" && argc > 2) {
        WriteOnce(stdout, "waiting");
        while (!std::filesystem::exists(argv[2])) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return 0;
    }
    return 2;
}
