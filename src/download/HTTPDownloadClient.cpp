#include "download/HTTPDownloadClient.h"

#include <algorithm>

#include "base/Format.h"
#include "base/Texts.h"
#include "base/TryFinally.h"
#include "download/DownloadErrors.h"
#include "download/SystemClock.h"
#include "download/WebPageCheck.h"
#include "http/IdHTTPDate.h"
#include "http/IdHTTPStatus.h"
#include "net/IdAntiFreezeBase.h"

namespace {

// Answers with which a server refuses HEAD where GET works.
bool RefusesHead(int ACode) {
  return ACode == 403 || ACode == 405 || ACode == 501;
}

std::string MessageOf(const std::exception_ptr& AFailure) {
  try {
    std::rethrow_exception(AFailure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return {};
  }
}

}  // namespace

THTTPDownloadClient::THTTPDownloadClient(
    std::unique_ptr<TIdProxyResolver> AProxy,
    std::unique_ptr<TIdProxyCredentialProvider> AProxyCredentials)
    : FProxy(std::move(AProxy)),
      FProxyCredentials(std::move(AProxyCredentials)),
      FIOHandler(std::make_unique<TWatchedIOHandler>()),
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
  // No meta tags are looked for: the client never reads a page for its charset, and the scan
  // would hold an HTML body whole in memory (a page sent in the archive's place, of any length).
  FHTTP->SetHTTPOptions({hoForceEncodeParams, hoInProcessAuth, hoNoParseMetaHTTPEquiv});
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
  FHTTP->OnHeadersAvailable = [this](TIdCustomHTTP*, TIdHeaderList*, bool& VContinue) {
    HeadersAvailable(VContinue);
  };
  // The count of the download's bytes held: a continued body counts on from what is held, and
  // other bodies (an error's text) do not move it.
  FHTTP->OnWork = [this](TIdComponent*, TWorkMode, int64_t AWorkCount) {
    if (FReportWork) {
      FReported = FWorkBase + AWorkCount;
      LookAtTheStart(false);
    }
    if (OnWork) OnWork(FReported);
  };
  FIOHandler->OnReceived = [this](int ACount) { Received(ACount); };
  Random = [this] { return std::uniform_real_distribution<double>(0.0, 1.0)(FRandomEngine); };
  Clock = TickCountMilliseconds;
}

void THTTPDownloadClient::ReportTo(TDownloadReport* AReport) {
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
  FProbedLength = -1;
  bool headRefused = false;
  TryFinally(
      [&] {
        WithRetries(
            AURL, [&] { ProbeOnce(AURL, headRefused); }, nullptr);
      },
      [&] { FPhase = TPhase::phNone; });
  // Under the URL asked for and under the one the redirects ended at, where the download goes.
  FAnnounced[AURL] = FProbedLength;
  FAnnounced[ResponseURL()] = FProbedLength;
}

void THTTPDownloadClient::ProbeOnce(const std::string& AURL, bool& VHeadRefused) {
  if (!VHeadRefused) {
    try {
      FPhase = TPhase::phProbe;
      FHTTP->Head(AURL);
      if (FHTTP->Response().HasContentLength) {
        FProbedLength = FHTTP->Response().ContentLength;
        return;
      }
      // Answers made on the fly often leave the length out of HEAD; the first byte's tells it.
      Note("The answer to HEAD gave no length; asking with GET for the first byte");
    } catch (const EIdHTTPProtocolException& e) {
      if (!RefusesHead(e.ErrorCode())) throw;
      Note("The server refused HEAD; asking with GET for the first byte");
    }
    VHeadRefused = true;
  }
  // The first byte, whose answer tells the whole length (HeadersAvailable).
  FPhase = TPhase::phProbeByRange;
  TIdEntityRanges& ranges = FHTTP->Request().Ranges;
  ranges.Items = {TIdEntityRange{0, 0, -1}};
  TryFinally([&] { FHTTP->Get(AURL, static_cast<TStream*>(nullptr)); }, [&] { ranges.Clear(); });
}

void THTTPDownloadClient::Get(const std::string& AURL, TStream& ADest,
                              std::string_view AExpectedStart) {
  FDest = &ADest;
  FStart = ADest.Position();
  FExpectedStart = AExpectedStart;
  FStartChecked = false;
  FBound = BoundFor(AURL);
  const auto announced = FAnnounced.find(AURL);
  FAnnouncedLength = announced != FAnnounced.end() ? announced->second : -1;
  FResume.Forget();
  FRestarted = false;
  FReported = 0;
  TryFinally(
      [&] {
        WithRetries(
            AURL, [&] { DownloadOnce(AURL); },
            [&] {
              const int64_t held = ADest.Position() - FStart;
              return FResume.CanResume(held) ? held : 0;
            });
        // A body shorter than the look at its start is looked at whole.
        LookAtTheStart(true);
      },
      [&] {
        FPhase = TPhase::phNone;
        FDest = nullptr;
        FReportWork = false;
        FHTTP->Request().Ranges.Clear();
        FHTTP->Request().CustomHeaders.SetValue("If-Range", "");
      });
}

