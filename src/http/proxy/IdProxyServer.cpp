#include "http/proxy/IdProxyServer.h"

#include "base/SecretString.h"
#include "base/StrUtils.h"
#include "net/IdIPAddress.h"

std::string TIdProxyServer::Text() const {
  if (Direct()) return "DIRECT";
  const std::string host = Host.find(':') != std::string::npos ? "[" + Host + "]" : Host;
  return host + ":" + std::to_string(Port);
}

std::optional<TIdProxyServer> ParseProxyServer(std::string_view AText, uint16_t ADefaultPort) {
  std::string_view text = Trim(AText);
  if (const size_t scheme = text.find("://"); scheme != std::string_view::npos) {
    if (!SameText(text.substr(0, scheme), "http")) return std::nullopt;
    text = text.substr(scheme + 3);
  }
  if (const size_t slash = text.find('/'); slash != std::string_view::npos)
    text = text.substr(0, slash);
  // The last "@": a password may hold one of its own.
  if (const size_t at = text.rfind('@'); at != std::string_view::npos) text = text.substr(at + 1);

  TIdProxyServer server;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    server.Host = std::string(text.substr(1, close - 1));
    uint16_t words[8];
    if (!ParseIPv6(server.Host, words)) return std::nullopt;
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port = rest.substr(1);
    }
  } else {
    const size_t colon = text.find(':');
    server.Host = std::string(text.substr(0, colon));
    if (colon != std::string_view::npos) port = text.substr(colon + 1);
  }
  // A name or an IPv4 address: nothing that would end or split it elsewhere.
  if (server.Host.empty()) return std::nullopt;
  for (char c : server.Host)
    if (static_cast<unsigned char>(c) <= ' ' ||
        std::string_view("[]@/\\").find(c) != std::string_view::npos)
      return std::nullopt;
  if (port.empty()) {
    server.Port = ADefaultPort;
  } else {
    for (char c : port)
      if (c < '0' || c > '9') return std::nullopt;
    const int value = StrToIntDef(port, 0);
    if (value < 1 || value > 65535) return std::nullopt;
    server.Port = static_cast<uint16_t>(value);
  }
  return server;
}

namespace {

// "%xx" escapes decoded; a "%" not followed by two hexadecimal digits stays as it is.
std::string PercentDecoded(std::string_view AText) {
  std::string out;
  for (size_t i = 0; i < AText.size(); ++i) {
    if (AText[i] == '%' && i + 2 < AText.size()) {
      const int high = HexValue(AText[i + 1]);
      const int low = HexValue(AText[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += AText[i];
  }
  return out;
}

}  // namespace

TIdCredentials ProxyCredentialsOf(std::string_view AText) {
  AText = Trim(AText);
  const size_t scheme = AText.find("://");
  const size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
  const std::string_view authority = AText.substr(start, AText.find('/', start) - start);
  // The last "@", as ParseProxyServer reads it.
  const size_t at = authority.rfind('@');
  if (at == std::string_view::npos) return {};
  const std::string_view info = authority.substr(0, at);
  const size_t colon = info.find(':');
  TIdCredentials credentials;
  credentials.Username = PercentDecoded(info.substr(0, colon));
  if (colon != std::string_view::npos) {
    std::string password = PercentDecoded(info.substr(colon + 1));
    credentials.Password = password;
    SecureWipe(password);
  }
  return credentials;
}

std::string ProxyTextWithoutCredentials(std::string_view AText) {
  const size_t scheme = AText.find("://");
  const size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
  const std::string_view authority = AText.substr(start, AText.find('/', start) - start);
  // The last "@", as ParseProxyServer reads it.
  const size_t at = authority.rfind('@');
  if (at == std::string_view::npos) return std::string(AText);
  return std::string(AText.substr(0, start)) + std::string(AText.substr(start + at + 1));
}

TIdProxyServer FirstProxyOf(std::string_view AProxies, uint16_t ADefaultPort) {
  std::string rest(AProxies);
  for (char& c : rest)
    if (c == ' ' || c == '\t') c = ';';
  while (!rest.empty()) {
    std::string entry = Fetch(rest, ';');
    if (const size_t equals = entry.find('='); equals != std::string::npos)
      entry.erase(0, equals + 1);
    if (entry.empty()) continue;
    if (SameText(entry, "DIRECT")) return {};
    if (auto server = ParseProxyServer(entry, ADefaultPort)) return *server;
  }
  return {};
}
