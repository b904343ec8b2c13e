#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/ini_file.h"
#include "platform/text_encoding.h"
#include "test_support.h"

namespace {

std::wstring Wide(const std::string& path) { return Platform::ActiveToWide(path); }

std::string FreshFile(const std::string& hint, const std::string& content) {
    const std::string path = TestSupport::MakeFolder(hint) + "/settings.ini";
    TestSupport::WriteFile(path, content);
    return path;
}

}  // namespace

// Each row is one rule of the Windows profile reader; the lookup is always [Install] Key.
TEST(IniFile, ReadsValuesWithTheWindowsRules) {
    const struct {
        const char* content;
        const wchar_t* expected;
    } cases[] = {
        {"[Install]\nKey=value\n", L"value"},
        {"[install]\nKEY=value\n", L"value"},                       // names ignore letter case
        {"[ Install ]\n  Key  =  spaced value  \n", L"spaced value"},  // blanks around dropped
        {"[Install]\nKey=\"quoted  \"\n", L"quoted  "},              // matching quotes stripped
        {"[Install]\nKey='single'\n", L"single"},
        {"[Install]\nKey=\"mismatched'\n", L"\"mismatched'"},
        {"[Install]\nKey=\"\n", L"\""},                               // one quote is no pair
        {"[Install]\nKey=\"\"\"\"\n", L"\"\""},                       // only one pair goes
        {"[Install]\nKey=first\nKey=second\n", L"first"},             // first key wins
        {"[Install]\nKey=first\n[Install]\nKey=second\n", L"first"},  // first section wins
        {"[Install]\nOther=1\n[Install]\nKey=second\n", L"default"},  // ... and only it counts
        {"[Install]\r\nKey=crlf\r\n", L"crlf"},
        {"\xEF\xBB\xBF[Install]\nKey=bom\n", L"bom"},
        {"[Install]\n;Key=comment\nKey=real\n", L"real"},
        {"Key=outside\n[Install]\n", L"default"},                    // before any section
        {"[Other]\nKey=x\n", L"default"},
        {"[Install]\nKey\n", L"default"},                            // no "=": not an entry
        {"[Install]\nKey=\n", L""},                                  // empty value is a value
        {"[Install]\nKey=a=b\n", L"a=b"},
        {"[Install\nKey=no bracket\n", L"no bracket"},               // header without "]"
        {"[Install]\nKey=last line", L"last line"},
        {"[Install]\nKey=\xE4\xB8\xAD\xE6\x96\x87\n", L"\u4E2D\u6587"},
        {"[Install]\nKey=a\xFF" "b\n", L"a\uFFFDb"},                 // bad byte replaced
        {"[Install]\nKey=\xE4\xB8\nKey2=x\n", L"\uFFFD\uFFFD"},     // cut sequence keeps line end
        {"[Install]\nKey=\xC0\xAF\xED\xA0\x80\n", L"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},  // overlong, surrogate
        {"", L"default"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Platform::ReadIniStringFromBytes(c.content, L"Install", L"Key", L"default"), c.expected)
            << "content: " << c.content;
        const std::string path = FreshFile("read", c.content);
        EXPECT_EQ(Platform::ReadIniString(Wide(path), L"Install", L"Key", L"default"), c.expected)
            << "file content: " << c.content;
    }
}

TEST(IniFile, MissingFileGivesTheDefaultWithoutTrailingBlanks) {
    const std::wstring missing = Wide(TestSupport::MakeFolder("missing")) + L"/none.ini";
    EXPECT_EQ(Platform::ReadIniString(missing, L"Install", L"Key", L"fallback  \t"), L"fallback");
    EXPECT_EQ(Platform::ReadIniInt(missing, L"Install", L"Key", 17), 17);
}

TEST(IniFile, ResultsPassThroughTheCallersBuffer) {
    const std::string value(300, 'v');
    const std::string path = FreshFile("buffer", "[Install]\nKey=" + value + "\n");
    EXPECT_EQ(Platform::ReadIniString(Wide(path), L"Install", L"Key", L""), std::wstring(259, L'v'));
    EXPECT_EQ(Platform::ReadIniString(Wide(path), L"Install", L"Key", L"", 10), std::wstring(9, L'v'));
    EXPECT_EQ(Platform::ReadIniString(Wide(path), L"Install", L"Key", L"", 1), L"");
    EXPECT_EQ(Platform::ReadIniString(Wide(path), L"Install", L"Key", L"", 0), L"");
    EXPECT_EQ(Platform::ReadIniString(Wide(path), L"Install", L"Absent", std::wstring(300, L'd')),
              std::wstring(259, L'd'));
    // Exactly 259 characters pass whole; wide characters count as one each.
    const std::string chinese = "[Install]\nKey=" + [] {
        std::string text;
        for (int i = 0; i < 259; ++i) text += "\xE4\xB8\xAD";
        return text;
    }() + "\n";
    EXPECT_EQ(Platform::ReadIniStringFromBytes(chinese, L"Install", L"Key", L""), std::wstring(259, L'\u4E2D'));
}

TEST(IniFile, IntegersReadLikeTheProfileApi) {
    const struct {
        const char* value;
        int expected;
    } cases[] = {
        {"42", 42},        {"  -7tail", -7},  {"+3", 3},          {"abc", 0},
        {"", 5},           {"\"12\"", 12},    {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},     {"2147483648", 0},  {"99999999999", 0},
        {"-99999999999", 0},                   {"0x10", 0},        {"- 1", 0},
        {"00000000000000000000001", 1},
    };
    for (const auto& c : cases) {
        const std::string path = FreshFile("int", std::string("[Install]\nKey=") + c.value + "\n");
        EXPECT_EQ(Platform::ReadIniInt(Wide(path), L"Install", L"Key", 5), c.expected) << "value: " << c.value;
    }
}

TEST(IniFile, WritingChangesOnlyTheLineItSets) {
    const std::string original =
        "\xEF\xBB\xBF; installer settings\r\n"
        "[Install]\r\n"
        "  DownloadUrl = http://old\r\n"
        "Other=\xFF keep these bytes\r\n"
        "\r\n"
        "[Second]\r\n"
        "X=1\r\n";
    const std::string path = FreshFile("write", original);
    ASSERT_TRUE(Platform::WriteIniString(Wide(path), L"INSTALL", L"downloadurl", L"http://new"));
    EXPECT_EQ(TestSupport::ReadFile(path),
              "\xEF\xBB\xBF; installer settings\r\n"
              "[Install]\r\n"
              "  DownloadUrl =http://new\r\n"
              "Other=\xFF keep these bytes\r\n"
              "\r\n"
              "[Second]\r\n"
              "X=1\r\n");

    // A new key goes after the section's last entry, before the blank line; CR LF kept.
    ASSERT_TRUE(Platform::WriteIniString(Wide(path), L"Install", L"InstCmd", L"-a"));
    // A new section goes at the end after a blank line.
    ASSERT_TRUE(Platform::WriteIniString(Wide(path), L"Third", L"Y", L"2"));
    EXPECT_EQ(TestSupport::ReadFile(path),
              "\xEF\xBB\xBF; installer settings\r\n"
              "[Install]\r\n"
              "  DownloadUrl =http://new\r\n"
              "Other=\xFF keep these bytes\r\n"
              "InstCmd=-a\r\n"
              "\r\n"
              "[Second]\r\n"
              "X=1\r\n"
              "\r\n"
              "[Third]\r\n"
              "Y=2\r\n");
}

TEST(IniFile, WritingCreatesAFileAndCompletesALastLine) {
    const std::string folder = TestSupport::MakeFolder("create");
    const std::wstring path = Wide(folder) + L"/new.ini";
    ASSERT_TRUE(Platform::WriteIniString(path, L"Install", L"Key", L"v"));
    EXPECT_EQ(TestSupport::ReadFile(folder + "/new.ini"), "[Install]\nKey=v\n");

    const std::string unterminated = FreshFile("unterminated", "[Install]\nA=1");
    ASSERT_TRUE(Platform::WriteIniString(Wide(unterminated), L"Install", L"B", L"2"));
    EXPECT_EQ(TestSupport::ReadFile(unterminated), "[Install]\nA=1\nB=2\n");
    EXPECT_EQ(system(("test $(ls -A " + folder + " | wc -l) -eq 1").c_str()), 0) << "temporary files left";
}

TEST(IniFile, WrittenValuesReadBackUnchanged) {
    const std::wstring values[] = {
        L"plain", L"", L"  leading", L"trailing\t", L"\"quoted\"", L"'single'", L"\"", L"a=b;c",
        L"\u4E2D\u6587 \u00E9", L"[not a section]", std::wstring(259, L'x'),
    };
    const std::string path = FreshFile("roundtrip", "");
    for (const std::wstring& value : values) {
        ASSERT_TRUE(Platform::WriteIniString(Wide(path), L"Install", L"Key", value));
        EXPECT_EQ(Platform::ReadIniString(Wide(path), L"Install", L"Key", L"default"), value);
        EXPECT_EQ(Platform::ReadIniString(Wide(path), L"Install", L"Other", L"default"), L"default");
    }
}

TEST(IniFile, NamesAndValuesThatWouldBreakTheFileAreRefused) {
    const std::string original = "[Install]\nKey=kept\n";
    const std::string path = FreshFile("refuse", original);
    const struct {
        const wchar_t* section;
        const wchar_t* key;
        const wchar_t* value;
    } cases[] = {
        {L"Install", L"Key", L"line\nbreak"}, {L"Install", L"Key", L"carriage\rreturn"},
        {L"Install", L"Key\n[Evil]", L"x"},    {L"Inst]all", L"Key", L"x"},
        {L"Install", L"K=ey", L"x"},           {L"Install", L"[Key", L"x"},
        {L"Install", L";Key", L"x"},           {L"", L"Key", L"x"},
        {L"Install", L"", L"x"},               {L" Install", L"Key", L"x"},
        {L"Install", L"Key ", L"x"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(Platform::WriteIniString(Wide(path), c.section, c.key, c.value)) << c.key;
        EXPECT_EQ(TestSupport::ReadFile(path), original);
    }
    EXPECT_FALSE(Platform::WriteIniString(Wide(TestSupport::MakeFolder("nofolder")) + L"/a/b.ini",
                                          L"Install", L"Key", L"x"));
}

TEST(IniFile, GarbageAndHugeFilesNeverBreakTheReader) {
    std::mt19937 random(20261211);
    std::string garbage(1 << 16, '\0');
    for (char& byte : garbage) byte = static_cast<char>(random() & 0xFF);
    const std::string garbagePath = FreshFile("garbage", garbage);
    (void)Platform::ReadIniString(Wide(garbagePath), L"Install", L"Key", L"d");
    (void)Platform::ReadIniInt(Wide(garbagePath), L"Install", L"Key", 1);

    // Every byte value, then a real entry: the reader still finds it.
    std::string allBytes;
    for (int byte = 0; byte < 256; ++byte) allBytes += static_cast<char>(byte);
    EXPECT_EQ(Platform::ReadIniStringFromBytes(allBytes + "\n[Install]\nKey=found\n", L"Install", L"Key", L"d"),
              L"found");

    // 10 MB of sections and entries with the wanted one at the end.
    std::string huge;
    huge.reserve(10 << 20);
    for (int i = 0; huge.size() < (10u << 20); ++i)
        huge += "[S" + std::to_string(i) + "]\nKey=" + std::string(100, 'z') + "\n";
    huge += "[Install]\nKey=at the end\n";
    const std::string hugePath = FreshFile("huge", huge);
    EXPECT_EQ(Platform::ReadIniString(Wide(hugePath), L"Install", L"Key", L"d"), L"at the end");
    // One line of 10 MB.
    const std::string longLine = "[Install]\nKey=" + std::string(10 << 20, 'q') + "\n";
    EXPECT_EQ(Platform::ReadIniStringFromBytes(longLine, L"Install", L"Key", L""), std::wstring(259, L'q'));
}
