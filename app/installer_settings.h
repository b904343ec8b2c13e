#pragma once
// The installer's settings: where the setup package comes from, which downloader fetches
// it, whether connectivity is probed first, how the progress bar is split, the extra
// arguments of the package setup, the interface language asked for, and update mode.
//
// Filled in three layers, each overriding the one before: built-in defaults, then the
// settings file "VarenInstallerConfig.ini" beside the executable (section "Install", only
// when the file exists), then the command line (only the options present).
//
// Readings the defaults and the file do not settle on their own (docs/settings.md):
//   - A number that does not fit its type reads like one that is not a number at all:
//     DownloadType 99999999999 in the file gives 0, DownloadScale 1e999 in the file gives
//     0.0, -downloadtype=99999999999 and -language=99999999999 give 0.
//   - A "-downloadscale" value that is not a number (or does not fit a double) keeps the
//     value DownloadScale already had.
//   - Only decimal numbers count: "inf", "nan" and hexadecimal forms are not numbers, so
//     the progress arithmetic never sees a non-finite share.
//   - An empty DownloadType in the file ("DownloadType=") reads as the default 1, as the
//     Windows profile API reads an empty integer entry.
//   - A folder named like the settings file is not a settings file: the defaults stay.
//
// One process-wide instance, Get(), built on first use on the main thread (before the
// entry applies the command line). Everything here runs on the main thread; worker threads
// only read the record after the window exists, so it has no lock.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line_options.h"

class InstallerSettings {
public:
    // Built-in address of the setup package; it holds no route placeholder.
    static constexpr std::wstring_view kBuiltInDownloadUrl = L"http://dl.parlumo.com/software/444";
    static constexpr std::wstring_view kSettingsFileName = L"VarenInstallerConfig.ini";
    static constexpr std::wstring_view kSettingsSection = L"Install";

    static constexpr std::wstring_view kRoutePlaceholder = L"${ROUTE}";
    static constexpr std::wstring_view kRouteXp = L"download_silent_xp";
    static constexpr std::wstring_view kRoute64 = L"download_silent_64";
    static constexpr std::wstring_view kRouteDefault = L"download_silent";
    static constexpr int ProductNumber = 629;
    // The products for which a 64-bit package is offered.
    static constexpr int k64BitProductNumbers[] = {267, 385, 257, 335, 318};

    // The process-wide record: defaults and the settings file beside the executable.
    static InstallerSettings& Get();

    // Defaults, then the settings file beside the executable.
    InstallerSettings();
    // Defaults, then the settings file at `settingsPath` (tests, tools).
    explicit InstallerSettings(std::wstring_view settingsPath);

    // Reads the settings file beside the executable; every failure leaves defaults in place.
    void Load();
    // Reads the settings file at `settingsPath` when a file exists there.
    void Load(std::wstring_view settingsPath);

    // Stores the route expansion of `url` into DownloadUrl.
    void SetDownloadUrl(std::wstring_view url);

    // The system facts the download route depends on.
    struct RouteSystem {
        std::wstring versionName;               // the Windows version name ("XP", "2K", ...)
        int productNumber = ProductNumber;
        std::function<bool()> is64BitWindows;  // asked only for a product with a 64-bit package
    };
    // Replaces every "${ROUTE}" in `text` with the route for this system; text without the
    // placeholder comes back unchanged and no system query is made.
    static std::wstring ExpandRoute(std::wstring_view text);
    // The same for a given system.
    static std::wstring ExpandRoute(std::wstring_view text, const RouteSystem& system);

    // Applies this process's arguments (the entry calls it exactly once).
    void ApplyCommandLine();
    // Applies arguments already split; the first is the program's own path.
    void ApplyCommandLine(const std::vector<std::wstring>& arguments);
    // Applies an option map; absent options leave their fields unchanged.
    void ApplyOptions(const Utils::CommandLineOptions& options);

    // The fields, in their declared order.
    std::wstring DlAppNameSuffix;  // stored only
    std::wstring DlAppVersion;     // stored only
    std::wstring InstCmd;          // appended to the package setup's command line when not empty
    std::wstring DownloadUrl;      // always stored route-expanded
    int DownloadType = 1;          // 2 WinHTTP-style, 3 multi-part, any other single-stream
    bool IsCheckNet = false;       // probe connectivity before downloading
    bool IsEnableAppSensors = true;  // stored only
    double DownloadScale = 0.7;    // the download's share of the progress bar, not range-checked
    int Language = -1;             // interface language index; -1 follows the system
    bool InsNew = false;           // update mode, started by the product itself

private:
    void SetDefaults();
};
