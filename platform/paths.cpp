#include "platform/paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>
#include <vector>

#include "platform/text_encoding.h"

namespace Platform {
namespace {

std::string Narrow(std::wstring_view path) { return WideToActive(path); }

bool StatPath(std::wstring_view path, struct stat& info) {
    return !path.empty() && ::stat(Narrow(path).c_str(), &info) == 0;
}

// A name beside `target` that no other writer picks: pid plus random digits.
std::string SiblingTempName(const std::string& target) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    return target + ".tmp." + std::to_string(getpid()) + "." + std::to_string(random() % 1000000000);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Writes `bytes` to a fresh sibling of `target` with `mode`, flushes it and renames it
// over `target`. Nothing is left behind on failure.
bool ReplaceFileContent(const std::string& target, std::string_view bytes, mode_t mode) {
    const std::string temporary = SiblingTempName(target);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes.data(), bytes.size()) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temporary.c_str(), target.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace

std::wstring JoinPath(std::wstring_view directory, std::wstring_view name) {
    if (directory.empty()) return std::wstring(name);
    std::wstring joined(directory);
    if (joined.back() != kPathSeparator) joined.push_back(kPathSeparator);
    joined.append(name);
    return joined;
}

std::wstring DirectoryOf(std::wstring_view path) {
    const auto slash = path.find_last_of(kPathSeparator);
    if (slash == std::wstring_view::npos) return {};
    if (slash == 0) return L"/";
    return std::wstring(path.substr(0, slash));
}

std::wstring FileNameOf(std::wstring_view path) {
    const auto slash = path.find_last_of(kPathSeparator);
    return std::wstring(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

std::wstring NormalizePath(std::wstring_view path) {
    std::wstring absolute(path);
    if (absolute.empty() || absolute.front() != kPathSeparator) {
        char buffer[4096];
        const std::wstring current = ::getcwd(buffer, sizeof(buffer)) ? ActiveToWide(buffer) : L"/";
        absolute = JoinPath(current, absolute);
    }
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= absolute.size()) {
        std::size_t end = absolute.find(kPathSeparator, start);
        if (end == std::wstring::npos) end = absolute.size();
        const std::wstring part = absolute.substr(start, end - start);
        if (part == L"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::wstring normal;
    for (const auto& part : parts) normal += L"/" + part;
    return normal.empty() ? L"/" : normal;
}

bool IsSamePath(std::wstring_view a, std::wstring_view b) { return NormalizePath(a) == NormalizePath(b); }

bool PathExists(std::wstring_view path) {
    struct stat info {};
    return StatPath(path, info);
}

bool IsDirectory(std::wstring_view path) {
    struct stat info {};
    return StatPath(path, info) && S_ISDIR(info.st_mode);
}

bool IsRegularFile(std::wstring_view path) {
    struct stat info {};
    return StatPath(path, info) && S_ISREG(info.st_mode);
}

bool CreateDirectory(std::wstring_view path) {
    return !path.empty() && ::mkdir(Narrow(path).c_str(), 0755) == 0;
}

std::optional<std::uint64_t> FileSize(std::wstring_view path) {
    struct stat info {};
    if (!StatPath(path, info)) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

bool RemoveFile(std::wstring_view path) { return !path.empty() && ::unlink(Narrow(path).c_str()) == 0; }

bool RenameFile(std::wstring_view from, std::wstring_view to) {
    return ::rename(Narrow(from).c_str(), Narrow(to).c_str()) == 0;
}

bool CopyFile(std::wstring_view from, std::wstring_view to) {
    struct stat info {};
    if (!StatPath(from, info) || !S_ISREG(info.st_mode)) return false;
    auto bytes = ReadFileBytes(from);
    return bytes && ReplaceFileContent(Narrow(to), *bytes, info.st_mode & 07777);
}

bool MakeExecutable(std::wstring_view path) {
    struct stat info {};
    return StatPath(path, info) && ::chmod(Narrow(path).c_str(), (info.st_mode & 07777) | S_IXUSR) == 0;
}

std::optional<std::string> ReadFileBytes(std::wstring_view path) {
    const int fd = ::open(Narrow(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof(buffer));
        if (got < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return bytes;
}

bool WriteFileAtomically(std::wstring_view path, std::string_view bytes) {
    struct stat info {};
    const mode_t mode = StatPath(path, info) ? (info.st_mode & 07777) : 0644;
    return ReplaceFileContent(Narrow(path), bytes, mode);
}

std::wstring ModulePath() {
    char buffer[4096];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0) return {};
    return ActiveToWide(std::string_view(buffer, static_cast<std::size_t>(length)));
}

std::wstring TempFolder() {
    std::wstring folder = GetEnvironmentVariable(L"TMPDIR").value_or(L"");
    if (folder.empty()) folder = L"/tmp";
    if (folder.back() != kPathSeparator) folder.push_back(kPathSeparator);
    return folder;
}

std::optional<std::wstring> GetEnvironmentVariable(std::wstring_view name) {
    const char* value = std::getenv(WideToActive(name).c_str());
    if (!value) return std::nullopt;
    return ActiveToWide(value);
}

std::wstring HomeFolder() {
    if (auto home = GetEnvironmentVariable(L"HOME"); home && !home->empty()) return *home;
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof(buffer), &found) == 0 && found && found->pw_dir)
        return ActiveToWide(found->pw_dir);
    return {};
}

std::wstring GetShellFolder(ShellFolder folder) {
    auto fromVariable = [](const wchar_t* variable, const wchar_t* fallbackUnderHome) -> std::wstring {
        if (auto value = GetEnvironmentVariable(variable); value && !value->empty()) return *value;
        const std::wstring home = HomeFolder();
        return home.empty() ? std::wstring() : JoinPath(home, fallbackUnderHome);
    };
    const bool root = ::geteuid() == 0;
    switch (folder) {
        case ShellFolder::AppData:
            if (auto appData = GetEnvironmentVariable(L"APPDATA"); appData && !appData->empty()) return *appData;
            return fromVariable(L"XDG_DATA_HOME", L".local/share");
        case ShellFolder::ProgramFiles:
            if (root) return L"/opt";
            return HomeFolder().empty() ? std::wstring() : JoinPath(HomeFolder(), L".local/opt");
        case ShellFolder::CommonDocuments:
            if (root) return L"/var/lib";
            return fromVariable(L"XDG_DATA_HOME", L".local/share");
        case ShellFolder::ConfigHome:
            return fromVariable(L"XDG_CONFIG_HOME", L".config");
        case ShellFolder::RuntimeFolder: {
            if (auto runtime = GetEnvironmentVariable(L"XDG_RUNTIME_DIR"); runtime && !runtime->empty())
                return *runtime;
            std::wstring temp = TempFolder();
            temp.pop_back();
            return temp;
        }
    }
    return {};
}

}  // namespace Platform
