#include "download/win_http_client.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "download/http_connection.h"
#include "download/http_proxy.h"
#include "download/regex_find_all.h"
#include "platform/debug_output.h"
#include "platform/text_encoding.h"

namespace {

// The host and path buffers of the address split; longer parts do not fit.
constexpr std::size_t kMaxHostLength = 260;
constexpr std::size_t kMaxPathLength = 1300;
// The in-memory body starts this large and doubles when a piece does not fit.
constexpr std::size_t kInitialBodyCapacity = 10240;
// Largest piece asked of the layer at once.
constexpr std::size_t kMaxPiece = 1024 * 1024;

std::wstring FirstResult(const wchar_t* pattern, const std::wstring& text) {
    std::vector<std::wstring> results;
    if (Utils::RegexFindAll(pattern, text, results) && !results.empty()) {
        return results.front();
    }
    return std::wstring();
}

bool StartsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t k = 0; k < prefix.size(); ++k) {
        wchar_t a = text[k];
        if (a >= L'A' && a <= L'Z') {
            a = static_cast<wchar_t>(a - L'A' + L'a');
        }
        if (a != prefix[k]) {
            return false;
        }
    }
    return true;
}

// Written to the debugger output exactly as they stand, without the log prefix.
void ReportFileProblem(const wchar_t* format, std::uint32_t code) {
    wchar_t line[128];
    std::swprintf(line, sizeof(line) / sizeof(line[0]), format, static_cast<int>(code));
    Platform::WriteDebugOutput(line);
}

}  // namespace

WinHttpClient::WinHttpClient(std::wstring url_) : url(std::move(url_)) {}

WinHttpClient::~WinHttpClient() = default;

bool WinHttpClient::Request(std::wstring verb) {
    if (url.empty()) {
        lastError = kErrorNoAddress;
        return false;
    }
    for (wchar_t& c : verb) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    if (verb != L"GET" && verb != L"POST") {
        lastError = kErrorBadVerb;
        return false;
    }
    if (!session) {
        session = std::make_unique<Http::HttpSession>(userAgent);
    }
    session->SetTimeouts(resolveTimeout, connectTimeout, sendTimeout, receiveTimeout);
    session->SetStopFlag(stopRequested);

    Http::UrlComponents parts;
    std::uint32_t error = 0;
    if (!Http::CrackUrl(url, parts, error)) {
        lastError = error;
        return false;
    }
    if (parts.host.size() > kMaxHostLength || parts.path.size() > kMaxPathLength) {
        lastError = kErrorAddressTooLong;
        return false;
    }
    hostName = parts.host;
    saveBase.reset();

    Http::HttpRequest request(*session, parts, verb);
    if (parts.secure && !requireValidCertificate) {
        request.SetIgnoreCertificateErrors(true);
    }

    bool accepted = false;
    for (int attempt = 0; attempt < kAttempts && !accepted; ++attempt) {
        if (Stopped()) {
            lastError = Http::kErrorOperationCancelled;
            break;
        }
        if (!request.Send()) {
            lastError = request.LastError();
            if (lastError == Http::kErrorOperationCancelled) {
                break;
            }
            // The direct way failed: ask the user's proxy configuration.
            Http::ProxyConfiguration proxy;
            if (!Http::LookUpUserProxy(url, proxy, error)) {
                lastError = error;
                continue;
            }
            if (proxy.source == Http::ProxyConfiguration::Source::Resolver) {
                // A proxy chosen for this very address: send again at once.
                request.SetProxy(proxy.server);
                if (!request.Send()) {
                    lastError = request.LastError();
                    continue;
                }
            } else {
                if (proxy.source == Http::ProxyConfiguration::Source::Fixed) {
                    request.SetProxy(proxy.server);  // the next attempt goes through it
                }
                continue;
            }
        }
        if (!request.ReceiveResponse()) {
            lastError = request.LastError();
            continue;
        }
        const Attempt result = ReadResponse(request, verb == L"GET");
        if (result == Attempt::Cancelled) {
            break;
        }
        accepted = result == Attempt::Accepted;
    }
    return accepted;
}

