// The CONNECT tunnel through a proxy to a secure server.
#include "base/Format.h"
#include "base/StrUtils.h"
#include "http/IdHTTP.h"
#include "net/IdSSLIOHandlerSocket.h"

std::string TIdCustomHTTP::TunnelTarget() const {
  const std::string host =
      FURI->Host.find(':') != std::string::npos ? "[" + FURI->Host + "]" : FURI->Host;
  int port = StrToIntDef(Trim(FURI->Port), 443);
  if (port < 0 || port > 65535) port = 443;
  return host + ":" + std::to_string(port);
}

void TIdCustomHTTP::OpenTunnel() {
  const std::string target = TunnelTarget();
  TIdHTTPResponse& answer = Response();
  try {
    TIdHTTPProtocol::SendHead(*IOHandler(), FHTTPProto->ComposeTunnelHead(target, HeadSources()));
    // The proxy's answer takes the response's place: a refusal is then there to be read.
    RetrieveFinalHead(ReadHeadLine(), false);
  } catch (const EIdException& e) {
    // A proxy that closes, stays silent or answers what is no HTTP has failed the tunnel too.
    DisconnectAndDropInput();
    throw EIdHTTPProxyError(WithFinalPeriod(Format(RSHTTPProxyTunnelRefused, ProxyText().c_str(),
                                                   target.c_str(), e.Message().c_str())));
  }

  const int code = answer.ResponseCode();
  if (code / 100 != 2) {
    // Whatever body a refusal has is of no use: the connection goes.
    DisconnectAndDropInput();
    if (code == 407)
      throw EIdHTTPProxyError(WithFinalPeriod(Format(RSHTTPProxyAuthentication, ProxyText().c_str(),
                                                     answer.ResponseText().c_str())),
                              code);
    throw EIdHTTPProxyError(WithFinalPeriod(Format(RSHTTPProxyTunnelRefused, ProxyText().c_str(),
                                                   target.c_str(), answer.ResponseText().c_str())),
                            code);
  }

  // The tunnel stands: from here on the bytes are the server's. A 2xx answer has no body.
  IOHandler()->InputBuffer().Clear();
  auto* tls = dynamic_cast<TIdSSLIOHandlerSocket*>(IOHandler());
  if (!tls) throw EIdIOHandlerPropInvalid(RSIOHandlerPropInvalid);
  try {
    tls->StartTLS(FURI->Host);
  } catch (...) {
    // What the refused server sent (its alert) is no answer to anything.
    DisconnectAndDropInput();
    throw;
  }
}
