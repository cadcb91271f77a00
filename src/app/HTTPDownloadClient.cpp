#include "app/HTTPDownloadClient.h"

THTTPDownloadClient::THTTPDownloadClient(
    std::unique_ptr<TIdProxyResolver> AProxy,
    std::unique_ptr<TIdProxyCredentialProvider> AProxyCredentials)
    : FProxy(std::move(AProxy)),
      FProxyCredentials(std::move(AProxyCredentials)),
      FIOHandler(std::make_unique<TIdSSLIOHandlerSocket>()),
      FHTTP(std::make_unique<TIdHTTP>()) {
  FHTTP->SetName("HTTP");
  FHTTP->SetIOHandler(FIOHandler.get());
  // A mirror or a move to "https" is followed (up to RedirectMaximum); the download then goes
  // where the size probe ended.
  FHTTP->SetHandleRedirects(true);
  // The settings of the window's description; everything else keeps the client's defaults.
  FHTTP->SetAllowCookies(true);
  FHTTP->ProxyParams().BasicAuthentication = false;
  FHTTP->ProxyParams().ProxyPort = 0;
  TIdHTTPRequest& request = FHTTP->Request();
  request.ContentLength = -1;
  request.ContentRangeStart = -1;
  request.ContentRangeEnd = -1;
  request.ContentRangeInstanceLength = -1;
  request.Accept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
  request.SetBasicAuthentication(false);
  request.UserAgent = "Mozilla/3.0 (compatible; HTTP Client Library)";
  request.Ranges.Units = "bytes";
  request.Ranges.Clear();
  // A proxy that asks who the user is gets an answer (ProxyAuthenticator): the signed-in user,
  // credentials set or kept for it, or the user's own through the credential provider.
  FHTTP->SetHTTPOptions({hoForceEncodeParams, hoInProcessAuth});
  // A server that stops sending cannot keep an unattended run waiting for ever.
  FHTTP->SetReadTimeout(ReadTimeout);
  FHTTP->ProxyAuthenticator().SetCredentialProvider(FProxyCredentials.get());
  if (FProxy) {
    FHTTP->OnSelectProxy = [this](TIdCustomHTTP*, const TIdURI& AURI,
                                  TIdProxyConnectionInfo& AProxyParams) {
      const TIdProxyServer proxy = FProxy->ProxyFor(AURI);
      if (FReport) FReport->ProxyChosen(AURI.GetFullURI({}), proxy.Text(), FProxy->ChoiceSource());
      AProxyParams.ProxyServer = proxy.Host;
      AProxyParams.ProxyPort = proxy.Port;
      AProxyParams.ProxyUsername = proxy.Credentials.Username;
      AProxyParams.ProxyPassword = proxy.Credentials.Password;
    };
  }
  FHTTP->OnWork = [this](TIdComponent*, TWorkMode, int64_t AWorkCount) {
    if (OnWork) OnWork(AWorkCount);
  };
}

void THTTPDownloadClient::ReportTo(TRunReport* AReport) {
  FReport = AReport;
  if (!AReport) {
    FIOHandler->OnStatus = nullptr;
    FHTTP->OnRequestLine = nullptr;
    FHTTP->OnStatusLine = nullptr;
    FHTTP->ProxyAuthenticator().OnSignIn = nullptr;
    return;
  }
  // Where it connects ("Connecting to 192.0.2.1") and what the secure session is; not every
  // resolve and close.
  FIOHandler->OnStatus = [AReport](TIdComponent*, TIdStatus AStatus, const std::string& AText) {
    if (AStatus == hsConnecting || AStatus == hsStatusText) AReport->Connection(AText);
  };
  FHTTP->OnRequestLine = [AReport](TIdCustomHTTP*, const std::string& ALine) {
    AReport->RequestLine(ALine);
  };
  FHTTP->OnStatusLine = [AReport](TIdCustomHTTP*, const std::string& ALine) {
    AReport->StatusLine(ALine);
  };
  FHTTP->ProxyAuthenticator().OnSignIn = [AReport](const std::string& AText) {
    AReport->Note(AText);
  };
}

void THTTPDownloadClient::Head(const std::string& AURL) {
  FHTTP->Head(AURL);
  // Under the URL asked for and under the one the redirects ended at, where the download goes.
  FAnnounced[AURL] = FHTTP->Response().ContentLength;
  FAnnounced[ResponseURL()] = FHTTP->Response().ContentLength;
}

void THTTPDownloadClient::Get(const std::string& AURL, TStream& ADest) {
  // A body longer than announced would pass the bar's end and could fill the memory.
  const auto announced = FAnnounced.find(AURL);
  FHTTP->SetMaxBodySize(announced != FAnnounced.end() && announced->second > 0
                            ? announced->second
                            : UnannouncedBodyLimit);
  FHTTP->Get(AURL, &ADest);
}
