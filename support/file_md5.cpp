#include "support/file_md5.h"

#include <cstdio>
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

namespace Utils {
namespace {

inline std::uint32_t RotateLeft(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline std::uint32_t LoadLittleEndian(const unsigned char* p) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t word;
        std::memcpy(&word, p, sizeof(word));
        return word;
    } else {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
}

// The four auxiliary functions; F and G in the forms that need one operation less.
inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (z & (x ^ y)); }
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

#define MD5_STEP(f, a, b, c, d, x, s, t) \
    a += f(b, c, d) + (x) + (t);         \
    a = RotateLeft(a, s) + b;

// Reading blocks is this function's whole cost; the wider read keeps the system calls out
// of the way. Memory use stays the same for any file size.
constexpr std::size_t kReadBlock = 1 << 16;

}  // namespace

Md5Context::Md5Context() : bitCount_{0, 0}, state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, buffer_{} {}

void Md5Context::Transform(const unsigned char* block) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLittleEndian(block + 4 * i);
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];

    MD5_STEP(F, a, b, c, d, x[0], 7, 0xd76aa478)
    MD5_STEP(F, d, a, b, c, x[1], 12, 0xe8c7b756)
    MD5_STEP(F, c, d, a, b, x[2], 17, 0x242070db)
    MD5_STEP(F, b, c, d, a, x[3], 22, 0xc1bdceee)
    MD5_STEP(F, a, b, c, d, x[4], 7, 0xf57c0faf)
    MD5_STEP(F, d, a, b, c, x[5], 12, 0x4787c62a)
    MD5_STEP(F, c, d, a, b, x[6], 17, 0xa8304613)
    MD5_STEP(F, b, c, d, a, x[7], 22, 0xfd469501)
    MD5_STEP(F, a, b, c, d, x[8], 7, 0x698098d8)
    MD5_STEP(F, d, a, b, c, x[9], 12, 0x8b44f7af)
    MD5_STEP(F, c, d, a, b, x[10], 17, 0xffff5bb1)
    MD5_STEP(F, b, c, d, a, x[11], 22, 0x895cd7be)
    MD5_STEP(F, a, b, c, d, x[12], 7, 0x6b901122)
    MD5_STEP(F, d, a, b, c, x[13], 12, 0xfd987193)
    MD5_STEP(F, c, d, a, b, x[14], 17, 0xa679438e)
    MD5_STEP(F, b, c, d, a, x[15], 22, 0x49b40821)

    MD5_STEP(G, a, b, c, d, x[1], 5, 0xf61e2562)
    MD5_STEP(G, d, a, b, c, x[6], 9, 0xc040b340)
    MD5_STEP(G, c, d, a, b, x[11], 14, 0x265e5a51)
    MD5_STEP(G, b, c, d, a, x[0], 20, 0xe9b6c7aa)
    MD5_STEP(G, a, b, c, d, x[5], 5, 0xd62f105d)
    MD5_STEP(G, d, a, b, c, x[10], 9, 0x02441453)
    MD5_STEP(G, c, d, a, b, x[15], 14, 0xd8a1e681)
    MD5_STEP(G, b, c, d, a, x[4], 20, 0xe7d3fbc8)
    MD5_STEP(G, a, b, c, d, x[9], 5, 0x21e1cde6)
    MD5_STEP(G, d, a, b, c, x[14], 9, 0xc33707d6)
    MD5_STEP(G, c, d, a, b, x[3], 14, 0xf4d50d87)
    MD5_STEP(G, b, c, d, a, x[8], 20, 0x455a14ed)
    MD5_STEP(G, a, b, c, d, x[13], 5, 0xa9e3e905)
    MD5_STEP(G, d, a, b, c, x[2], 9, 0xfcefa3f8)
    MD5_STEP(G, c, d, a, b, x[7], 14, 0x676f02d9)
    MD5_STEP(G, b, c, d, a, x[12], 20, 0x8d2a4c8a)

    MD5_STEP(H, a, b, c, d, x[5], 4, 0xfffa3942)
    MD5_STEP(H, d, a, b, c, x[8], 11, 0x8771f681)
    MD5_STEP(H, c, d, a, b, x[11], 16, 0x6d9d6122)
    MD5_STEP(H, b, c, d, a, x[14], 23, 0xfde5380c)
    MD5_STEP(H, a, b, c, d, x[1], 4, 0xa4beea44)
    MD5_STEP(H, d, a, b, c, x[4], 11, 0x4bdecfa9)
    MD5_STEP(H, c, d, a, b, x[7], 16, 0xf6bb4b60)
    MD5_STEP(H, b, c, d, a, x[10], 23, 0xbebfbc70)
    MD5_STEP(H, a, b, c, d, x[13], 4, 0x289b7ec6)
    MD5_STEP(H, d, a, b, c, x[0], 11, 0xeaa127fa)
    MD5_STEP(H, c, d, a, b, x[3], 16, 0xd4ef3085)
    MD5_STEP(H, b, c, d, a, x[6], 23, 0x04881d05)
    MD5_STEP(H, a, b, c, d, x[9], 4, 0xd9d4d039)
    MD5_STEP(H, d, a, b, c, x[12], 11, 0xe6db99e5)
    MD5_STEP(H, c, d, a, b, x[15], 16, 0x1fa27cf8)
    MD5_STEP(H, b, c, d, a, x[2], 23, 0xc4ac5665)

    MD5_STEP(I, a, b, c, d, x[0], 6, 0xf4292244)
    MD5_STEP(I, d, a, b, c, x[7], 10, 0x432aff97)
    MD5_STEP(I, c, d, a, b, x[14], 15, 0xab9423a7)
    MD5_STEP(I, b, c, d, a, x[5], 21, 0xfc93a039)
    MD5_STEP(I, a, b, c, d, x[12], 6, 0x655b59c3)
    MD5_STEP(I, d, a, b, c, x[3], 10, 0x8f0ccc92)
    MD5_STEP(I, c, d, a, b, x[10], 15, 0xffeff47d)
    MD5_STEP(I, b, c, d, a, x[1], 21, 0x85845dd1)
    MD5_STEP(I, a, b, c, d, x[8], 6, 0x6fa87e4f)
    MD5_STEP(I, d, a, b, c, x[15], 10, 0xfe2ce6e0)
    MD5_STEP(I, c, d, a, b, x[6], 15, 0xa3014314)
    MD5_STEP(I, b, c, d, a, x[13], 21, 0x4e0811a1)
    MD5_STEP(I, a, b, c, d, x[4], 6, 0xf7537e82)
    MD5_STEP(I, d, a, b, c, x[11], 10, 0xbd3af235)
    MD5_STEP(I, c, d, a, b, x[2], 15, 0x2ad7d2bb)
    MD5_STEP(I, b, c, d, a, x[9], 21, 0xeb86d391)

    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void Md5Context::Update(const void* data, std::size_t length) {
    const auto* input = static_cast<const unsigned char*>(data);
    std::size_t position = (bitCount_[0] >> 3) & 0x3F;
    const std::uint64_t bits = (static_cast<std::uint64_t>(bitCount_[1]) << 32 | bitCount_[0]) +
                               (static_cast<std::uint64_t>(length) << 3);
    bitCount_[0] = static_cast<std::uint32_t>(bits);
    bitCount_[1] = static_cast<std::uint32_t>(bits >> 32);

    // Fill a partly filled block first, then transform whole blocks straight from the input.
    if (position != 0) {
        const std::size_t take = std::min<std::size_t>(64 - position, length);
        std::memcpy(buffer_ + position, input, take);
        position += take;
        input += take;
        length -= take;
        if (position < 64) return;
        Transform(buffer_);
    }
    for (; length >= 64; input += 64, length -= 64) Transform(input);
    std::memcpy(buffer_, input, length);
}

