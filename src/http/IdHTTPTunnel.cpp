// The CONNECT tunnel through a proxy to a secure server.
#include "base/Format.h"
#include "base/StrUtils.h"
#include "http/IdHTTP.h"
#include "http/IdHTTPStatus.h"
#include "net/IdAntiFreezeBase.h"
#include "net/IdExceptionCore.h"
#include "net/IdResourceStrings.h"
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
  // The connection the CONNECT goes out on. A close before the proxy's answer is its refusal,
  // except on a kept one that carried a CONNECT before: the proxy may have closed that since, and
  // the CONNECT goes once more on a new connection, renewed once in a call.
  enum class TTunnelConnection { tcNew, tcKept, tcRenewed };
  TTunnelConnection connection = TTunnelConnection::tcNew;
  for (;;) {
    TIdHTTPHeadSources sources = HeadSources();
    sources.ProxyAuthorization = FProxyAuthenticator->Header(CurrentProxy());
    try {
      const std::vector<std::string> head = FHTTPProto->ComposeTunnelHead(target, sources);
      TIdHTTPProtocol::SendHead(*IOHandler(), head);
      if (OnRequestLine) OnRequestLine(this, head.front());
      // The proxy's answer takes the response's place: a refusal is then there to be read.
      RetrieveFinalHead(ReadHeadLine(), false);
    } catch (const EIdConnClosedGracefully&) {
      // A kept connection the proxy closed after its last answer: once more on a new one.
      if (connection == TTunnelConnection::tcKept && !TIdAntiFreezeBase::WaitAbandoned()) {
        connection = TTunnelConnection::tcRenewed;
        DisconnectAndDropInput();
        ConnectToEndpoint();
        continue;
      }
      DisconnectAndDropInput();
      throw EIdHTTPProxyError(
          WithFinalPeriod(Format(RSHTTPProxyTunnelRefused, ProxyText().c_str(), target.c_str(),
                                 Text(RSConnectionClosedGracefully).c_str())));
    } catch (const EIdException& e) {
      // A proxy that closes, stays silent or answers what is no HTTP has failed the tunnel too.
      DisconnectAndDropInput();
      throw EIdHTTPProxyError(WithFinalPeriod(Format(RSHTTPProxyTunnelRefused, ProxyText().c_str(),
                                                     target.c_str(), e.Message().c_str())));
    }

    const int code = answer.ResponseCode();
    if (StatusClass(code) == 2) break;
    if (code == Id_HTTP_PROXY_AUTHENTICATION_REQUIRED && FOptions.Contains(hoInProcessAuth)) {
      ++FAuthProxyRetries;
      if (FProxyAuthenticator->Challenged(CurrentProxy(), answer.ProxyAuthenticate,
                                          ConfiguredProxyCredentials())) {
        SkipTunnelAnswer();
        // An HTTP/1.0 answer without keep-alive ends its connection.
        const bool closes = answer.ResponseVersion() == pv1_0 &&
                            !SameText(Trim(answer.Connection), "keep-alive") &&
                            !SameText(Trim(answer.ProxyConnection), "keep-alive");
        const bool renewed = connection == TTunnelConnection::tcRenewed;
        if (closes || !KeepAlive(answer)) {
          DisconnectAndDropInput();
          ConnectToEndpoint();
          if (!renewed) connection = TTunnelConnection::tcNew;
        } else if (!renewed) {
          connection = TTunnelConnection::tcKept;
        }
        continue;
      }
    }
    // Whatever body a refusal has is of no use: the connection goes.
    DisconnectAndDropInput();
    if (code == Id_HTTP_PROXY_AUTHENTICATION_REQUIRED)
      throw EIdHTTPProxyError(
          FProxyAuthenticator->FailureMessage(ProxyText(), answer.ResponseText()), code);
    throw EIdHTTPProxyError(WithFinalPeriod(Format(RSHTTPProxyTunnelRefused, ProxyText().c_str(),
                                                   target.c_str(), answer.ResponseText().c_str())),
                            code);
  }
  FProxyAuthenticator->Accepted(CurrentProxy());

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

void TIdCustomHTTP::SkipTunnelAnswer() {
  TIdHTTPResponse& answer = Response();
  if (LowerCase(answer.TransferEncoding).find("chunked") != std::string::npos ||
      answer.ContentLength > 0)
    ReadFramedBody(answer, nullptr);
  else if (!answer.HasContentLength)
    DisconnectAndDropInput();
}
