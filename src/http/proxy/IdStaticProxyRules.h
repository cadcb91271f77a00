#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "http/proxy/IdProxyResolver.h"

// A proxy set by hand in the Windows internet settings: the proxy server text and the bypass
// list, read as the system's own clients read them.
//
// The server text is one address for every scheme ("host:port"), or addresses per scheme
// ("http=host:port;https=host:port", separated by ";" or spaces); an address without a scheme
// beside per-scheme ones serves the schemes that have none of their own, and a "socks=" entry
// those that have neither. A scheme without any of them, or whose entry is empty, goes direct.
// An address without a port is on 80. Only plain HTTP proxies are spoken: where the entry that
// applies is a SOCKS proxy, a TLS proxy or an address that cannot be read, ProxyFor raises
// EIdHTTPProxyError naming it rather than go around it. A "socks=" entry beside the scheme's own
// HTTP proxy, there for other programs, changes nothing.
//
// The bypass list holds patterns separated by ";" (or commas or spaces), compared with the host
// ignoring letter case: "*" stands for any run of characters ("*.example.com", "10.*"), an
// optional "scheme://" before and ":port" after a pattern narrow it to that scheme and port
// ("[2001:db8::1]:80" for an IPv6 address), an address without wildcards matches the same
// address however written, and "<local>" stands for every host name without a dot. The machine
// itself (localhost, 127.0.0.0/8, ::1) is always reached directly, as the system's clients do.
class TIdStaticProxyRules : public TIdProxyResolver {
 public:
  TIdStaticProxyRules(const std::string& AProxyServer, const std::string& ABypass);

  TIdProxyServer ProxyFor(const TIdURI& AURI) override;
  std::string ChoiceSource() const override { return FChoiceSource; }
  bool Bypassed(const TIdURI& AURI) const;

 private:
  struct TSchemeProxy {
    std::string Scheme;  // lower case; empty: every scheme without an entry of its own
    std::string Address;
  };
  struct TBypassPattern {
    std::string Scheme;            // lower case; empty: any
    std::string Host;              // lower case, with "*" wildcards
    std::vector<uint8_t> Address;  // Host as an address when it is one without wildcards
    int Port = -1;                 // -1: any
    bool Local = false;            // "<local>"
  };

  std::vector<TSchemeProxy> FProxies;
  std::vector<TBypassPattern> FBypass;
  std::string FChoiceSource;
};
