#include "app/installer_settings.h"

#include <algorithm>
#include <optional>

#include "platform/command_line.h"
#include "platform/decimal_number.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "support/windows_version.h"

namespace {

// Option names, matched exactly.
constexpr std::wstring_view kOptionDownloadUrl = L"-downloadurl";
constexpr std::wstring_view kOptionDownloadType = L"-downloadtype";
constexpr std::wstring_view kOptionDownloadScale = L"-downloadscale";
constexpr std::wstring_view kOptionIsCheckNet = L"-ischecknet";
constexpr std::wstring_view kOptionIsEnableAppSensors = L"-isenableappsensors";
constexpr std::wstring_view kOptionDlAppNameSuffix = L"-dlappnamesuffix";
constexpr std::wstring_view kOptionDlAppVersion = L"-dlappversion";
constexpr std::wstring_view kOptionInstCmd = L"-instcmd";
constexpr std::wstring_view kOptionLanguage = L"-language";
constexpr std::wstring_view kOptionInsNew = L"-insnew";

constexpr std::wstring_view kDefaultDlAppNameSuffix = L".downloader";

}  // namespace

InstallerSettings& InstallerSettings::Get() {
    static InstallerSettings settings;
    return settings;
}

InstallerSettings::InstallerSettings() {
    SetDefaults();
    Load();
}

InstallerSettings::InstallerSettings(std::wstring_view settingsPath) {
    SetDefaults();
    Load(settingsPath);
}

void InstallerSettings::SetDefaults() {
    DlAppNameSuffix = kDefaultDlAppNameSuffix;
    DlAppVersion.clear();
    InstCmd.clear();
    DownloadType = 1;
    IsCheckNet = false;
    IsEnableAppSensors = true;
    DownloadScale = 0.7;
    Language = -1;
    InsNew = false;
    DownloadUrl = ExpandRoute(kBuiltInDownloadUrl);
}

void InstallerSettings::Load() {
    const std::wstring modulePath = Platform::ModulePath();
    if (modulePath.empty()) return;
    Load(Platform::JoinPath(Platform::DirectoryOf(modulePath), kSettingsFileName));
}

void InstallerSettings::Load(std::wstring_view settingsPath) {
    if (!Platform::IsRegularFile(settingsPath)) return;
    // One snapshot of the file for every key; an unreadable file reads as an empty one, so
    // every key takes its stated default, as the profile API answers for such a file.
    const std::optional<std::string> bytes = Platform::ReadFileBytes(settingsPath);
    const std::string_view content = bytes ? std::string_view(*bytes) : std::string_view();
    const auto text = [&](std::wstring_view key, std::wstring_view fallback) {
        return Platform::ReadIniStringFromBytes(content, kSettingsSection, key, fallback);
    };

    SetDownloadUrl(text(L"DownloadUrl", kBuiltInDownloadUrl));
    DownloadType = Platform::ReadIniIntFromBytes(content, kSettingsSection, L"DownloadType", 1);
    IsCheckNet = text(L"IsCheckNet", L"true") == L"true";
    IsEnableAppSensors = text(L"IsEnableAppSensors", L"true") == L"true";
    DlAppNameSuffix = text(L"DlAppNameSuffix", kDefaultDlAppNameSuffix);
    DlAppVersion = text(L"m_DlAppVersion", L"");
    const Platform::DoubleReading scale = Platform::ReadLeadingDouble(text(L"DownloadScale", L"0.7"));
    DownloadScale = scale.status == Platform::NumberReading::Value ? scale.value : 0.0;
    InstCmd = text(L"InstCmd", L"");
}

void InstallerSettings::SetDownloadUrl(std::wstring_view url) { DownloadUrl = ExpandRoute(url); }

std::wstring InstallerSettings::ExpandRoute(std::wstring_view text) {
    if (text.find(kRoutePlaceholder) == std::wstring_view::npos) return std::wstring(text);
    RouteSystem system;
    std::wstring family;
    Utils::GetWindowsVersionName(family, system.versionName);
    system.is64BitWindows = [] { return Utils::Is64BitWindows(); };
    return ExpandRoute(text, system);
}

std::wstring InstallerSettings::ExpandRoute(std::wstring_view text, const RouteSystem& system) {
    if (text.find(kRoutePlaceholder) == std::wstring_view::npos) return std::wstring(text);
    std::wstring_view route = kRouteDefault;
    if (system.versionName.find(L"XP") != std::wstring::npos) {
        route = kRouteXp;
    } else if (std::find(std::begin(k64BitProductNumbers), std::end(k64BitProductNumbers),
                         system.productNumber) != std::end(k64BitProductNumbers) &&
               system.is64BitWindows && system.is64BitWindows()) {
        route = kRoute64;
    }
    // A route holds no "}", so a replacement never forms a new placeholder and the search
    // can go on after it.
    std::wstring expanded(text);
    for (std::size_t at = expanded.find(kRoutePlaceholder); at != std::wstring::npos;
         at = expanded.find(kRoutePlaceholder, at + route.size())) {
        expanded.replace(at, kRoutePlaceholder.size(), route);
    }
    return expanded;
}

void InstallerSettings::ApplyCommandLine() { ApplyCommandLine(Platform::ProcessArguments()); }

void InstallerSettings::ApplyCommandLine(const std::vector<std::wstring>& arguments) {
    ApplyOptions(Utils::ParseArguments(arguments));
}

void InstallerSettings::ApplyOptions(const Utils::CommandLineOptions& options) {
    const auto has = [&](std::wstring_view key) { return options.find(key) != options.end(); };
    if (has(kOptionDownloadUrl)) SetDownloadUrl(Utils::GetOptionText(options, kOptionDownloadUrl));
    if (has(kOptionDownloadType)) DownloadType = Utils::GetOptionInt(options, kOptionDownloadType);
    // A value that is not a number keeps the share the bar already uses.
    if (has(kOptionDownloadScale))
        DownloadScale = Utils::GetOptionDouble(options, kOptionDownloadScale, DownloadScale);
    if (has(kOptionIsCheckNet)) IsCheckNet = Utils::GetOptionBool(options, kOptionIsCheckNet);
    if (has(kOptionIsEnableAppSensors))
        IsEnableAppSensors = Utils::GetOptionBool(options, kOptionIsEnableAppSensors);
    if (has(kOptionDlAppNameSuffix)) DlAppNameSuffix = Utils::GetOptionText(options, kOptionDlAppNameSuffix);
    if (has(kOptionDlAppVersion)) DlAppVersion = Utils::GetOptionText(options, kOptionDlAppVersion);
    if (has(kOptionInstCmd)) InstCmd = Utils::GetOptionText(options, kOptionInstCmd);
    if (has(kOptionLanguage)) Language = Utils::GetOptionInt(options, kOptionLanguage);
    if (has(kOptionInsNew)) InsNew = Utils::GetOptionBool(options, kOptionInsNew);
}
