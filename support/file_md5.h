#pragma once
// The MD5 digest of a file (RFC 1321), computed by the system itself.
//
// Stateless; any thread. Memory use does not depend on the file's size.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Utils {

// 32 lowercase hexadecimal digits, or "" when the path is empty or the file cannot be
// opened. A read error ends the reading like the end of the file. `path` is narrow text
// in the active code page.
std::string GetFileMd5(const std::string& path);

// The running state of one digest, for callers that digest bytes they already hold.
class Md5Context {
public:
    Md5Context();
    void Update(const void* data, std::size_t length);
    // Finishes the digest and returns its 32 hex digits; the context is then spent.
    std::string FinalHex();

private:
    void Transform(const unsigned char* block);
    std::uint32_t bitCount_[2];   // message length in bits, low word first
    std::uint32_t state_[4];      // A, B, C, D
    unsigned char buffer_[64];    // bytes not yet transformed
};

}  // namespace Utils
