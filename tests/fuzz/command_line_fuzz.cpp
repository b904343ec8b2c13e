// Fuzz target: the CommandLineToArgvW splitter and the option map over arbitrary lines.
//
// Each input byte is one character (bytes above 0x7F stand for characters outside ASCII),
// which keeps quotes, backslashes and blanks dense. Besides running without a fault, every
// argument after the program, quoted again, must split back to itself.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line_options.h"
#include "platform/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring line;
    line.reserve(size);
    for (std::size_t i = 0; i < size; ++i) line += data[i] < 0x80 ? static_cast<wchar_t>(data[i]) : static_cast<wchar_t>(0x4E00 + data[i]);

    const std::vector<std::wstring> arguments = Platform::SplitCommandLine(line, L"/program");
    if (arguments.empty()) std::abort();

    std::wstring requoted = L"program";
    for (std::size_t i = 1; i < arguments.size(); ++i) requoted += L" " + Platform::QuoteArgument(arguments[i]);
    std::vector<std::wstring> again = Platform::SplitCommandLine(requoted);
    again[0] = arguments[0];
    if (again != arguments) std::abort();

    const Utils::CommandLineOptions options = Utils::ParseCommandLine(line);
    if (options.empty()) std::abort();
    for (const auto& [key, value] : options) {
        (void)Utils::GetOptionInt(options, key);
        const double number = Utils::GetOptionDouble(options, key, 0.5);
        if (number != number) std::abort();
        (void)Utils::GetOptionBool(options, key);
    }
    return 0;
}
