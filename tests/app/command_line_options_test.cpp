#include <gtest/gtest.h>

#include <string>

#include "app/command_line_options.h"

TEST(CommandLineOptions, ArgumentsBecomeKeysAndValues) {
    const Utils::CommandLineOptions options = Utils::ParseCommandLine(
        LR"("C:\Program Files\setup.exe" -downloadurl=a=b -insnew "-instcmd=/S -x" -x=1 -x=2 plain=1 -Key= "")");
    const Utils::CommandLineOptions expected = {
        {LR"(C:\Program Files\setup.exe)", L""},  // the program is an argument like the others
        {L"-downloadurl", L"a=b"},
        {L"-insnew", L""},
        {L"-instcmd", L"/S -x"},
        {L"-x", L"1"},                            // first occurrence wins
        {L"plain=1", L""},                        // no "-": the whole argument is the key
        {L"-Key", L""},
        {L"", L""},
    };
    EXPECT_EQ(options, expected);
}

TEST(CommandLineOptions, ReadersConvertValues) {
    const Utils::CommandLineOptions options = Utils::ParseArguments(
        {L"-text=hello", L"-int=  -12px", L"-big=99999999999", L"-word=es-ES", L"-double=0.5abc",
         L"-notdouble=abc", L"-hugedouble=1e999", L"-true=true", L"-True=True", L"-empty"});
    EXPECT_EQ(Utils::GetOptionText(options, L"-text"), L"hello");
    EXPECT_EQ(Utils::GetOptionText(options, L"-absent"), L"");
    EXPECT_EQ(Utils::GetOptionInt(options, L"-int"), -12);
    EXPECT_EQ(Utils::GetOptionInt(options, L"-big"), 0);
    EXPECT_EQ(Utils::GetOptionInt(options, L"-word"), 0);
    EXPECT_EQ(Utils::GetOptionInt(options, L"-absent"), 0);
    EXPECT_DOUBLE_EQ(Utils::GetOptionDouble(options, L"-double", 9.0), 0.5);
    EXPECT_DOUBLE_EQ(Utils::GetOptionDouble(options, L"-notdouble", 9.0), 9.0);
    EXPECT_DOUBLE_EQ(Utils::GetOptionDouble(options, L"-hugedouble", 9.0), 9.0);
    EXPECT_DOUBLE_EQ(Utils::GetOptionDouble(options, L"-absent", 9.0), 9.0);
    EXPECT_TRUE(Utils::GetOptionBool(options, L"-true"));
    EXPECT_FALSE(Utils::GetOptionBool(options, L"-True"));
    EXPECT_FALSE(Utils::GetOptionBool(options, L"-empty"));
    EXPECT_FALSE(Utils::GetOptionBool(options, L"-absent"));
    EXPECT_FALSE(Utils::GetOptionBool(options, L"-TRUE")) << "keys are case-sensitive";
}

// Command lines that are wrong in every way the splitter knows still give a map.
TEST(CommandLineOptions, BrokenCommandLinesNeverFail) {
    const wchar_t* lines[] = {
        L"", L"\"", L"\"\"", L"prog \"", L"prog \\", L"prog \\\"", L"prog \"\"\"\"\"\"\"",
        L"prog -downloadurl=\"unbalanced", L"prog \t\t\t", L"prog =", L"prog -=", L"prog - -",
    };
    for (const wchar_t* line : lines) {
        const Utils::CommandLineOptions options = Utils::ParseCommandLine(line);
        EXPECT_FALSE(options.empty());
    }
    EXPECT_EQ(Utils::GetOptionText(Utils::ParseCommandLine(L"prog -downloadurl=\"a b"), L"-downloadurl"), L"a b");
    EXPECT_EQ(Utils::GetOptionText(Utils::ParseCommandLine(L"prog -instcmd=\\\"x\\\""), L"-instcmd"), L"\"x\"");
}
