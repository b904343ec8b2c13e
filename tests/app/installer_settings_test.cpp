#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/command_line_options.h"
#include "app/installer_settings.h"
#include "platform/paths.h"
#include "platform/text_encoding.h"
#include "test_support.h"

namespace {

const std::wstring kBuiltIn(InstallerSettings::kBuiltInDownloadUrl);

// Settings built from defaults and a settings file with `content` (none when null).
InstallerSettings FromFile(const char* content) {
    const std::string folder = TestSupport::MakeFolder("settings");
    const std::string path = folder + "/VarenInstallerConfig.ini";
    if (content) TestSupport::WriteFile(path, content);
    return InstallerSettings(Platform::ActiveToWide(path));
}

InstallerSettings FromFile(const std::string& content) { return FromFile(content.c_str()); }

void ExpectDefaultsExceptFileBooleans(const InstallerSettings& settings) {
    EXPECT_EQ(settings.DownloadUrl, kBuiltIn);
    EXPECT_EQ(settings.DownloadType, 1);
    EXPECT_DOUBLE_EQ(settings.DownloadScale, 0.7);
    EXPECT_EQ(settings.InstCmd, L"");
    EXPECT_EQ(settings.DlAppNameSuffix, L".downloader");
    EXPECT_EQ(settings.DlAppVersion, L"");
    EXPECT_EQ(settings.Language, -1);
    EXPECT_FALSE(settings.InsNew);
}

}  // namespace

TEST(InstallerSettings, WithoutAFileTheBuiltInDefaultsHold) {
    const InstallerSettings settings = FromFile(nullptr);
    ExpectDefaultsExceptFileBooleans(settings);
    EXPECT_FALSE(settings.IsCheckNet);
    EXPECT_TRUE(settings.IsEnableAppSensors);
    EXPECT_EQ(settings.DownloadUrl, L"http://dl.parlumo.com/software/444");
}

// A file that exists but lacks the keys turns the connectivity probe on.
TEST(InstallerSettings, AnEmptyInstallSectionTurnsTheProbeOn) {
    for (const char* content : {"[Install]\n", "", "[Other]\nIsCheckNet=false\n"}) {
        const InstallerSettings settings = FromFile(content);
        ExpectDefaultsExceptFileBooleans(settings);
        EXPECT_TRUE(settings.IsCheckNet) << content;
        EXPECT_TRUE(settings.IsEnableAppSensors) << content;
    }
}

TEST(InstallerSettings, AFolderNamedLikeTheFileIsNoSettingsFile) {
    const std::string folder = TestSupport::MakeFolder("folder") + "/VarenInstallerConfig.ini";
    ASSERT_TRUE(Platform::CreateDirectory(Platform::ActiveToWide(folder)));
    const InstallerSettings settings{Platform::ActiveToWide(folder)};
    EXPECT_FALSE(settings.IsCheckNet);
}

TEST(InstallerSettings, FileValuesFollowTheReadingRules) {
    const struct {
        const char* content;
        std::wstring InstallerSettings::*text;
        const wchar_t* expectedText;
    } texts[] = {
        {"[Install]\nDownloadUrl=http://127.0.0.1/p\n", &InstallerSettings::DownloadUrl, L"http://127.0.0.1/p"},
        {"[install]\ndownloadurl=\"http://q/\"\n", &InstallerSettings::DownloadUrl, L"http://q/"},
        {"[Install]\nDownloadUrl=\n", &InstallerSettings::DownloadUrl, L""},
        {"[Install]\nDownloadUrl=first\nDownloadUrl=second\n", &InstallerSettings::DownloadUrl, L"first"},
        {"[Install]\nInstCmd=-a -b\n", &InstallerSettings::InstCmd, L"-a -b"},
        {"[Install]\nm_DlAppVersion=2.1\n", &InstallerSettings::DlAppVersion, L"2.1"},
        {"[Install]\nDlAppVersion=2.1\n", &InstallerSettings::DlAppVersion, L""},  // the key has the m_ prefix
        {"[Install]\nDlAppNameSuffix=.x\n", &InstallerSettings::DlAppNameSuffix, L".x"},
    };
    for (const auto& c : texts) EXPECT_EQ(FromFile(c.content).*c.text, c.expectedText) << c.content;

    const struct {
        const char* content;
        bool isCheckNet;
        bool isEnableAppSensors;
    } booleans[] = {
        {"[Install]\nIsCheckNet=true\nIsEnableAppSensors=true\n", true, true},
        {"[Install]\nIsCheckNet=True\nIsEnableAppSensors=TRUE\n", false, false},  // case-sensitive
        {"[Install]\nIsCheckNet=false\nIsEnableAppSensors=1\n", false, false},
        {"[Install]\nIsCheckNet=\"true\"\nIsEnableAppSensors= true \n", true, true},
        {"[Install]\nIsCheckNet=\n", false, true},
    };
    for (const auto& c : booleans) {
        const InstallerSettings settings = FromFile(c.content);
        EXPECT_EQ(settings.IsCheckNet, c.isCheckNet) << c.content;
        EXPECT_EQ(settings.IsEnableAppSensors, c.isEnableAppSensors) << c.content;
    }

    const struct {
        const char* value;
        int expected;
    } types[] = {{"2", 2}, {"3abc", 3}, {"abc", 0}, {"", 1}, {"-5", -5}, {"99999999999", 0}, {" 3", 3}};
    for (const auto& c : types)
        EXPECT_EQ(FromFile(std::string("[Install]\nDownloadType=") + c.value + "\n").DownloadType, c.expected)
            << c.value;

    const struct {
        const char* value;
        double expected;
    } scales[] = {{"0.5", 0.5}, {"abc", 0.0}, {"0.5abc", 0.5}, {"", 0.0}, {"1e999", 0.0},
                  {"-1e999", 0.0}, {"nan", 0.0}, {"inf", 0.0}, {"1.5", 1.5}, {" .25", 0.25}};
    for (const auto& c : scales)
        EXPECT_DOUBLE_EQ(FromFile(std::string("[Install]\nDownloadScale=") + c.value + "\n").DownloadScale,
                         c.expected)
            << c.value;
}