std::string Md5Context::FinalHex() {
    unsigned char lengthBytes[8];
    for (int i = 0; i < 4; ++i) {
        lengthBytes[i] = static_cast<unsigned char>(bitCount_[0] >> (8 * i));
        lengthBytes[4 + i] = static_cast<unsigned char>(bitCount_[1] >> (8 * i));
    }
    const std::size_t position = (bitCount_[0] >> 3) & 0x3F;
    static const unsigned char padding[64] = {0x80};
    Update(padding, position < 56 ? 56 - position : 120 - position);
    Update(lengthBytes, 8);
    static const char digits[] = "0123456789abcdef";
    std::string hex(32, '0');
    for (int word = 0; word < 4; ++word) {
        for (int byte = 0; byte < 4; ++byte) {
            const unsigned value = (state_[word] >> (8 * byte)) & 0xFF;
            hex[8 * word + 2 * byte] = digits[value >> 4];
            hex[8 * word + 2 * byte + 1] = digits[value & 0x0F];
        }
    }
    return hex;
}

std::string GetFileMd5(const std::string& path) {
    if (path.empty()) return {};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return {};
    try {
        std::vector<unsigned char> block(kReadBlock);
        std::setvbuf(file.get(), nullptr, _IONBF, 0);  // our block is the buffer
        Md5Context context;
        for (;;) {
            const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
            if (got == 0) break;  // end of file, or a read error: the digest of what was read
            context.Update(block.data(), got);
        }
        return context.FinalHex();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace Utils
