#include "test_support.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace TestSupport {

std::string MakeFolder(const std::string& hint) {
    static int counter = 0;
    std::filesystem::path folder =
        std::filesystem::path(PrivateFolder()) / (hint + "." + std::to_string(++counter));
    std::filesystem::create_directories(folder);
    return folder.string();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool FileExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

const std::string& CapturedLogFile() {
    static const std::string path = PrivateFolder() + "/debug.log";  // set up by the test main
    return path;
}

std::string HelperPath(const std::string& name) {
    return std::string(PARLUMO_TEST_HELPERS_DIR) + "/" + name;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace TestSupport
