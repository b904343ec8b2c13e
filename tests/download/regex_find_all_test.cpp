#include "download/regex_find_all.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

struct Case {
    const wchar_t* pattern;
    const wchar_t* text;
    std::vector<std::wstring> expected;
};

void ExpectFinds(const Case& c) {
    std::vector<std::wstring> results{L"stale"};
    EXPECT_TRUE(Utils::RegexFindAll(c.pattern, c.text, results)) << "pattern " << testing::PrintToString(std::wstring(c.pattern));
    EXPECT_EQ(results, c.expected) << "pattern " << testing::PrintToString(std::wstring(c.pattern))
                                   << " on " << testing::PrintToString(std::wstring(c.text));
}

}  // namespace

// The header extractions the client makes, on headers as servers really write them.
TEST(RegexFindAll, ExtractsTheClientsHeaders) {
    const wchar_t* headers =
        L"HTTP/1.1 302 Found\r\n"
        L"content-length: 1234\r\n"
        L"Content-Type: text/html; charset=UTF-8\r\n"
        L"Set-Cookie: a=1\r\n"
        L"Set-Cookie:\tb=2\r\n"
        L"Location: https://example.test/path?q=1\r\n"
        L"\r\n";
    const Case cases[] = {
        {L"Content-Length: {[0-9]+}", headers, {L"1234"}},
        {L"charset={[A-Za-z0-9\\-_]+}", headers, {L"UTF-8"}},
        {L"Set-Cookie:\\b*{.+?}\\n", headers, {L"a=1", L"b=2"}},
        // "\n" here is the line-feed character itself: the value runs up to and including it.
        {L"Location: {https?:.+?\n}", headers, {L"https://example.test/path?q=1\r\n"}},
        {L"{<html>}", L"<HTML><body>", {L"<HTML>"}},
        {L"{</html>}", L"<HTML><body>", {}},
    };
    for (const Case& c : cases) {
        ExpectFinds(c);
    }
}

// Every abbreviation, greedy and lazy repetition, alternation, sets and escapes.
TEST(RegexFindAll, AbbreviationsAndConstructs) {
    const Case cases[] = {
        {L"{\\a+}", L"ab1 c_d", {L"ab1", L"c", L"d"}},
        {L"x{\\b+}y", L"x \t y", {L" \t "}},
        {L"{\\c+}", L"ab12cd", {L"ab", L"cd"}},
        {L"{\\d}", L"a1b2c1", {L"1", L"2"}},
        {L"{\\h+}", L"DEADbeefXYZ", {L"DEADbeef"}},
        {L"a{\\n}b", L"a\rb a\nb a\r\nb", {L"\r", L"\n", L"\r\n"}},
        {L"{\\q}", L"say 'hi' and \"Bye\" 'HI'", {L"'hi'", L"\"Bye\""}},
        {L"={\\q}", L"x=\"1\" y='2'", {L"\"1\"", L"'2'"}},
        {L"{\\w}", L"Hello, world", {L"Hello", L"world"}},
        {L"{\\z}", L"12 ab 034 12", {L"12", L"034"}},
        {L"{a+}", L"caaab", {L"aaa"}},
        {L"{a+?}", L"caaab", {L"a"}},
        {L"<{.+}>", L"<a><b>", {L"a><b"}},
        {L"<{.+?}>", L"<a><b>", {L"a", L"b"}},
        {L"{ab?c}", L"ac abc abbc", {L"ac", L"abc"}},
        {L"{x*}y", L"xxy y", {L"xx", L""}},
        {L"{(cat|dog)s?}", L"cats and Dogs and dog", {L"cats", L"Dogs", L"dog"}},
        {L"{[^ ]+}", L"one two", {L"one", L"two"}},
        {L"{[a\\-c]+}", L"xa-cbx", {L"a-c"}},
        {L"{[\\t]}", L"a\tb", {L"\t"}},
        {L"{\\.}", L"a.b", {L"."}},
        {L"{\\{x\\}}", L"{X}", {L"{X}"}},
        {L"v{.}", L"v\nv\r", {L"\n", L"\r"}},
        // Only the first capture group is collected; later ones are plain groups.
        {L"{a}{b}", L"ab", {L"a"}},
        {L"{a{b}}", L"ab", {L"ab"}},
        // A match without its group taking part adds nothing.
        {L"{a}|b", L"b a", {L"a"}},
        // No group: matches are found, nothing is collected.
        {L"abc", L"abc", {}},
    };
    for (const Case& c : cases) {
        ExpectFinds(c);
    }
}

// Letter case: patterns and texts meet in lower case, results keep the text's case, and
// duplicates differing only in case are collected once.
TEST(RegexFindAll, IgnoresLetterCase) {
    const Case cases[] = {
        {L"CONTENT-LENGTH: {\\Z}", L"content-length: 7", {L"7"}},
        {L"{[A-C]+}", L"xAbCx", {L"AbC"}},
        {L"{token}", L"Token TOKEN token", {L"Token"}},
        {L"{\\w}", L"\u00c4pfel", {L"pfel"}},
        {L"{\u00e4}", L"\u00c4", {L"\u00c4"}},
    };
    for (const Case& c : cases) {
        ExpectFinds(c);
    }
}

TEST(RegexFindAll, EmptyInputsAndSyntaxErrorsReturnFalse) {
    const wchar_t* rejected[] = {
        L"",      L"(a",   L"a)",     L"{a",    L"a}",   L"[a",    L"[]",    L"[z-a]", L"a\\",
        L"\\1",   L"+a",   L"*",      L"?",     L"a**",  L"a+??",  L"(|)+*", L"[\\",
    };
    for (const wchar_t* pattern : rejected) {
        std::vector<std::wstring> results{L"stale"};
        EXPECT_FALSE(Utils::RegexFindAll(pattern, L"some text", results))
            << testing::PrintToString(std::wstring(pattern));
        EXPECT_TRUE(results.empty());
    }
    std::vector<std::wstring> results{L"stale"};
    EXPECT_FALSE(Utils::RegexFindAll(L"{a}", L"", results));
    EXPECT_TRUE(results.empty());
    // Deep nesting is refused rather than recursing without bound.
    EXPECT_FALSE(Utils::RegexFindAll(std::wstring(100000, L'(') + L"a" + std::wstring(100000, L')'), L"a", results));
}

// Patterns that make a backtracking matcher take exponential time finish at once here;
// a hang would show as the suite's time-out.
TEST(RegexFindAll, NestedRepetitionStaysLinear) {
    const std::wstring text = std::wstring(5000, L'a') + L"!";
    std::vector<std::wstring> results;
    EXPECT_TRUE(Utils::RegexFindAll(L"{(a+)+b}", text, results));
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(Utils::RegexFindAll(L"{(a*)*!}", text, results));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], text);
    EXPECT_TRUE(Utils::RegexFindAll(L"{(()*)*}", L"xyz", results));
}

TEST(TrimChars, RemovesTheSetAtBothEnds) {
    EXPECT_EQ(Utils::TrimChars(L"  a=1; b=2  ", L" "), L"a=1; b=2");
    EXPECT_EQ(Utils::TrimChars(L"xyaxy", L"xy"), L"a");
    EXPECT_EQ(Utils::TrimChars(L"   ", L" "), L"");
    EXPECT_EQ(Utils::TrimChars(L"", L" "), L"");
    EXPECT_EQ(Utils::TrimChars(L" a ", L""), L" a ");
}
