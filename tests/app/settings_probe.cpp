// Builds the process-wide installer settings the way the installer does (defaults, then
// "VarenInstallerConfig.ini" beside this executable, then this process's arguments) and
// prints every field as "Name=value" lines in UTF-8.

#include <cstdio>

#include "app/installer_settings.h"
#include "platform/text_encoding.h"

int main() {
    InstallerSettings& settings = InstallerSettings::Get();
    if (&settings != &InstallerSettings::Get()) return 3;
    settings.ApplyCommandLine();
    const auto text = [](const char* name, const std::wstring& value) {
        std::printf("%s=%s\n", name, Platform::WideToUtf8(value).c_str());
    };
    text("DlAppNameSuffix", settings.DlAppNameSuffix);
    text("DlAppVersion", settings.DlAppVersion);
    text("InstCmd", settings.InstCmd);
    text("DownloadUrl", settings.DownloadUrl);
    std::printf("DownloadType=%d\n", settings.DownloadType);
    std::printf("IsCheckNet=%d\n", settings.IsCheckNet ? 1 : 0);
    std::printf("IsEnableAppSensors=%d\n", settings.IsEnableAppSensors ? 1 : 0);
    std::printf("DownloadScale=%g\n", settings.DownloadScale);
    std::printf("Language=%d\n", settings.Language);
    std::printf("InsNew=%d\n", settings.InsNew ? 1 : 0);
    return 0;
}
