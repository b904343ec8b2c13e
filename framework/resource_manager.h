#pragma once
// Process-wide resources of the framework: the reader that serves layouts and images,
// the instance folder (the executable's folder), and the multi-language string table.
//
// Set up by the entry before the first window and used on the window thread only.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "framework/resource_reader.h"

namespace Framework {

class ResourceManager {
public:
    static ResourceManager& Instance();

    // Replaces the reader; images already decoded stay cached.
    void SetReader(std::unique_ptr<ResourceReader> reader);
    ResourceReader* Reader() const { return reader_.get(); }
    // The file's bytes, nullopt without a reader or without the file.
    std::optional<std::string> ReadFile(std::wstring_view name) const;

    // The folder of the executable, with a trailing separator (files looked up beside it).
    void SetInstanceFolder(std::wstring folder);
    const std::wstring& InstanceFolder();

    // Numbered interface texts (filled by the interface language); "" when missing.
    void SetText(int id, std::wstring text);
    std::wstring GetText(int id) const;
    void ClearTexts();

private:
    std::unique_ptr<ResourceReader> reader_;
    std::wstring instanceFolder_;
    std::map<int, std::wstring> texts_;
};

}  // namespace Framework
