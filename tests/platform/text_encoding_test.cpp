#include <gtest/gtest.h>

#include "platform/text_encoding.h"

using Platform::InvalidInput;

// Each row is one text in one code page with its exact bytes.
TEST(TextEncoding, RoundTripsNamedCodePages) {
    const struct { unsigned codePage; std::string bytes; std::wstring text; } cases[] = {
        {65001, "plain", L"plain"},
        {65001, "\xE5\xAE\x89\xE8\xA3\x85", L"\u5B89\u88C5"},          // 安装
        {65001, "\xF0\x9F\x98\x80", L"\U0001F600"},                      // outside the BMP
        {936, "\xB0\xB2\xD7\xB0", L"\u5B89\u88C5"},                      // 安装 in GBK
        {1252, "caf\xE9", L"caf\u00E9"},
    };
    for (const auto& c : cases) {
        auto wide = Platform::MultiByteToWide(c.codePage, c.bytes);
        ASSERT_TRUE(wide) << c.codePage;
        EXPECT_EQ(*wide, c.text) << c.codePage;
        auto narrow = Platform::WideToMultiByte(c.codePage, c.text);
        ASSERT_TRUE(narrow) << c.codePage;
        EXPECT_EQ(*narrow, c.bytes) << c.codePage;
    }
}

TEST(TextEncoding, InvalidUtf8FailsOrIsReplacedByteByByte) {
    const std::string cases[] = {"a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"};
    for (const auto& bytes : cases) {
        EXPECT_FALSE(Platform::MultiByteToWide(65001, bytes)) << bytes;
        auto replaced = Platform::MultiByteToWide(65001, bytes, InvalidInput::Replace);
        ASSERT_TRUE(replaced);
        EXPECT_NE(replaced->find(L'\uFFFD'), std::wstring::npos);
    }
    EXPECT_EQ(Platform::Utf8ToWide("ok\xFFok"), L"ok\uFFFDok");
}

TEST(TextEncoding, InvalidGbkIsReplacedNotLost) {
    // A lead byte cut off at the end of a chunk: the rest of the text survives.
    auto replaced = Platform::MultiByteToWide(936, "ab\xB0", InvalidInput::Replace);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->substr(0, 2), L"ab");
    EXPECT_FALSE(Platform::MultiByteToWide(936, "ab\xB0", InvalidInput::Fail));
}

TEST(TextEncoding, UnknownCodePageAndUnrepresentableTextFail) {
    EXPECT_FALSE(Platform::MultiByteToWide(99999, "x"));
    EXPECT_FALSE(Platform::WideToMultiByte(1252, L"\u5B89"));
}

TEST(TextEncoding, ActiveCodePageHandlesUtf8Names) {
    // The test runs in the C or a UTF-8 locale; either way names stay UTF-8 on disk.
    EXPECT_EQ(Platform::ActiveToWide("\xE5\xAE\x89"), L"\u5B89");
    EXPECT_EQ(Platform::WideToActive(L"\u5B89"), "\xE5\xAE\x89");
}
