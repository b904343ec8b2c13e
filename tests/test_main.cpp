// Entry of every test program: gives the process a private folder for HOME, the XDG
// folders, APPDATA and TMPDIR before any test runs, and removes it afterwards
// (kept when PARLUMO_KEEP_TEST_FILES is set). The diagnostic log goes to debug.log there.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace {
std::string privateFolder;
}

namespace TestSupport {
const std::string& PrivateFolder() { return privateFolder; }
}  // namespace TestSupport

int main(int argc, char** argv) {
    std::string pattern = (std::filesystem::temp_directory_path() / "parlumo-test.XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 2;
    privateFolder = pattern;
    const struct { const char* variable; const char* folder; } layout[] = {
        {"HOME", "home"},           {"XDG_CONFIG_HOME", "home/.config"},
        {"XDG_DATA_HOME", "home/.local/share"}, {"XDG_CACHE_HOME", "home/.cache"},
        {"XDG_RUNTIME_DIR", "run"}, {"APPDATA", "appdata"},
        {"TMPDIR", "tmp"},
    };
    for (const auto& entry : layout) {
        const std::string folder = privateFolder + "/" + entry.folder;
        std::filesystem::create_directories(folder);
        setenv(entry.variable, folder.c_str(), 1);
    }
    setenv("PARLUMO_LOG", (privateFolder + "/debug.log").c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (!std::getenv("PARLUMO_KEEP_TEST_FILES")) {
        std::error_code ignored;
        std::filesystem::remove_all(privateFolder, ignored);
    }
    return result;
}
