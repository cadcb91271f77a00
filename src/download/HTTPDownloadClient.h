#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "download/DownloadClient.h"
#include "download/DownloadReport.h"
#include "download/LowSpeedWatch.h"
#include "download/ResumeState.h"
#include "download/RetryPolicy.h"
#include "download/WatchedIOHandler.h"
#include "http/IdHTTP.h"
#include "http/proxy/IdProxyCredentialProvider.h"
#include "http/proxy/IdProxyResolver.h"

// The window's HTTP client as the sequence sees it: the real TIdHTTP behind TDownloadClient,
// over a handler that speaks TLS for "https" URLs and passes "http" through. It follows
// redirects (never from "https" to anything else). With a proxy resolver, every request (and
// every redirect) goes through the proxy that the resolver chooses for its URL; a proxy that asks
// for credentials gets the signed-in user's, the resolver's, or those of the credential provider
// (kept or asked for).
//
// Each request (the size probe, each download) is made up to Retry.MaxAttempts times when it
// fails in a way another attempt may not (RetryCauseOf), with Retry's waits between. A download
// that broke keeps what it received and asks for the rest ("Range: bytes=N-") when a validator
// vouches for those bytes ("If-Range"); an answer that cannot continue them starts it again.
// A body that stalls (silent for StallTimeout, or slower than LowSpeed's rule) is resumed so too.
class THTTPDownloadClient : public TDownloadClient {
 public:
  // How long the client waits for the head of an answer before "Read timed out.", in ms: as
  // long as a connect may take.
  static constexpr int ReadTimeout = 120000;

  // AProxy: the proxy settings to follow; none: every connection is direct. AProxyCredentials:
  // where a proxy's credentials are kept and asked for; none: nowhere.
  explicit THTTPDownloadClient(
      std::unique_ptr<TIdProxyResolver> AProxy = nullptr,
      std::unique_ptr<TIdProxyCredentialProvider> AProxyCredentials = nullptr);

  // Remembers the length the probe found for the URL: its body may bring no more (and one
  // without a positive length no more than UnannouncedBodyLimit). A server that refuses HEAD
  // (403, 405, 501), or answers it without a Content-Length, is asked with "GET" for its first
  // byte instead.
  void Head(const std::string& AURL) override;
  int64_t ResponseContentLength() override { return FProbedLength; }
  std::string ResponseURL() override { return FHTTP->URL().URI(); }
  std::string ResponseContentType() override { return FHTTP->Response().ContentType; }
  void Get(const std::string& AURL, TStream& ADest, std::string_view AExpectedStart) override;
  // The TCP client's disconnect, which tells the peer.
  void Disconnect() override { FHTTP->Disconnect(); }

  TIdHTTP& HTTP() { return *FHTTP; }
  // The attempts and the waits between them (tests lower them).
  TRetryPolicy Retry;
  // How long a body may bring nothing before it counts as stalled and is resumed, in ms.
  int StallTimeout = 30000;
  // A body that brings less than 1 KiB/s on average over 60 s counts as stalled too.
  TLowSpeedWatch LowSpeed{1024, 60000};
  // The clock the low-speed rule reads, in ms; it only goes forward (tests play it).
  std::function<uint64_t()> Clock;
  // Picks each wait's jitter: a number in [0, 1).
  std::function<double()> Random;
  // Tells the run's report of every proxy chosen, connection made, secure session, request line
  // and status line (never a header field); null: nobody.
  void ReportTo(TDownloadReport* AReport);

 private:
  // What the request in progress is: the hook on its answer's head acts by it.
  enum class TPhase { phNone, phProbe, phProbeByRange, phDownload };

  // Makes AAttempt until it succeeds, fails in a way that is not retried, or has been made
  // Retry.MaxAttempts times (then the last failure stands). AHeld tells the bytes a download
  // holds, for the notice.
  void WithRetries(const std::string& AURL, const std::function<void()>& AAttempt,
                   const std::function<int64_t()>& AHeld);
  // Notices and makes the wait before attempt AAttempt after AFailure; false when the program
  // gave it up.
  bool WaitBeforeRetry(const std::string& AURL, int AAttempt, TRetryCause ACause,
                       const std::exception_ptr& AFailure, int64_t AHeld);
  // One attempt of the size probe: HEAD, or once a server refused that, GET of the first byte.
  void ProbeOnce(const std::string& AURL, bool& VHeadRefused);
  // One attempt of the download in progress: a continuation of the bytes held when that can be
  // vouched for, else from the start; an answer that cannot continue them starts it again, once.
  void DownloadOnce(const std::string& AURL);
  // One GET of the download's body from byte AFrom (0: the whole).
  void RequestBody(const std::string& AURL, int64_t AFrom);
  // Throws away the bytes the download holds.
  void DiscardHeld();
  // Refuses the download's body as a web page once its first bytes are in (AWhole: all of it
  // is, however short).
  void LookAtTheStart(bool AWhole);
  // OnReceived of the handler: the low-speed rule over the body being read.
  void Received(int ACount);
  // OnHeadersAvailable of the client: what the request in progress does with an answer before
  // its body is read.
  void HeadersAvailable(bool& VContinue);
  void DownloadHeadersAvailable(TIdHTTPResponse& AResponse);
  int64_t BoundFor(const std::string& AURL) const;
  // A line in the run's log, when there is one.
  void Note(const std::string& AText);

  std::unique_ptr<TIdProxyResolver> FProxy;
  std::unique_ptr<TIdProxyCredentialProvider> FProxyCredentials;
  // Declared before the client, so the client (which closes it) goes first.
  std::unique_ptr<TWatchedIOHandler> FIOHandler;
  std::unique_ptr<TIdHTTP> FHTTP;
  std::map<std::string, int64_t> FAnnounced;
  std::mt19937 FRandomEngine{std::random_device{}()};

  TPhase FPhase = TPhase::phNone;
  int64_t FProbedLength = -1;
  // Set once the head of the answer being read was taken: a silence now is a stall.
  bool FBodyStarted = false;
  // The download in progress: where its body goes, from where, its URL's bound and probed
  // length, what vouches for the bytes it holds, whether it began again already, and the first
  // byte the request in progress asked for (0: the whole).
  TStream* FDest = nullptr;
  int64_t FStart = 0;
  // The download's expected first bytes, and whether its start was looked at.
  std::string FExpectedStart;
  bool FStartChecked = false;
  int64_t FBound = 0;
  int64_t FAnnouncedLength = -1;
  TResumeState FResume;
  bool FRestarted = false;
  int64_t FRangeFrom = 0;
  // Work counts of the body being read are reported from here; only bodies that go into the
  // download's stream move them.
  int64_t FWorkBase = 0;
  bool FReportWork = false;
  int64_t FReported = 0;
  TDownloadReport* FReport = nullptr;
};
