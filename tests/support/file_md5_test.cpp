#include <gtest/gtest.h>

#include "support/file_md5.h"
#include "test_support.h"

// The RFC 1321 test suite, plus the lengths around the last block's length field.
TEST(FileMd5, PublishedDigests) {
    const struct { std::string content; const char* digest; } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
    };
    const std::string folder = TestSupport::MakeFolder("md5");
    for (const auto& c : cases) {
        const std::string path = folder + "/input";
        TestSupport::WriteFile(path, c.content);
        EXPECT_EQ(Utils::GetFileMd5(path), c.digest) << c.content.size() << " bytes";
    }
}

TEST(FileMd5, LargeFileAcrossReadBlocks) {
    // 1 MiB + 3 bytes of a repeating pattern crosses every internal block boundary.
    std::string content(1048579, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + (i >> 8));
    const std::string path = TestSupport::MakeFolder("md5large") + "/input";
    TestSupport::WriteFile(path, content);
    Utils::Md5Context pieces;  // the same bytes fed in odd-sized pieces
    for (std::size_t at = 0; at < content.size(); at += 1000)
        pieces.Update(content.data() + at, std::min<std::size_t>(1000, content.size() - at));
    const std::string digest = Utils::GetFileMd5(path);
    EXPECT_EQ(digest, pieces.FinalHex());
    const std::string reference = [&] {
        FILE* out = popen(("md5sum " + path).c_str(), "r");
        char text[33] = {};
        if (out) {
            if (fread(text, 1, 32, out) != 32) text[0] = 0;
            pclose(out);
        }
        return std::string(text);
    }();
    EXPECT_EQ(digest, reference);
}

TEST(FileMd5, NothingToDigestGivesEmptyText) {
    EXPECT_EQ(Utils::GetFileMd5(""), "");
    EXPECT_EQ(Utils::GetFileMd5(TestSupport::PrivateFolder() + "/missing"), "");
}
