#pragma once
// Where layouts and images come from. The installer plugs in its skin archive (a 7z
// archive held in memory); tests and tools use a folder on disk.
//
// A reader is handed to the framework once (ResourceManager::SetReader) and used only
// on the window thread afterwards.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Framework {

class ResourceReader {
public:
    virtual ~ResourceReader() = default;
    // The bytes of the file `name` (relative to the skin's root; "\" and "/" both
    // separate folders). nullopt when there is no such file; folders are never files.
    virtual std::optional<std::string> ReadFile(std::wstring_view name) const = 0;
};

// Serves files from a folder. Names are matched one component at a time, first
// exactly, then ignoring letter case, so a layout asking for "MainWnd.xml" finds
// "mainWnd.xml" as the skin archive would. Absolute names and ".." never leave the
// folder.
class FolderResourceReader : public ResourceReader {
public:
    explicit FolderResourceReader(std::wstring folder);
    std::optional<std::string> ReadFile(std::wstring_view name) const override;

private:
    std::wstring folder_;
};

}  // namespace Framework