WinHttpClient::Attempt WinHttpClient::ReadResponse(Http::HttpRequest& request, bool isGet) {
    responseHeaders = request.RawHeaders();
    finalUrl = request.FinalUrl();
    const std::wstring foundCharset = FirstResult(L"charset={[A-Za-z0-9\\-_]+}", responseHeaders);
    if (!foundCharset.empty()) {
        charset = foundCharset;
    }
    const std::wstring length = FirstResult(L"Content-Length: {[0-9]+}", responseHeaders);
    if (!length.empty()) {
        std::uint64_t value = 0;
        for (wchar_t c : length) {
            const std::uint64_t next = value * 10 + static_cast<std::uint64_t>(c - L'0');
            value = next / 10 == value ? next : UINT64_MAX;
        }
        contentLength = value;
    }
    const std::wstring foundLocation = FirstResult(L"Location: {https?:.+?\n}", responseHeaders);
    if (!foundLocation.empty()) {
        location = foundLocation;
    }
    std::vector<std::wstring> cookies;
    if (Utils::RegexFindAll(L"Set-Cookie:\\b*{.+?}\\n", responseHeaders, cookies) && !cookies.empty()) {
        // The cookies of this response only; an earlier attempt's are not repeated.
        std::wstring joined;
        for (const std::wstring& cookie : cookies) {
            if (!joined.empty()) {
                joined += L"; ";
            }
            joined += cookie;
        }
        joined = Utils::TrimChars(joined, L" ");
        if (joined.empty() || joined.back() != L';') {
            joined += L";";
        }
        responseCookies = joined;
    }
    statusCode = request.StatusCode();

    // The body, to memory or to the file.
    responseBody.clear();
    responseBody.reserve(kInitialBodyCapacity);
    responseLength = 0;
    std::FILE* file = nullptr;
    std::string narrowPath;
    if (!savePath.empty()) {
        narrowPath = Platform::WideToActive(savePath);
        // Each attempt stores its body after what the file held before the request, so a
        // failed attempt's bytes never stay in front of the next attempt's.
        std::error_code ignored;
        const std::filesystem::path where(narrowPath);
        if (!saveBase) {
            const std::uintmax_t size = std::filesystem::file_size(where, ignored);
            saveBase = ignored ? 0 : size;
        } else if (std::filesystem::exists(where, ignored)) {
            std::filesystem::resize_file(where, *saveBase, ignored);
        }
        file = std::fopen(narrowPath.c_str(), "ab");
        if (file == nullptr) {
            lastError = static_cast<std::uint32_t>(errno);
            ReportFileProblem(L"Failed to open response file. Error code: %d", lastError);
            return Attempt::Failed;
        }
        if (onBodyBegin) {
            onBodyBegin(contentLength);
        }
    }
    std::vector<char> piece;
    std::uint64_t received = 0;
    Attempt outcome = Attempt::Accepted;
    for (;;) {
        std::size_t available = 0;
        if (!request.QueryDataAvailable(available)) {
            lastError = request.LastError();
            outcome = lastError == Http::kErrorOperationCancelled ? Attempt::Cancelled : Attempt::Failed;
            break;
        }
        if (available == 0) {
            break;
        }
        available = std::min(available, kMaxPiece);
        if (piece.size() < available) {
            piece.resize(available);
        }
        std::size_t read = 0;
        if (!request.ReadData(piece.data(), available, read)) {
            lastError = request.LastError();
            outcome = lastError == Http::kErrorOperationCancelled ? Attempt::Cancelled : Attempt::Failed;
            break;
        }
        if (read == 0) {
            break;
        }
        received += read;
        if (file != nullptr) {
            if (std::fwrite(piece.data(), 1, read, file) != read) {
                lastError = static_cast<std::uint32_t>(errno);
                ReportFileProblem(L"Failed to write response data. Error code: %d", lastError);
                outcome = Attempt::Failed;  // a body that did not reach the disk is no download
                break;
            }
            if (onBodyData) {
                onBodyData(piece.data(), read, received, contentLength);
            }
        } else {
            if (responseBody.capacity() - responseBody.size() < read) {
                std::size_t capacity = std::max(responseBody.capacity(), kInitialBodyCapacity);
                while (capacity - responseBody.size() < read) {
                    capacity *= 2;
                }
                responseBody.reserve(capacity);
            }
            responseBody.insert(responseBody.end(), piece.data(), piece.data() + read);
        }
    }
    if (file != nullptr && std::fclose(file) != 0 && outcome == Attempt::Accepted) {
        lastError = static_cast<std::uint32_t>(errno);
        ReportFileProblem(L"Failed to write response data. Error code: %d", lastError);
        outcome = Attempt::Failed;
    }
    responseLength = file != nullptr ? 0 : static_cast<std::uint32_t>(std::min<std::size_t>(responseBody.size(), UINT32_MAX));
    if (outcome != Attempt::Accepted) {
        return outcome;
    }

    // The body as text, up to its first zero byte.
    std::size_t textLength = 0;
    while (textLength < responseBody.size() && responseBody[textLength] != 0) {
        ++textLength;
    }
    const std::string_view bytes(responseBody.data(), textLength);
    const unsigned codePage = StartsWithIgnoringCase(charset, L"utf-8") ? Platform::kUtf8CodePage
                                                                         : Platform::kActiveCodePage;
    std::optional<std::wstring> text = Platform::MultiByteToWide(codePage, bytes);
    if (!text && codePage != Platform::kActiveCodePage) {
        text = Platform::MultiByteToWide(Platform::kActiveCodePage, bytes);
    }
    if (text) {
        responseText = std::move(*text);
    }

    // A page that opens <html> but never closes it was cut short.
    if (isGet) {
        std::vector<std::wstring> open;
        std::vector<std::wstring> close;
        Utils::RegexFindAll(L"{<html>}", responseText, open);
        Utils::RegexFindAll(L"{</html>}", responseText, close);
        if (!open.empty() && close.empty()) {
            lastError = kErrorTruncatedPage;
            return Attempt::Failed;
        }
    }
    return Attempt::Accepted;
}
