#include <gtest/gtest.h>

#include <algorithm>

#include "support/windows_version.h"

TEST(VersionName, TableOfReportedVersions) {
    const struct { unsigned major, minor, build; bool r2; const wchar_t* name; } cases[] = {
        {4, 0, 1381, false, L"XP-"},  {0, 0, 0, false, L"XP-"},   {5, 0, 2195, false, L"2K"},
        {5, 1, 2600, false, L"XP"},   {5, 2, 3790, false, L"Server 2003"},
        {5, 2, 3790, true, L"Server 2003 R2"},                    {5, 3, 0, false, L"XP+"},
        {6, 0, 6000, false, L"Vista"}, {6, 1, 7601, false, L"7"}, {6, 2, 9200, false, L"8"},
        {6, 3, 9600, false, L"8.1"},  {6, 4, 0, false, L"8.1+"},  {10, 0, 22000, false, L"10"},
        {10, 1, 0, false, L"10+"},    {11, 0, 22000, false, L"11.0.22000"},
        {7, 2, 0x12345, false, L"7.2.9029"},  // only the low 16 bits of the build
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utils::VersionNameFor(c.major, c.minor, c.build, c.r2), c.name) << c.major << "." << c.minor;
}

TEST(VersionName, ThisSystemGivesADottedKernelReleaseWithoutXp) {
    std::wstring family, name;
    Utils::GetWindowsVersionName(family, name);
    EXPECT_EQ(family, L"Linux");
    EXPECT_EQ(name.find(L"XP"), std::wstring::npos) << "would select the XP download route";
    EXPECT_EQ(std::count(name.begin(), name.end(), L'.'), 2) << std::string(name.begin(), name.end());
}