void THTTPDownloadClient::DownloadOnce(const std::string& AURL) {
  TStream& dest = *FDest;
  int64_t held = dest.Position() - FStart;
  // Bytes nothing vouches for are not continued: they might belong to another copy.
  if (held > 0 && !FResume.CanResume(held)) {
    Note(
        Format("Not resumed: nothing vouches for the %lld bytes held (no strong ETag or "
               "Last-Modified); starting again from byte 0",
               static_cast<long long>(held)));
    DiscardHeld();
    held = 0;
  }
  try {
    RequestBody(AURL, held);
  } catch (const EResumeRefused& e) {
    // What is held cannot be continued: it goes, and the download begins again, once.
    if (FRestarted) throw;
    Note(std::string("Not resumed: ") + e.what() + " Starting again from byte 0");
    FRestarted = true;
    FResume.Forget();
    DiscardHeld();
    RequestBody(AURL, 0);
  }
}

void THTTPDownloadClient::RequestBody(const std::string& AURL, int64_t AFrom) {
  TIdHTTPRequest& request = FHTTP->Request();
  request.Ranges.Clear();
  if (AFrom > 0) {
    request.Ranges.Items = {TIdEntityRange{AFrom, -1, -1}};
    Note(Format("Resuming %s from byte %lld, if its validator is still %s", AURL.c_str(),
                static_cast<long long>(AFrom), FResume.Validator().c_str()));
  }
  request.CustomHeaders.SetValue("If-Range", AFrom > 0 ? FResume.Validator() : "");
  FRangeFrom = AFrom;
  FWorkBase = AFrom;
  FReportWork = false;
  FHTTP->SetMaxBodySize(FBound);
  // The head is waited for as long as ever; the body's silences are cut short (HeadersAvailable).
  const int headTimeout = FHTTP->ReadTimeout();
  FPhase = TPhase::phDownload;
  TryFinally([&] { FHTTP->Get(AURL, FDest); },
             [&] {
               FHTTP->SetReadTimeout(headTimeout);
               LowSpeed.Stop();
             });
}

void THTTPDownloadClient::DiscardHeld() {
  FDest->SetSize(FStart);
  FDest->SetPosition(FStart);
  // The copy that comes next begins afresh, and is looked at afresh.
  FStartChecked = false;
  if (FReported == 0) return;
  // The bar goes back: the bytes it showed are gone.
  FReported = 0;
  if (OnWork) OnWork(0);
}

void THTTPDownloadClient::HeadersAvailable(bool& VContinue) {
  TIdHTTPResponse& response = FHTTP->Response();
  switch (FPhase) {
    case TPhase::phProbeByRange: {
      const int code = response.ResponseCode();
      if (code == Id_HTTP_OK) {
        FProbedLength = response.HasContentLength ? response.ContentLength : -1;
      } else if (code == Id_HTTP_PARTIAL_CONTENT) {
        FProbedLength = response.ContentRangeStart == 0 ? response.ContentRangeInstanceLength : -1;
      } else {
        return;  // the request loop decides: a redirect, or the failure
      }
      // The body is not read, so the connection cannot carry another request.
      VContinue = false;
      FHTTP->Disconnect();
      break;
    }
    case TPhase::phDownload:
      DownloadHeadersAvailable(response);
      break;
    default:
      break;
  }
}

void THTTPDownloadClient::DownloadHeadersAvailable(TIdHTTPResponse& AResponse) {
  const int code = AResponse.ResponseCode();
  // A redirect's body is no part of the download; the next pass asks for the same bytes. Nor is
  // a proxy's demand for credentials: the next leg's answer is a head like any other.
  if (IsRedirectStatus(code) || code == Id_HTTP_PROXY_AUTHENTICATION_REQUIRED) return;
  // Silence from here on is a stall, which a new connection may overcome.
  FBodyStarted = true;
  FHTTP->SetReadTimeout(StallTimeout);
  const std::string range = AResponse.RawHeaders.GetValue("Content-Range").substr(0, 64);
  if (code == Id_HTTP_RANGE_NOT_SATISFIABLE && FRangeFrom > 0)
    throw EResumeRefused(Format(RSResumeRangeRefused, static_cast<long long>(FRangeFrom),
                                AResponse.ResponseText().c_str()));
  if (code == Id_HTTP_PARTIAL_CONTENT) {
    if (FRangeFrom == 0) throw EResumeRefused(Format(RSResumeNotAsked, range.c_str()));
    FResume.CheckContinuation(AResponse, FRangeFrom);
    Note(Format("Resumed from byte %lld: the validator held (Content-Range: %s)",
                static_cast<long long>(FRangeFrom), range.c_str()));
    // The bytes held and those to come stay within the download's bound.
    FHTTP->SetMaxBodySize(std::max<int64_t>(FBound - FRangeFrom, 1));
    FReportWork = true;
    LowSpeed.Start(Clock());
    return;
  }
  // Anything else but a success is read as an error's text and raised by the request loop.
  if (StatusClass(code) != 2) return;
  // The whole copy from its first byte (the server ignored the range, or its copy changed):
  // what was held goes.
  if (FRangeFrom > 0) {
    Note(
        Format("Not resumed: the server sent the whole file again (its copy changed or it "
               "ignored the range); the %lld bytes held were discarded",
               static_cast<long long>(FRangeFrom)));
    DiscardHeld();
    FRangeFrom = 0;
    FWorkBase = 0;
  }
  FResume.Remember(AResponse, FAnnouncedLength);
  FReportWork = true;
  LowSpeed.Start(Clock());
}

