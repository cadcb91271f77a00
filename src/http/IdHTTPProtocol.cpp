#include "http/IdHTTPProtocol.h"

#include <algorithm>

#include "base/MemoryStream.h"
#include "base/StrUtils.h"
#include "base/TryFinally.h"
#include "http/IdCharsets.h"
#include "http/IdHTTP.h"
#include "net/IdExceptionCore.h"

TIdHTTPProtocol::TIdHTTPProtocol(TIdCustomHTTP* AConnection)
    : FHTTP(AConnection),
      FRequest(std::make_unique<TIdHTTPRequest>(AConnection)),
      FResponse(std::make_unique<TIdHTTPResponse>(AConnection)) {}

TIdHTTPProtocol::~TIdHTTPProtocol() = default;

void TIdHTTPProtocol::BuildAndSendRequest(TIdURI* AURI) {
  TIdHTTPRequest& request = *FRequest;
  if (request.Authentication) request.Authentication->SetRequest(request.Method, request.URL);
  request.SetHeaders();
  // The proxy's credentials are for the proxy alone: never sent inside a tunnel or to a server
  // reached directly.
  if (request.UseProxy == ctProxy) FHTTP->ProxyParams().SetHeaders(request.RawHeaders);
  if (AURI) FHTTP->AddRequestCookies(*AURI, request);

  FHTTP->RequireIOHandler();
  TIdIOHandler* io = FHTTP->IOHandler();
  // The whole head leaves in one send.
  const bool buffering = !io->WriteBufferingActive();
  if (buffering) io->WriteBufferOpen(-1);
  try {
    io->WriteLn(request.Method + " " + request.URL + " HTTP/" +
                ProtocolVersionText(FHTTP->ProtocolVersion()));
    for (const std::string& line : request.RawHeaders)
      if (!line.empty()) io->WriteLn(line);
    io->WriteLn();
    if (buffering) io->WriteBufferClose();
  } catch (...) {
    if (buffering) {
      try {
        io->WriteBufferCancel();
      } catch (...) {
        // The write's failure is the one to report.
      }
    }
    throw;
  }
}

void TIdHTTPProtocol::RetrieveHeaders(int AMaxHeaderCount) {
  FResponse->Clear();
  try {
    FHTTP->ReadHeaderLines(FResponse->RawHeaders, AMaxHeaderCount);
  } catch (const EIdConnClosedGracefully&) {
    // The lines read so far stand; a line cut by the close is neither header nor body.
    FHTTP->DisconnectAndDropInput();
  }
  FResponse->ParseHeaders();
  FHTTP->CheckContentLengths(*FResponse);
}