TEST(InstallerSettings, FileValuesAreCutTo259Characters) {
    const std::string longUrl = "http://127.0.0.1/" + std::string(300 - 17, 'a');
    const InstallerSettings settings = FromFile("[Install]\nDownloadUrl=" + longUrl + "\nInstCmd=" +
                                                std::string(300, 'c') + "\n");
    EXPECT_EQ(settings.DownloadUrl, Platform::ActiveToWide(longUrl.substr(0, 259)));
    EXPECT_EQ(settings.InstCmd, std::wstring(259, L'c'));
}

// The route in a file address is expanded with this machine's version name, which on this
// system never names XP, and product 629 has no 64-bit package.
TEST(InstallerSettings, FileAddressIsStoredRouteExpanded) {
    const InstallerSettings settings =
        FromFile("[Install]\nDownloadUrl=http://127.0.0.1/${ROUTE}/x/${ROUTE}\n");
    EXPECT_EQ(settings.DownloadUrl, L"http://127.0.0.1/download_silent/x/download_silent");
}

TEST(InstallerSettings, BadFilesLeaveUsableSettings) {
    std::mt19937 random(1211);
    std::string garbage(1 << 20, '\0');
    for (char& byte : garbage) byte = static_cast<char>(random() & 0xFF);
    const InstallerSettings fromGarbage = FromFile(garbage);
    EXPECT_EQ(fromGarbage.DownloadUrl, kBuiltIn);  // no "[Install]" in these bytes
    EXPECT_TRUE(fromGarbage.IsCheckNet);             // but the file exists

    std::string huge = "[Install]\nDownloadType=3\nDownloadUrl=" + std::string(10 << 20, 'u') + "\n";
    const InstallerSettings fromHuge = FromFile(huge);
    EXPECT_EQ(fromHuge.DownloadType, 3);
    EXPECT_EQ(fromHuge.DownloadUrl, std::wstring(259, L'u'));

    const InstallerSettings fromInvalid =
        FromFile("[Install]\nInstCmd=-dir=\xC3\x28\xFF\nDownloadType=\xFE" "2\nDownloadScale=0.25\n");
    EXPECT_EQ(fromInvalid.InstCmd, L"-dir=\uFFFD(\uFFFD");
    EXPECT_EQ(fromInvalid.DownloadType, 0);
    EXPECT_DOUBLE_EQ(fromInvalid.DownloadScale, 0.25);
}

