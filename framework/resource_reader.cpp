#include "framework/resource_reader.h"

#include <cwctype>
#include <filesystem>
#include <system_error>
#include <vector>

#include "framework/attribute_values.h"
#include "platform/paths.h"
#include "platform/text_encoding.h"

namespace Framework {

namespace {

bool EqualsIgnoreCaseUtf8(const std::string& a, const std::wstring& b) {
    const std::wstring wide = Platform::Utf8ToWide(a);
    if (wide.size() != b.size()) return false;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        if (std::towlower(static_cast<wint_t>(wide[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
    }
    return true;
}

}  // namespace

FolderResourceReader::FolderResourceReader(std::wstring folder) : folder_(std::move(folder)) {}

std::optional<std::string> FolderResourceReader::ReadFile(std::wstring_view name) const {
    std::vector<std::wstring> parts;
    std::wstring current;
    for (wchar_t c : name) {
        if (c == L'\\' || c == L'/') {
            if (!current.empty()) parts.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) parts.push_back(std::move(current));
    if (parts.empty()) return std::nullopt;

    std::filesystem::path path(Platform::WideToUtf8(folder_));
    for (const std::wstring& part : parts) {
        if (part == L"." || part == L"..") return std::nullopt;
        std::error_code error;
        const std::filesystem::path exact = path / Platform::WideToUtf8(part);
        if (std::filesystem::exists(exact, error)) {
            path = exact;
            continue;
        }
        bool found = false;
        for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
            if (EqualsIgnoreCaseUtf8(entry.path().filename().string(), part)) {
                path = entry.path();
                found = true;
                break;
            }
        }
        if (!found) return std::nullopt;
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    return Platform::ReadFileBytes(Platform::Utf8ToWide(path.string()));
}

}  // namespace Framework