TIdHTTPWhatsNext TIdHTTPProtocol::ProcessResponse(const std::vector<int16_t>& AIgnoreReplies) {
  TIdHTTPRequest& request = *FRequest;
  TIdHTTPResponse& response = *FResponse;
  if (FHTTP->OnHeadersAvailable) {
    bool proceed = true;
    FHTTP->OnHeadersAvailable(FHTTP, &response.RawHeaders, proceed);
    if (!proceed) return wnJustExit;
  }
  const int code = response.ResponseCode();
  const int codeClass = code / 100;
  bool retry = false;

  if (codeClass == 3 && code != 304) {
    if (response.Location.empty()) {
      RaiseProtocolError(code, AIgnoreReplies);
      return wnJustExit;
    }
    ++FHTTP->FRedirectCount;
    std::string location = response.Location;
    std::string method = request.Method;
    if (!FHTTP->ConfirmRedirect(location, method, FHTTP->FRedirectCount)) {
      RaiseProtocolError(code, AIgnoreReplies);
      return wnJustExit;
    }
    TIdHTTPWhatsNext result = wnJustExit;
    if (FHTTP->HandleRedirects() && FHTTP->RedirectCount() < FHTTP->RedirectMaximum()) {
      // Once secure, always secure: a location without a scheme stays on "https", any other
      // scheme would send the request (and take the answer) in the clear.
      const std::string protocol = TIdURI(location).Protocol;
      if (SameText(FHTTP->URL().Protocol, "https") && !protocol.empty() &&
          !SameText(protocol, "https"))
        throw EIdHTTPInsecureRedirect(RSHTTPInsecureRedirect);
      result = wnGoToURL;
      request.URL = location;
      const bool asGet =
          code == 303 || (code == 302 && FHTTP->HTTPOptions().Contains(hoTreat302Like303));
      // A HEAD stays a HEAD: as a GET it would fetch the whole body only to drop it.
      if (asGet && !SameText(method, "HEAD")) {
        request.Source = nullptr;
        request.Method = "GET";
      } else {
        request.Method = method;
      }
      request.MethodOverride.clear();
    } else {
      response.Location = location;
      if (FHTTP->HandleRedirects()) {
        // Out of redirects: the last answer is the failure, not an empty success.
        RaiseProtocolError(code, AIgnoreReplies);
        return wnJustExit;
      }
    }
    if (FHTTP->Connected()) SkipBody();
    return result;
  }

  if (codeClass != 2) {
    if (code == 401 || code == 407) {
      const bool proxy = code == 407;
      const int retries = proxy ? FHTTP->AuthProxyRetries() : FHTTP->AuthRetries();
      std::unique_ptr<TIdAuthentication>& scheme =
          proxy ? FHTTP->ProxyParams().Authentication : request.Authentication;
      if (retries >= FHTTP->MaxAuthRetries() ||
          !(proxy ? FHTTP->PrepareProxyAuthorization(request, response)
                  : FHTTP->PrepareAuthorization(request, response))) {
        if (scheme) scheme->Reset();
        RaiseProtocolError(code, AIgnoreReplies);
        return wnJustExit;
      }
      if (!FHTTP->HTTPOptions().Contains(hoInProcessAuth)) {
        // Not retried here: the answer is a failure, not a body.
        RaiseProtocolError(code, AIgnoreReplies);
        return wnJustExit;
      }
      retry = true;
    } else {
      RaiseProtocolError(code, AIgnoreReplies);
      return wnJustExit;
    }
  }

  if (retry) {
    SkipBody();
    return wnAuthRequest;
  }
  if (SameText(request.Method, "HEAD") || SameText(request.MethodOverride, "HEAD") || code == 204)
    SkipBody();
  else
    FHTTP->ReadBody(request, response);
  return wnJustExit;
}

void TIdHTTPProtocol::SkipBody() {
  TStream* stream = FResponse->ContentStream();
  FResponse->SetContentStream(nullptr);
  TryFinally([&] { FHTTP->ReadBody(*FRequest, *FResponse); },
             [&] { FResponse->SetContentStream(stream); });
}

void TIdHTTPProtocol::RaiseProtocolError(int ACode, const std::vector<int16_t>& AIgnoreReplies) {
  TMemoryStream scratch;
  TStream* stream = FResponse->ContentStream();
  FResponse->SetContentStream(&scratch);
  TryFinally([&] { FHTTP->ReadBody(*FRequest, *FResponse); },
             [&] { FResponse->SetContentStream(stream); });
  if (FHTTP->HTTPOptions().Contains(hoNoProtocolErrorException) ||
      std::find(AIgnoreReplies.begin(), AIgnoreReplies.end(), ACode) != AIgnoreReplies.end())
    return;

  const std::string media = FResponse->MediaType();
  const bool xml = media == "application/xml" ||
                   media == "application/xml-external-parsed-entity" ||
                   media == "application/xml-dtd" ||
                   (media.compare(0, 5, "text/") != 0 && EndsText("+xml", media));
  const uint8_t* bytes = scratch.Memory();
  const size_t count = static_cast<size_t>(scratch.Size());
  const std::string charset = xml ? XmlBodyCharset(bytes, count) : FResponse->CharSet;
  throw EIdHTTPProtocolException::CreateError(ACode, FResponse->ResponseText(),
                                              DecodeCharset(bytes, count, charset));
}