// Each row: the route for one system. The 64-bit question is asked only for a product
// that has a 64-bit package.
TEST(InstallerSettings, RouteFollowsTheSystem) {
    const struct {
        const wchar_t* versionName;
        int productNumber;
        bool is64Bit;
        const wchar_t* route;
        bool asks64Bit;
    } cases[] = {
        {L"XP-", 629, false, L"download_silent_xp", false},
        {L"XP", 629, true, L"download_silent_xp", false},
        {L"XP+", 629, false, L"download_silent_xp", false},
        {L"2K", 629, false, L"download_silent", false},
        {L"Server 2003", 629, false, L"download_silent", false},
        {L"Server 2003 R2", 629, true, L"download_silent", false},
        {L"10", 629, true, L"download_silent", false},  // 629 has no 64-bit package
        {L"xp", 629, false, L"download_silent", false},  // "XP" is matched case-sensitively
        {L"10", 267, true, L"download_silent_64", true},
        {L"10", 318, true, L"download_silent_64", true},
        {L"10", 385, false, L"download_silent", true},
        {L"XP", 335, true, L"download_silent_xp", false},
        {L"6.1.0", 257, true, L"download_silent_64", true},
    };
    for (const auto& c : cases) {
        int asked = 0;
        InstallerSettings::RouteSystem system;
        system.versionName = c.versionName;
        system.productNumber = c.productNumber;
        system.is64BitWindows = [&] { ++asked; return c.is64Bit; };
        const std::wstring route(c.route);
        EXPECT_EQ(InstallerSettings::ExpandRoute(L"http://h/${ROUTE}/a/${ROUTE}", system),
                  L"http://h/" + route + L"/a/" + route)
            << "version " << Platform::WideToUtf8(c.versionName) << " product " << c.productNumber;
        EXPECT_EQ(asked > 0, c.asks64Bit) << "version " << Platform::WideToUtf8(c.versionName);
        asked = 0;
        EXPECT_EQ(InstallerSettings::ExpandRoute(L"http://h/plain", system), L"http://h/plain");
        EXPECT_EQ(asked, 0) << "no placeholder, no system query";
    }
    InstallerSettings::RouteSystem xp{L"XP", InstallerSettings::ProductNumber, nullptr};
    EXPECT_EQ(InstallerSettings::ExpandRoute(L"${ROUTE}${ROUTE}${ROUTE", xp),
              L"download_silent_xpdownload_silent_xp${ROUTE");
    EXPECT_EQ(InstallerSettings::ExpandRoute(L"${ROUTE}", xp), L"download_silent_xp");
}

TEST(InstallerSettings, CommandLineOverridesOnlyWhatItNames) {
    InstallerSettings settings = FromFile("[Install]\nDownloadType=3\nInstCmd=-fromfile\nIsCheckNet=true\n");
    settings.ApplyCommandLine({L"/opt/installer", L"-downloadtype=2", L"-downloadtype=3", L"-DownloadType=1",
                               L"-downloadurl=a=b", L"-insnew", L"-language=7", L"stray", L"-unknown=1"});
    EXPECT_EQ(settings.DownloadType, 2);  // first occurrence wins, case counts
    EXPECT_EQ(settings.DownloadUrl, L"a=b");
    EXPECT_FALSE(settings.InsNew);
    EXPECT_EQ(settings.Language, 7);
    EXPECT_EQ(settings.InstCmd, L"-fromfile");
    EXPECT_TRUE(settings.IsCheckNet);
    EXPECT_DOUBLE_EQ(settings.DownloadScale, 0.7);
}

