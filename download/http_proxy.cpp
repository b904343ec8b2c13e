#include "download/http_proxy.h"

#include <gio/gio.h>

#include <optional>

#include "platform/paths.h"
#include "platform/text_encoding.h"

namespace Http {
namespace {

std::wstring LowerAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

// "http://host:port", "host:port" or "http://user@host:port/" as a proxy; other schemes
// (SOCKS) are not spoken here.
bool ParseProxy(const std::wstring& value, ProxyServer& server) {
    std::wstring text = value;
    while (!text.empty() && (text.back() == L' ' || text.back() == L'/')) {
        text.pop_back();
    }
    if (text.empty()) {
        return false;
    }
    if (text.find(L"://") == std::wstring::npos) {
        text = L"http://" + text;
    }
    if (LowerAscii(text.substr(0, 7)) != L"http://") {
        return false;
    }
    UrlComponents parts;
    std::uint32_t error = 0;
    if (!CrackUrl(text, parts, error)) {
        return false;
    }
    server.host = parts.host;
    server.port = parts.port;  // 80 when the setting names none
    return true;
}

// True when `host` is listed in a no_proxy setting ("*", "example.com", ".example.com",
// "host:port" entries, comma or blank separated).
bool Bypassed(const std::wstring& host, const std::wstring& noProxy) {
    const std::wstring lowerHost = LowerAscii(host);
    std::size_t start = 0;
    while (start <= noProxy.size()) {
        std::size_t end = noProxy.find_first_of(L", ", start);
        if (end == std::wstring::npos) {
            end = noProxy.size();
        }
        std::wstring entry = LowerAscii(noProxy.substr(start, end - start));
        start = end + 1;
        if (entry.empty()) {
            continue;
        }
        if (entry == L"*") {
            return true;
        }
        if (entry[0] != L'[') {
            const std::size_t colon = entry.find(L':');
            if (colon != std::wstring::npos && entry.find(L':', colon + 1) == std::wstring::npos) {
                entry.erase(colon);
            }
        }
        if (!entry.empty() && entry[0] == L'.') {
            entry.erase(0, 1);
        }
        if (lowerHost == entry) {
            return true;
        }
        if (lowerHost.size() > entry.size() &&
            lowerHost.compare(lowerHost.size() - entry.size(), entry.size(), entry) == 0 &&
            lowerHost[lowerHost.size() - entry.size() - 1] == L'.') {
            return true;
        }
    }
    return false;
}

std::wstring Environment(const wchar_t* lower, const wchar_t* upper) {
    std::optional<std::wstring> value = Platform::GetEnvironmentVariable(lower);
    if (!value || value->empty()) {
        value = Platform::GetEnvironmentVariable(upper);
    }
    return value ? *value : std::wstring();
}

}  // namespace

bool ProxyFromSettings(const std::wstring& url, const std::wstring& httpProxy, const std::wstring& httpsProxy,
                       const std::wstring& allProxy, const std::wstring& noProxy, ProxyServer& server) {
    UrlComponents target;
    std::uint32_t error = 0;
    if (!CrackUrl(url, target, error) || Bypassed(target.host, noProxy)) {
        return false;
    }
    const std::wstring& chosen = target.secure ? httpsProxy : httpProxy;
    if (!chosen.empty()) {
        return ParseProxy(chosen, server);
    }
    return !allProxy.empty() && ParseProxy(allProxy, server);
}

bool LookUpUserProxy(const std::wstring& url, ProxyConfiguration& configuration, std::uint32_t& error) {
    configuration = ProxyConfiguration();
    bool resolverFailed = false;
    GProxyResolver* resolver = g_proxy_resolver_get_default();
    if (resolver == nullptr) {
        resolverFailed = true;
    } else {
        GError* failure = nullptr;
        const std::string address = Platform::WideToUtf8(url);
        gchar** proxies = g_proxy_resolver_lookup(resolver, address.c_str(), nullptr, &failure);
        if (proxies == nullptr) {
            resolverFailed = true;
            g_clear_error(&failure);
        } else {
            for (gchar** entry = proxies; *entry != nullptr; ++entry) {
                const std::wstring proxy = Platform::Utf8ToWide(*entry);
                if (LowerAscii(proxy).rfind(L"direct://", 0) == 0) {
                    break;  // the resolver's first choice is no proxy
                }
                ProxyServer server;
                if (ParseProxy(proxy, server)) {
                    configuration.source = ProxyConfiguration::Source::Resolver;
                    configuration.server = server;
                    break;
                }
            }
            g_strfreev(proxies);
        }
    }
    if (configuration.source != ProxyConfiguration::Source::None) {
        return true;
    }
    ProxyServer server;
    if (ProxyFromSettings(url, Environment(L"http_proxy", L"HTTP_PROXY"), Environment(L"https_proxy", L"HTTPS_PROXY"),
                          Environment(L"all_proxy", L"ALL_PROXY"), Environment(L"no_proxy", L"NO_PROXY"), server)) {
        configuration.source = ProxyConfiguration::Source::Fixed;
        configuration.server = server;
        return true;
    }
    if (resolverFailed) {
        error = kErrorNameNotResolved;
        return false;
    }
    return true;
}

}  // namespace Http
