// Fuzz target: the INI reader over arbitrary file content.
//
// The first input byte chooses the buffer size; the rest is the file. Every lookup must
// return without a fault and respect the buffer, and a value found must read the same
// whether asked with the stored letter case or another.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/decimal_number.h"
#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t bufferChars = data[0] % 8 == 0 ? data[0] : Platform::kDefaultIniBufferChars;
    const std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);

    const struct {
        const wchar_t* section;
        const wchar_t* key;
    } lookups[] = {
        {L"Install", L"DownloadUrl"}, {L"INSTALL", L"downloadurl"}, {L"Install", L"DownloadScale"},
        {L"a", L"b"}, {L"", L""},
    };
    for (const auto& lookup : lookups) {
        const std::wstring value = Platform::ReadIniStringFromBytes(file, lookup.section, lookup.key, L"default", bufferChars);
        if (bufferChars == 0 ? !value.empty() : value.size() >= bufferChars) std::abort();
        (void)Platform::ReadLeadingInt(value);
        const Platform::DoubleReading scale = Platform::ReadLeadingDouble(value);
        if (scale.value != scale.value) std::abort();  // never a NaN
    }
    if (Platform::ReadIniStringFromBytes(file, L"Install", L"DownloadUrl", L"d", bufferChars) !=
        Platform::ReadIniStringFromBytes(file, L"INSTALL", L"downloadurl", L"d", bufferChars))
        std::abort();
    (void)Platform::ReadIniIntFromBytes(file, L"Install", L"DownloadType", 1);
    return 0;
}
