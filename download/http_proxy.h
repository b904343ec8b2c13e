#pragma once
// The user's proxy configuration for one address: what the desktop's proxy resolver
// (system settings, automatic-configuration scripts) says, and failing that the proxy
// environment variables.
//
// Stateless; any thread. May block while an automatic-configuration script is fetched.

#include <cstdint>
#include <string>

#include "download/http_connection.h"

namespace Http {

struct ProxyConfiguration {
    enum class Source {
        None,      // no proxy is configured for the address
        Resolver,  // the desktop resolver named a proxy for this very address
        Fixed,     // a fixed proxy from the environment (http_proxy, https_proxy, all_proxy)
    };
    Source source = Source::None;
    ProxyServer server;
};

// Fills `configuration` for `url`. False only when the desktop resolver failed and the
// environment names no proxy either; `error` then tells why (kErrorNameNotResolved when
// the resolver could not be asked at all).
bool LookUpUserProxy(const std::wstring& url, ProxyConfiguration& configuration, std::uint32_t& error);

// The proxy an environment-style setting names for `url`, honouring a no_proxy list;
// exposed for the tests of the environment rules. False when there is none.
bool ProxyFromSettings(const std::wstring& url, const std::wstring& httpProxy, const std::wstring& httpsProxy,
                       const std::wstring& allProxy, const std::wstring& noProxy, ProxyServer& server);

}  // namespace Http
