#include "app/command_line_options.h"

#include "platform/command_line.h"
#include "platform/decimal_number.h"

namespace Utils {

CommandLineOptions ParseCommandLine(const std::wstring& commandLine) {
    return ParseArguments(Platform::SplitCommandLine(commandLine));
}

CommandLineOptions ParseArguments(const std::vector<std::wstring>& arguments) {
    CommandLineOptions options;
    for (const std::wstring& argument : arguments) {
        std::wstring key = argument;
        std::wstring value;
        if (!argument.empty() && argument[0] == L'-') {
            const std::size_t equals = argument.find(L'=');
            if (equals != std::wstring::npos) {
                key = argument.substr(0, equals);
                value = argument.substr(equals + 1);
            }
        }
        options.emplace(std::move(key), std::move(value));  // keeps the first occurrence
    }
    return options;
}

std::wstring GetOptionText(const CommandLineOptions& options, std::wstring_view key) {
    const auto found = options.find(key);
    return found == options.end() ? std::wstring() : found->second;
}

int GetOptionInt(const CommandLineOptions& options, std::wstring_view key) {
    const auto found = options.find(key);
    if (found == options.end()) return 0;
    const Platform::IntReading reading = Platform::ReadLeadingInt(found->second);
    return reading.status == Platform::NumberReading::Value ? reading.value : 0;
}

double GetOptionDouble(const CommandLineOptions& options, std::wstring_view key, double fallback) {
    const auto found = options.find(key);
    if (found == options.end()) return fallback;
    const Platform::DoubleReading reading = Platform::ReadLeadingDouble(found->second);
    return reading.status == Platform::NumberReading::Value ? reading.value : fallback;
}

bool GetOptionBool(const CommandLineOptions& options, std::wstring_view key) {
    const auto found = options.find(key);
    return found != options.end() && found->second == L"true";
}

}  // namespace Utils
