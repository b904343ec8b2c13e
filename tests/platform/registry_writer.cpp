// Writes <count> values named "<prefix><n>" under one key of the registry store, each as
// its own read-modify-write, so that two of these running at once contend for the store.
// Exit code 0 when every write reported success.

#include <cstdlib>
#include <string>

#include "platform/registry.h"
#include "platform/text_encoding.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::wstring prefix = Platform::ActiveToWide(argv[1]);
    const int count = std::atoi(argv[2]);
    int failures = 0;
    for (int n = 0; n < count; ++n) {
        const std::wstring name = prefix + std::to_wstring(n);
        if (!Platform::WriteRegistryValue(L"Software\\VarenSoft\\parlumo", name, L"value of " + name)) ++failures;
    }
    return failures == 0 ? 0 : 1;
}
