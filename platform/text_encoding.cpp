#include "platform/text_encoding.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstring>
#include <cwctype>
#include <mutex>

namespace Platform {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// UTF-8 is decoded by hand: it is the code page of every log line and file name, and a
// strict decoder is easy to get exactly right (no overlongs, no surrogates, <= U+10FFFF).
std::optional<std::wstring> DecodeUtf8(std::string_view bytes, InvalidInput invalid) {
    std::wstring out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        int length = 0;
        char32_t code = 0, minimum = 0;
        if ((lead & 0xE0) == 0xC0) { length = 2; code = lead & 0x1F; minimum = 0x80; }
        else if ((lead & 0xF0) == 0xE0) { length = 3; code = lead & 0x0F; minimum = 0x800; }
        else if ((lead & 0xF8) == 0xF0) { length = 4; code = lead & 0x07; minimum = 0x10000; }
        bool valid = length > 0 && i + length <= bytes.size();
        for (int k = 1; valid && k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) valid = false;
            else code = (code << 6) | (next & 0x3F);
        }
        valid = valid && code >= minimum && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
        if (!valid) {
            if (invalid == InvalidInput::Fail) return std::nullopt;
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        out.push_back(static_cast<wchar_t>(code));
        i += length;
    }
    return out;
}

std::optional<std::string> EncodeUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t wide : text) {
        const char32_t c = static_cast<char32_t>(wide);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            if (c >= 0xD800 && c <= 0xDFFF) return std::nullopt;
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c <= 0x10FFFF) {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            return std::nullopt;
        }
    }
    return out;
}

// The locale's charset, read once without touching the process's global locale. The C
// locale names plain ASCII; file names and terminals on this system are UTF-8 then too.
const std::string& LocaleCharset() {
    static const std::string charset = [] {
        std::string name = "UTF-8";
        if (locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0))) {
            const char* codeset = nl_langinfo_l(CODESET, locale);
            if (codeset && *codeset && std::strcmp(codeset, "ANSI_X3.4-1968") != 0) name = codeset;
            freelocale(locale);
        }
        return name;
    }();
    return charset;
}

bool IsUtf8Name(const std::string& name) {
    return strcasecmp(name.c_str(), "UTF-8") == 0 || strcasecmp(name.c_str(), "UTF8") == 0;
}

std::string IconvNameOf(unsigned codePage) {
    if (codePage == kActiveCodePage) return LocaleCharset();
    if (codePage == kUtf8CodePage) return "UTF-8";
    return "CP" + std::to_string(codePage);
}

// One iconv conversion over the whole input. `replaceInvalid` skips an undecodable input
// byte and emits `replacement` (which must be valid in the target).
template <typename From, typename To>
std::optional<std::basic_string<To>> Convert(const char* toName, const char* fromName,
                                             std::basic_string_view<From> input,
                                             bool replaceInvalid,
                                             std::basic_string_view<To> replacement) {
    iconv_t cd = iconv_open(toName, fromName);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::basic_string<To> out;
    char* in = const_cast<char*>(reinterpret_cast<const char*>(input.data()));
    std::size_t inLeft = input.size() * sizeof(From);
    char buffer[4096];
    bool failed = false;
    // The final call with a null input flushes any shift state of stateful encodings.
    for (bool flushing = false;;) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof(buffer);
        const std::size_t result = flushing ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft)
                                            : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        out.append(reinterpret_cast<const To*>(buffer), (outPtr - buffer) / sizeof(To));
        if (result != static_cast<std::size_t>(-1)) {
            if (flushing) break;
            flushing = true;
            continue;
        }
        if (error == E2BIG) continue;
        if ((error == EILSEQ || error == EINVAL) && replaceInvalid && inLeft >= sizeof(From)) {
            out.append(replacement);
            in += sizeof(From);
            inLeft -= sizeof(From);
            continue;
        }
        failed = true;
        break;
    }
    iconv_close(cd);
    if (failed) return std::nullopt;
    return out;
}

}  // namespace

std::optional<std::wstring> MultiByteToWide(unsigned codePage, std::string_view bytes,
                                            InvalidInput invalid) {
    const std::string name = IconvNameOf(codePage);
    if (IsUtf8Name(name)) return DecodeUtf8(bytes, invalid);
    static constexpr wchar_t replacement[] = {kReplacement};
    return Convert<char, wchar_t>("WCHAR_T", name.c_str(), bytes, invalid == InvalidInput::Replace,
                                  std::wstring_view(replacement, 1));
}

std::optional<std::string> WideToMultiByte(unsigned codePage, std::wstring_view text) {
    const std::string name = IconvNameOf(codePage);
    if (IsUtf8Name(name)) return EncodeUtf8(text);
    return Convert<wchar_t, char>(name.c_str(), "WCHAR_T", text, false, std::string_view());
}

std::wstring Utf8ToWide(std::string_view bytes) {
    return *DecodeUtf8(bytes, InvalidInput::Replace);
}

std::string WideToUtf8(std::wstring_view text) {
    if (auto encoded = EncodeUtf8(text)) return *std::move(encoded);
    std::wstring cleaned(text);
    for (wchar_t& c : cleaned) {
        const auto code = static_cast<char32_t>(c);
        if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) c = kReplacement;
    }
    return *EncodeUtf8(cleaned);
}

std::wstring ActiveToWide(std::string_view bytes) {
    if (auto decoded = MultiByteToWide(kActiveCodePage, bytes, InvalidInput::Replace)) return *decoded;
    return Utf8ToWide(bytes);
}

std::string WideToActive(std::wstring_view text) {
    if (auto encoded = WideToMultiByte(kActiveCodePage, text)) return *encoded;
    if (IsUtf8Name(LocaleCharset())) return WideToUtf8(text);
    // Characters the locale cannot represent become '?', character by character.
    std::string out;
    for (wchar_t c : text) {
        auto one = WideToMultiByte(kActiveCodePage, std::wstring_view(&c, 1));
        out += one ? *one : std::string("?");
    }
    return out;
}

std::string ActiveCodePageName() { return LocaleCharset(); }

int HexDigitValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    auto fold = [](wchar_t c) -> wchar_t {
        if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c - L'A' + L'a');
        if (c < 0x80) return c;
        return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

}  // namespace Platform
