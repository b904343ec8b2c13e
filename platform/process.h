#pragma once
// Child processes, pipes and the process list: what the installer needs in place of
// CreatePipe, CreateProcessW, the process snapshot and ShellExecuteW "open".
//
// Descriptors are plain ints (-1 = none). Every descriptor made here is close-on-exec, so
// a child started at the same time as another never inherits the other's pipe ends; a
// child receives only what is handed to it as its standard streams.
//
// Stateless and safe on any thread. A process id handed out by SpawnProcess belongs to
// its caller, who must reap it with WaitForProcess (once) so that no zombie stays behind.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// Makes an anonymous pipe whose two ends are close-on-exec and never one of the standard
// descriptors 0, 1 or 2. False (with errno in `errorCode`) when it cannot be made; nothing
// is left open then.
bool CreatePipe(int& readEnd, int& writeEnd, int* errorCode = nullptr);

// Closes `descriptor` when it is open and sets it to -1.
void CloseDescriptor(int& descriptor);

// Reads up to `size` bytes; blocks until some arrive or every writer has gone.
// Returns the count read, 0 at end of data, -1 on a failure (interruptions are retried).
long ReadDescriptor(int descriptor, void* buffer, std::size_t size);

// Writes all `size` bytes; false on a failure (interruptions are retried).
bool WriteDescriptor(int descriptor, const void* buffer, std::size_t size);

// Starts arguments[0] with `arguments` as its argv (the narrow form in the active code
// page), searched in PATH when it contains no "/", in the installer's environment and
// current folder. The child's standard input and output are the given descriptors; its
// standard error goes to /dev/null, so that a child writing a lot there never blocks.
// Returns the child's process id, or -1 with errno in `errorCode` when it could not be
// started (missing, not executable, no memory); no child exists then.
int SpawnProcess(const std::vector<std::wstring>& arguments, int standardInput,
                 int standardOutput, int* errorCode = nullptr);

// The end of a spawned child.
struct ProcessEnd {
    bool ended = false;  // false: the child still runs
    int exitCode = 0;    // its exit status, 128 + N when signal N ended it, -1 when unknown
};

enum class WaitMode {
    Poll,   // answer at once
    Block,  // wait without a time limit for the child's end
};

// Asks whether the child `processId` (from SpawnProcess) has ended and reaps it when it
// has. Once a child was reported ended its id must not be asked about again: the kernel
// may already give it to another process.
ProcessEnd WaitForProcess(int processId, WaitMode mode);

// The id of the first running process (lowest id first) whose image file name equals
// `imageName` exactly, letter case included, or 0 when there is none. The image name is
// the base name of /proc/<pid>/exe, and, where that cannot be read or differs, the base
// name of the process's argv[0]. An empty name matches nothing.
std::uint32_t FindProcessByImageName(std::wstring_view imageName);

// Opens `target` the way the desktop's shell does for the verb "open": a file that the user
// may execute is started directly as a detached program (its own session, standard streams
// on /dev/null, in `workingFolder` when one is given); anything else (a web address, a
// document) is handed to xdg-open the same way. True when the program or xdg-open was
// started; the started program is never a child of the installer, so nothing is left to reap.
bool ShellOpen(std::wstring_view target, std::wstring_view workingFolder = L"");

}  // namespace Platform
