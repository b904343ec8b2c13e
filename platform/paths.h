#pragma once
// Paths, files and the folders the system hands out.
//
// Paths are wide text joined with "/". Callers that come from a system with drive
// letters hand over whole paths; there is no drive part on this system, so "the drive
// of a path" is the path itself (see Platform::FreeSpace in system_info.h).
//
// Stateless and safe on any thread; environment reads are not synchronised with writers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Platform {

inline constexpr wchar_t kPathSeparator = L'/';

// "a" + "b" -> "a/b"; no doubled separator when `directory` already ends with one;
// an empty directory gives `name` unchanged.
std::wstring JoinPath(std::wstring_view directory, std::wstring_view name);

// The folder part of a path, without a trailing separator ("/a/b/c.txt" -> "/a/b",
// "c.txt" -> "", "/c.txt" -> "/"). Like removing the file part of a Windows path.
std::wstring DirectoryOf(std::wstring_view path);

// The last component of a path ("/a/b/c.txt" -> "c.txt"; "/a/b/" -> "").
std::wstring FileNameOf(std::wstring_view path);

// Absolute, with "." and ".." resolved lexically and no trailing separator (except "/").
// Relative paths are taken against the current folder.
std::wstring NormalizePath(std::wstring_view path);

// True when both name the same folder after normalisation; letter case counts.
bool IsSamePath(std::wstring_view a, std::wstring_view b);

bool PathExists(std::wstring_view path);
bool IsDirectory(std::wstring_view path);
bool IsRegularFile(std::wstring_view path);

// Creates one folder level (the parent must exist). True when it was created.
bool CreateDirectory(std::wstring_view path);

// Size in bytes of a file, nullopt when it cannot be read.
std::optional<std::uint64_t> FileSize(std::wstring_view path);

bool RemoveFile(std::wstring_view path);
// Replaces `to` atomically when it exists.
bool RenameFile(std::wstring_view from, std::wstring_view to);

// Copies a file keeping its mode bits; the copy is written beside `to` and renamed into
// place, so `to` is never seen half written. False when anything failed (nothing left behind).
bool CopyFile(std::wstring_view from, std::wstring_view to);

// Gives the file's owner the right to execute it (a downloaded package before it runs).
bool MakeExecutable(std::wstring_view path);

// Reads a whole file; nullopt when it cannot be opened or read.
std::optional<std::string> ReadFileBytes(std::wstring_view path);

// Writes a whole file through a temporary file beside it and a rename, so readers see
// either the old or the new content, never a part. False on any failure.
bool WriteFileAtomically(std::wstring_view path, std::string_view bytes);

// The running executable's full path (/proc/self/exe), empty when unknown.
std::wstring ModulePath();

// $TMPDIR, or "/tmp", always ending with a separator.
std::wstring TempFolder();

// An environment variable decoded from the active code page; nullopt when unset.
std::optional<std::wstring> GetEnvironmentVariable(std::wstring_view name);

// The user's home folder ($HOME, else the password database), empty when unknown.
std::wstring HomeFolder();

// The folders that stand for the Windows shell folders.
//   AppData:         $APPDATA when set, else $XDG_DATA_HOME (default ~/.local/share)
//   ProgramFiles:    /opt for root, else ~/.local/opt
//   CommonDocuments: /var/lib for root, else $XDG_DATA_HOME
//   ConfigHome:      $XDG_CONFIG_HOME (default ~/.config), home of the per-user registry store
//   RuntimeFolder:   $XDG_RUNTIME_DIR, else the temp folder
enum class ShellFolder { AppData, ProgramFiles, CommonDocuments, ConfigHome, RuntimeFolder };
// The folder without a trailing separator; empty when it cannot be determined.
std::wstring GetShellFolder(ShellFolder folder);

}  // namespace Platform
