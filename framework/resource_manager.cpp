#include "framework/resource_manager.h"

#include "platform/paths.h"

namespace Framework {

ResourceManager& ResourceManager::Instance() {
    static ResourceManager instance;
    return instance;
}

void ResourceManager::SetReader(std::unique_ptr<ResourceReader> reader) { reader_ = std::move(reader); }

std::optional<std::string> ResourceManager::ReadFile(std::wstring_view name) const {
    if (!reader_ || name.empty()) return std::nullopt;
    return reader_->ReadFile(name);
}

void ResourceManager::SetInstanceFolder(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'/') folder.push_back(L'/');
    instanceFolder_ = std::move(folder);
}

const std::wstring& ResourceManager::InstanceFolder() {
    if (instanceFolder_.empty()) {
        std::wstring folder = Platform::DirectoryOf(Platform::ModulePath());
        SetInstanceFolder(folder.empty() ? std::wstring(L"./") : folder);
    }
    return instanceFolder_;
}

void ResourceManager::SetText(int id, std::wstring text) { texts_[id] = std::move(text); }

std::wstring ResourceManager::GetText(int id) const {
    auto it = texts_.find(id);
    return it == texts_.end() ? std::wstring() : it->second;
}

void ResourceManager::ClearTexts() { texts_.clear(); }

}  // namespace Framework
