#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/paths.h"

namespace {

std::string Show(const std::vector<std::wstring>& arguments) {
    std::string shown;
    for (const std::wstring& argument : arguments) {
        shown += "[";
        for (const wchar_t c : argument) shown += c < 0x80 ? static_cast<char>(c) : '?';
        shown += "]";
    }
    return shown;
}

}  // namespace

// Each row is one CommandLineToArgvW rule.
TEST(CommandLine, SplitsWithTheWindowsRules) {
    const struct {
        const wchar_t* line;
        std::vector<std::wstring> expected;
    } cases[] = {
        {L"prog a b", {L"prog", L"a", L"b"}},
        {L"prog \t a\t\tb  ", {L"prog", L"a", L"b"}},
        {LR"("C:\Program Files\setup.exe" -downloadurl=x)", {LR"(C:\Program Files\setup.exe)", L"-downloadurl=x"}},
        // The program has no escapes: a backslash before a quote is just a backslash.
        {LR"("C:\dir\" next)", {LR"(C:\dir\)", L"next"}},
        {LR"(C:\a\"b c)", {LR"(C:\a\"b)", L"c"}},
        // Text right after the program's closing quote starts the next argument.
        {LR"("prog"arg)", {L"prog", L"arg"}},
        {LR"("unterminated program)", {L"unterminated program"}},
        {L"  prog", {L"", L"prog"}},
        // 2n backslashes before a quote: n backslashes, the quote opens or closes quoting.
        {LR"(p a\\"b c")", {L"p", LR"(a\b c)"}},
        {LR"(p a\\\\"b c")", {L"p", LR"(a\\b c)"}},
        // 2n+1 backslashes: n backslashes and a literal quote.
        {LR"(p a\"b)", {L"p", LR"(a"b)"}},
        {LR"(p a\\\"b c)", {L"p", LR"(a\"b)", L"c"}},
        // Backslashes elsewhere are literal.
        {LR"(p C:\dir\ a\\b c\)", {L"p", LR"(C:\dir\)", LR"(a\\b)", LR"(c\)"}},
        {LR"(p "C:\dir\\")", {L"p", LR"(C:\dir\)"}},
        // Empty arguments.
        {LR"(p "")", {L"p", L""}},
        {LR"(p "" "" x)", {L"p", L"", L"", L"x"}},
        // Doubled quotes inside quotes: a literal quote, and the quoted part ends.
        {LR"(p "a""b")", {L"p", LR"(a"b)"}},
        {LR"(p "a""b c")", {L"p", LR"(a"b)", L"c"}},
        // Three quotes in a row outside quotes: one literal quote.
        {LR"(p """a b)", {L"p", LR"("a)", L"b"}},
        {LR"(p """")", {L"p", LR"(")"}},
        {LR"(p a"b c"d)", {L"p", L"ab cd"}},
        // A quote left open runs to the end of the line.
        {LR"(p "unbalanced arg)", {L"p", L"unbalanced arg"}},
        {LR"(p a" b)", {L"p", L"a b"}},
        {LR"(p \)", {L"p", LR"(\)"}},
        {LR"(p -downloadurl="http://h/a b" -insnew)", {L"p", L"-downloadurl=http://h/a b", L"-insnew"}},
        // Only spaces and tabs separate.
        {L"p a\nb", {L"p", L"a\nb"}},
    };
    for (const auto& c : cases) {
        const std::vector<std::wstring> split = Platform::SplitCommandLine(c.line);
        EXPECT_EQ(split, c.expected) << "got " << Show(split) << " want " << Show(c.expected);
    }
}

TEST(CommandLine, EmptyLineGivesTheProgramPath) {
    EXPECT_EQ(Platform::SplitCommandLine(L"", L"/opt/installer"), std::vector<std::wstring>{L"/opt/installer"});
    EXPECT_EQ(Platform::SplitCommandLine(L""), std::vector<std::wstring>{L""});
}

TEST(CommandLine, QuotedArgumentsSplitBackUnchanged) {
    const std::vector<std::wstring> arguments = {
        L"plain", L"", L"with space", L"tab\there", LR"(quote"inside)", LR"(")", LR"("")",
        LR"(trailing\)", LR"(trailing\\)", LR"(a\"b)", LR"(a\\"b)", LR"(C:\Program Files\)",
        LR"(\\server\share)", L"-downloadurl=http://h/${ROUTE}/a b", L"\u4E2D\u6587 \u00E9", L" ", L"\\",
    };
    std::wstring line = L"prog";
    for (const std::wstring& argument : arguments) line += L" " + Platform::QuoteArgument(argument);
    std::vector<std::wstring> expected = {L"prog"};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    const std::vector<std::wstring> split = Platform::SplitCommandLine(line);
    EXPECT_EQ(split, expected) << "line: " << Show({line}) << " got " << Show(split);
    EXPECT_EQ(Platform::QuoteArgument(L"plain"), L"plain");
    EXPECT_EQ(Platform::QuoteArgument(L""), L"\"\"");
}

TEST(CommandLine, ProcessArgumentsStartWithThisProgram) {
    const std::vector<std::wstring> arguments = Platform::ProcessArguments();
    ASSERT_FALSE(arguments.empty());
    EXPECT_EQ(Platform::FileNameOf(arguments[0]), Platform::FileNameOf(Platform::ModulePath()));
}
