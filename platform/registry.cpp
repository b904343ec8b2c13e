#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/paths.h"
#include "platform/text_encoding.h"

namespace Platform {
namespace {

constexpr std::wstring_view kStoreFolder = L"parlumo";
constexpr std::wstring_view kStoreFile = L"registry.ini";
constexpr std::wstring_view kLockSuffix = L".lock";

enum class Field { Name, Value };

std::wstring Escape(std::wstring_view text, Field field) {
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring escaped;
    escaped.reserve(text.size());
    for (const wchar_t c : text) {
        switch (c) {
            case L'\\': escaped += L"\\\\"; continue;
            case L'\n': escaped += L"\\n"; continue;
            case L'\r': escaped += L"\\r"; continue;
            case L'\t': escaped += L"\\t"; continue;
            case L'=': case L'[': case L']': case L';':
                if (field == Field::Name) {
                    escaped += L'\\';
                    escaped += c;
                    continue;
                }
                break;
            default: break;
        }
        if (c < 0x20 || c == 0x7F) {
            escaped += L"\\x";
            escaped += kHex[(c >> 4) & 0xF];
            escaped += kHex[c & 0xF];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// Undoes Escape. Stops at the first unescaped `stop` character (when given) and reports
// where; an escape the store never writes is kept as it stands.
std::wstring Unescape(std::wstring_view text, wchar_t stop, std::size_t* stoppedAt) {
    std::wstring plain;
    std::size_t at = 0;
    for (; at < text.size(); ++at) {
        const wchar_t c = text[at];
        if (stop != 0 && c == stop) break;
        if (c != L'\\' || at + 1 >= text.size()) {
            plain += c;
            continue;
        }
        const wchar_t next = text[at + 1];
        switch (next) {
            case L'n': plain += L'\n'; ++at; continue;
            case L'r': plain += L'\r'; ++at; continue;
            case L't': plain += L'\t'; ++at; continue;
            case L'\\': case L'=': case L'[': case L']': case L';': plain += next; ++at; continue;
            case L'x':
                if (at + 3 < text.size() && HexDigitValue(text[at + 2]) >= 0 && HexDigitValue(text[at + 3]) >= 0) {
                    plain += static_cast<wchar_t>(HexDigitValue(text[at + 2]) * 16 + HexDigitValue(text[at + 3]));
                    at += 3;
                    continue;
                }
                break;
            default: break;
        }
        plain += c;
    }
    if (stoppedAt) *stoppedAt = at;
    return plain;
}

struct StoreLine {
    std::string bytes;  // as in the file, without the line end
    enum class Kind { Other, Section, Value } kind = Kind::Other;
    std::wstring name;
    std::wstring value;
};

StoreLine ParseLine(std::string bytes) {
    StoreLine line;
    line.bytes = std::move(bytes);
    const std::wstring text = Utf8ToWide(line.bytes);
    if (text.empty() || text[0] == L';' || text[0] == L'#') return line;
    std::size_t stoppedAt = 0;
    if (text[0] == L'[') {
        // A header is "[" name "]" with nothing after the closing bracket.
        line.name = Unescape(std::wstring_view(text).substr(1), L']', &stoppedAt);
        if (1 + stoppedAt == text.size() - 1) line.kind = StoreLine::Kind::Section;
        return line;
    }
    line.name = Unescape(text, L'=', &stoppedAt);
    if (stoppedAt >= text.size()) return line;  // no "=": not a value line
    line.value = Unescape(std::wstring_view(text).substr(stoppedAt + 1), 0, nullptr);
    line.kind = StoreLine::Kind::Value;
    return line;
}

std::vector<StoreLine> ParseStore(const std::string& bytes) {
    std::vector<StoreLine> lines;
    std::size_t at = 0;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) at = 3;
    while (at < bytes.size()) {
        std::size_t newline = bytes.find('\n', at);
        if (newline == std::string::npos) newline = bytes.size();
        std::size_t contentEnd = newline;
        if (contentEnd > at && bytes[contentEnd - 1] == '\r') --contentEnd;
        lines.push_back(ParseLine(bytes.substr(at, contentEnd - at)));
        at = newline + 1;
    }
    return lines;
}

std::string SerializeStore(const std::vector<StoreLine>& lines) {
    std::string bytes;
    for (const StoreLine& line : lines) bytes += line.bytes + "\n";
    return bytes;
}

// Line indexes of the first section of the key path and of the value's first line in it.
struct Location {
    std::optional<std::size_t> section;
    std::optional<std::size_t> value;
    std::size_t insertAt = 0;  // after the section's last value line
};

Location Locate(const std::vector<StoreLine>& lines, std::wstring_view keyPath, std::wstring_view valueName) {
    Location location;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const StoreLine& line = lines[index];
        if (!location.section) {
            if (line.kind == StoreLine::Kind::Section && EqualsIgnoringCase(line.name, keyPath))
                location.section = index, location.insertAt = index + 1;
            continue;
        }
        if (line.kind == StoreLine::Kind::Section) break;
        if (line.kind != StoreLine::Kind::Value) continue;
        location.insertAt = index + 1;
        if (EqualsIgnoringCase(line.name, valueName)) {
            location.value = index;
            break;
        }
    }
    return location;
}

std::string ValueLineBytes(std::wstring_view valueName, std::wstring_view value) {
    return WideToUtf8(Escape(valueName, Field::Name) + L"=" + Escape(value, Field::Value));
}

// Creates every missing folder on the way to `folder`.
bool EnsureFolder(const std::wstring& folder) {
    if (folder.empty() || IsDirectory(folder)) return true;
    const std::wstring parent = DirectoryOf(folder);
    if (parent != folder && !EnsureFolder(parent)) return false;
    return CreateDirectory(folder) || IsDirectory(folder);
}

// Holds the store's advisory lock for one read-modify-write. flock locks belong to the
// open file, so two threads of one process exclude each other as two processes do.
class StoreLock {
public:
    explicit StoreLock(const std::wstring& path) {
        descriptor_ = ::open(WideToActive(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (descriptor_ < 0) return;
        while (::flock(descriptor_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(descriptor_);
                descriptor_ = -1;
                return;
            }
        }
    }
    ~StoreLock() {
        if (descriptor_ >= 0) ::close(descriptor_);  // closing releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return descriptor_ >= 0; }

private:
    int descriptor_ = -1;
};

std::optional<std::vector<StoreLine>> LoadStore(const std::wstring& path) {
    if (!PathExists(path)) return std::vector<StoreLine>();
    const std::optional<std::string> bytes = ReadFileBytes(path);
    if (!bytes) return std::nullopt;
    return ParseStore(*bytes);
}

// Runs one read-modify-write: `change` edits the lines and says whether anything needs
// writing. False when the store could not be locked, read or written.
template <typename Change>
bool ModifyStore(Change change) {
    const std::wstring path = RegistryStorePath();
    if (path.empty() || !EnsureFolder(DirectoryOf(path))) return false;
    StoreLock lock(path + std::wstring(kLockSuffix));
    if (!lock.held()) return false;
    std::optional<std::vector<StoreLine>> lines = LoadStore(path);
    if (!lines) return false;
    if (!change(*lines)) return true;
    return WriteFileAtomically(path, SerializeStore(*lines));
}

}  // namespace

std::wstring RegistryStorePath() {
    const std::wstring configHome = GetShellFolder(ShellFolder::ConfigHome);
    if (configHome.empty()) return {};
    return JoinPath(JoinPath(configHome, kStoreFolder), kStoreFile);
}

std::optional<std::wstring> ReadRegistryValue(std::wstring_view keyPath, std::wstring_view valueName) {
    const std::wstring path = RegistryStorePath();
    if (path.empty()) return std::nullopt;
    const std::optional<std::vector<StoreLine>> lines = LoadStore(path);
    if (!lines) return std::nullopt;
    const Location location = Locate(*lines, keyPath, valueName);
    if (!location.value) return std::nullopt;
    return (*lines)[*location.value].value;
}

bool WriteRegistryValue(std::wstring_view keyPath, std::wstring_view valueName, std::wstring_view value) {
    return ModifyStore([&](std::vector<StoreLine>& lines) {
        const Location location = Locate(lines, keyPath, valueName);
        StoreLine line;
        line.kind = StoreLine::Kind::Value;
        line.name = std::wstring(valueName);
        line.value = std::wstring(value);
        line.bytes = ValueLineBytes(valueName, value);
        if (location.value) {
            lines[*location.value] = std::move(line);
        } else if (location.section) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(location.insertAt), std::move(line));
        } else {
            StoreLine header;
            header.kind = StoreLine::Kind::Section;
            header.name = std::wstring(keyPath);
            header.bytes = WideToUtf8(L"[" + Escape(keyPath, Field::Name) + L"]");
            if (!lines.empty() && !lines.back().bytes.empty()) lines.push_back(StoreLine());
            lines.push_back(std::move(header));
            lines.push_back(std::move(line));
        }
        return true;
    });
}

bool DeleteRegistryValue(std::wstring_view keyPath, std::wstring_view valueName) {
    const std::wstring path = RegistryStorePath();
    if (path.empty()) return false;
    if (!PathExists(path)) return true;
    return ModifyStore([&](std::vector<StoreLine>& lines) {
        const Location location = Locate(lines, keyPath, valueName);
        if (!location.value) return false;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*location.value));
        return true;
    });
}

}  // namespace Platform
