#pragma once
// Helpers shared by all test suites.

#include <chrono>
#include <functional>
#include <string>

namespace TestSupport {

// This test process's private folder (HOME, XDG folders, APPDATA and TMPDIR live in it).
const std::string& PrivateFolder();

// A fresh, empty folder inside the private folder, named after `hint`.
std::string MakeFolder(const std::string& hint);

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);  // "" when missing
bool FileExists(const std::string& path);

// The file this process's diagnostic log goes to (PARLUMO_LOG, set before any test runs).
// Every test of a process shares it; look for the lines your test wrote.
const std::string& CapturedLogFile();

// Full path of a helper program built into the tests' helper folder.
std::string HelperPath(const std::string& name);

// Polls `condition` until it holds or `limit` passes; true when it held.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(20));

}  // namespace TestSupport