void THTTPDownloadClient::LookAtTheStart(bool AWhole) {
  if (FExpectedStart.empty() || FStartChecked || !FDest) return;
  if (!AWhole && FDest->Position() - FStart < WebPageStartLength) return;
  FStartChecked = true;
  try {
    RefuseWebPage(ResponseContentType(), *FDest, FExpectedStart, FStart);
  } catch (const EWebPageInstead&) {
    Note(Format("A web page came instead of the file (Content-Type: %s); refused after %lld bytes",
                ResponseContentType().substr(0, 64).c_str(),
                static_cast<long long>(FDest->Position() - FStart)));
    throw;
  }
}

void THTTPDownloadClient::Received(int ACount) {
  if (!LowSpeed.Watching() || !LowSpeed.TooSlow(Clock(), ACount)) return;
  throw EDownloadTooSlow(Format(RSDownloadTooSlow, static_cast<int>(LowSpeed.BytesPerSecond),
                                static_cast<int>(LowSpeed.Period / 1000)));
}

void THTTPDownloadClient::WithRetries(const std::string& AURL,
                                      const std::function<void()>& AAttempt,
                                      const std::function<int64_t()>& AHeld) {
  for (int attempt = 1;; ++attempt) {
    std::exception_ptr failure;
    try {
      FBodyStarted = false;
      AAttempt();
      return;
    } catch (...) {
      failure = std::current_exception();
    }
    const TRetryCause cause = RetryCauseOf(failure, FBodyStarted);
    // A program that is ending wants no further attempt, and no wait for one.
    if (cause == TRetryCause::rcNone || attempt >= Retry.MaxAttempts ||
        TIdAntiFreezeBase::WaitAbandoned() ||
        !WaitBeforeRetry(AURL, attempt + 1, cause, failure, AHeld ? AHeld() : 0))
      std::rethrow_exception(failure);
  }
}

bool THTTPDownloadClient::WaitBeforeRetry(const std::string& AURL, int AAttempt, TRetryCause ACause,
                                          const std::exception_ptr& AFailure, int64_t AHeld) {
  std::optional<int> retryAfter;
  if (ACause == TRetryCause::rcServerBusy) {
    // Measured from the server's clock, when it tells it.
    const TIdHeaderList& headers = FHTTP->Response().RawHeaders;
    const TDateTime serverNow = GMTToLocalDateTime(headers.GetValue("Date")).value_or(Now());
    retryAfter = RetryAfterMilliseconds(headers.GetValue("Retry-After"), serverNow);
  }
  TRetryNotice notice;
  notice.URL = AURL;
  notice.Attempt = AAttempt;
  notice.MaxAttempts = Retry.MaxAttempts;
  notice.Wait = Retry.WaitBefore(AAttempt, Random ? Random() : 0.0, retryAfter);
  notice.ServerBusy = ACause == TRetryCause::rcServerBusy;
  notice.Cause = MessageOf(AFailure);
  notice.Held = AHeld;
  // The next attempt starts on a connection of its own: a kept one may be closed meanwhile.
  FHTTP->Disconnect();
  if (OnRetry) OnRetry(notice);
  if (OnRetryWait) return OnRetryWait(notice);
  SleepMilliseconds(static_cast<unsigned>(notice.Wait));
  return true;
}

void THTTPDownloadClient::Note(const std::string& AText) {
  if (FReport) FReport->Note(AText);
}

int64_t THTTPDownloadClient::BoundFor(const std::string& AURL) const {
  // A body longer than announced would pass the bar's end and could fill the memory.
  const auto announced = FAnnounced.find(AURL);
  return announced != FAnnounced.end() && announced->second > 0 ? announced->second
                                                                : UnannouncedBodyLimit;
}