TEST(InstallerSettings, CommandLineValuesFollowTheReaders) {
    const struct {
        std::vector<std::wstring> arguments;
        void (*check)(const InstallerSettings&);
    } cases[] = {
        {{L"-insnew=true"}, [](const InstallerSettings& s) { EXPECT_TRUE(s.InsNew); }},
        {{L"-insnew=True"}, [](const InstallerSettings& s) { EXPECT_FALSE(s.InsNew); }},
        {{L"-ischecknet"}, [](const InstallerSettings& s) { EXPECT_FALSE(s.IsCheckNet); }},
        {{L"-isenableappsensors=yes"}, [](const InstallerSettings& s) { EXPECT_FALSE(s.IsEnableAppSensors); }},
        {{L"-language=es-ES"}, [](const InstallerSettings& s) { EXPECT_EQ(s.Language, 0); }},
        {{L"-language=99999999999"}, [](const InstallerSettings& s) { EXPECT_EQ(s.Language, 0); }},
        {{L"-language=-1"}, [](const InstallerSettings& s) { EXPECT_EQ(s.Language, -1); }},
        {{L"-downloadtype=99999999999"}, [](const InstallerSettings& s) { EXPECT_EQ(s.DownloadType, 0); }},
        {{L"-downloadtype"}, [](const InstallerSettings& s) { EXPECT_EQ(s.DownloadType, 0); }},
        {{L"-downloadscale=0.4"}, [](const InstallerSettings& s) { EXPECT_DOUBLE_EQ(s.DownloadScale, 0.4); }},
        {{L"-downloadscale=0.4xyz"}, [](const InstallerSettings& s) { EXPECT_DOUBLE_EQ(s.DownloadScale, 0.4); }},
        // Not a number, or too large: the share stays what it was (0.25 from the file).
        {{L"-downloadscale=abc"}, [](const InstallerSettings& s) { EXPECT_DOUBLE_EQ(s.DownloadScale, 0.25); }},
        {{L"-downloadscale"}, [](const InstallerSettings& s) { EXPECT_DOUBLE_EQ(s.DownloadScale, 0.25); }},
        {{L"-downloadscale=1e999"}, [](const InstallerSettings& s) { EXPECT_DOUBLE_EQ(s.DownloadScale, 0.25); }},
        {{L"-downloadscale=nan"}, [](const InstallerSettings& s) { EXPECT_DOUBLE_EQ(s.DownloadScale, 0.25); }},
        {{L"-downloadurl="}, [](const InstallerSettings& s) { EXPECT_EQ(s.DownloadUrl, L""); }},
        {{L"-downloadurl"}, [](const InstallerSettings& s) { EXPECT_EQ(s.DownloadUrl, L""); }},
        {{L"-downloadurl=http://127.0.0.1/${ROUTE}"},
         [](const InstallerSettings& s) { EXPECT_EQ(s.DownloadUrl, L"http://127.0.0.1/download_silent"); }},
        {{L"-instcmd=-a=1 -b"}, [](const InstallerSettings& s) { EXPECT_EQ(s.InstCmd, L"-a=1 -b"); }},
        {{L"-dlappnamesuffix=.s", L"-dlappversion=3"},
         [](const InstallerSettings& s) { EXPECT_EQ(s.DlAppNameSuffix + s.DlAppVersion, L".s3"); }},
        {{L"-instcmd=" + std::wstring(300, L'i')},
         [](const InstallerSettings& s) { EXPECT_EQ(s.InstCmd, std::wstring(300, L'i')); }},
    };
    for (const auto& c : cases) {
        InstallerSettings settings = FromFile("[Install]\nDownloadScale=0.25\n");
        std::vector<std::wstring> arguments = {L"/opt/installer"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        settings.ApplyCommandLine(arguments);
        SCOPED_TRACE(Platform::WideToUtf8(c.arguments.front()));
        c.check(settings);
    }
}

// The installer as it runs: the file beside the executable, then the process's arguments.
TEST(InstallerSettings, TheProcessReadsTheFileBesideItAndItsArguments) {
    const std::string folder = TestSupport::MakeFolder("beside");
    const std::string probe = folder + "/parlumo setup";
    ASSERT_TRUE(Platform::CopyFile(Platform::ActiveToWide(TestSupport::HelperPath("settings_probe")),
                                   Platform::ActiveToWide(probe)));
    const auto run = [&](const std::string& arguments) {
        std::string output;
        FILE* pipe = popen(("'" + probe + "' " + arguments).c_str(), "r");
        if (!pipe) return output;
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) output.append(buffer, n);
        EXPECT_EQ(pclose(pipe), 0);
        return output;
    };
    const std::string defaults = run("");
    EXPECT_NE(defaults.find("DownloadUrl=http://dl.parlumo.com/software/444\n"), std::string::npos) << defaults;
    EXPECT_NE(defaults.find("IsCheckNet=0\n"), std::string::npos) << defaults;

    TestSupport::WriteFile(folder + "/VarenInstallerConfig.ini",
                           "[Install]\nDownloadUrl=http://127.0.0.1:1/${ROUTE}\nDownloadType=3\nInstCmd=\xE4\xB8\xAD\n");
    const std::string output =
        run("-downloadtype=2 '-instcmd=a \"b\"' -language=es-ES -insnew=true -downloadscale=0.5 ''");
    EXPECT_NE(output.find("DownloadUrl=http://127.0.0.1:1/download_silent\n"), std::string::npos) << output;
    EXPECT_NE(output.find("DownloadType=2\n"), std::string::npos) << output;
    EXPECT_NE(output.find("InstCmd=a \"b\"\n"), std::string::npos) << output;
    EXPECT_NE(output.find("IsCheckNet=1\n"), std::string::npos) << output;
    EXPECT_NE(output.find("Language=0\n"), std::string::npos) << output;
    EXPECT_NE(output.find("InsNew=1\n"), std::string::npos) << output;
    EXPECT_NE(output.find("DownloadScale=0.5\n"), std::string::npos) << output;
}
