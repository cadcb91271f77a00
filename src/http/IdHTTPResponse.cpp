#include "http/IdHTTPResponse.h"

#include "base/StrUtils.h"

TIdHTTPResponse::TIdHTTPResponse() : FMetaHTTPEquiv(std::make_unique<TIdMetaHTTPEquiv>()) {}

TIdHTTPResponse::~TIdHTTPResponse() = default;

void TIdHTTPResponse::Clear() {
  TIdResponseHeaderInfo::Clear();
  FMetaHTTPEquiv->Clear();
}

int TIdHTTPResponse::ResponseCode() {
  if (FResponseCode == -1) {
    // "HTTP/1.1 404.5 Not Found": the second word, up to a dot.
    const std::string_view line = FResponseText;
    const size_t space = line.find(' ');
    const std::string_view rest =
        space == std::string_view::npos ? std::string_view() : Trim(line.substr(space + 1));
    const std::string_view word = rest.substr(0, rest.find(' '));
    FResponseCode = StrToIntDef(Trim(word.substr(0, word.find('.'))), -1);
  }
  return FResponseCode;
}

void TIdHTTPResponse::SetResponseText(const std::string& AValue) {
  FResponseText = AValue;
  FResponseCode = -1;
  const std::string_view version =
      std::string_view(FResponseText).substr(std::min<size_t>(5, FResponseText.size()), 3);
  FResponseVersion = SameText(version, "1.1") ? pv1_1 : pv1_0;
}

bool TIdHTTPResponse::KeepAlive(bool AConnected, TIdHTTPProtocolVersion AClientVersion) {
  FKeepAlive = AConnected && !AsksToClose(AClientVersion);
  return FKeepAlive;
}

bool TIdHTTPResponse::AsksToClose(TIdHTTPProtocolVersion AClientVersion) const {
  const std::string_view connection = Trim(Connection);
  const std::string_view proxyConnection = Trim(ProxyConnection);
  if (AClientVersion == pv1_1)
    return SameText(connection, "CLOSE") || SameText(proxyConnection, "CLOSE");
  return !SameText(connection, "KEEP-ALIVE") && !SameText(proxyConnection, "KEEP-ALIVE");
}
