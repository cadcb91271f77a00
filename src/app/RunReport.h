#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "download/DownloadReport.h"

class TLogSink;
struct TFailureClass;
struct TRunOutcome;

// The run's report: what happened, event by event, in the words of the log (one line each,
// through the program's one sink), and the latest facts about the network that a failure's
// details name (the proxy, the server's last answer). The setup sequence and the HTTP
// client's adapter both report here; without a sink nothing is written, the facts are still kept.
class TRunReport : public TDownloadReport {
 public:
  explicit TRunReport(TLogSink* ASink = nullptr) : FSink(ASink) {}

  void SetSink(TLogSink* ASink) { FSink = ASink; }
  // The log's path for the user to open; empty when there is none.
  std::string LogPath() const;

  // An event in words of its own.
  void Note(const std::string& AText) noexcept override;

  // The network, from the HTTP client's adapter.
  // The proxy chosen for AURL ("DIRECT" for none) and how (the resolver's ChoiceSource).
  void ProxyChosen(const std::string& AURL, const std::string& AProxy,
                   const std::string& AHow) override;
  // What the connection says of itself: the address it connects to, the secure session.
  void Connection(const std::string& AText) override;
  void RequestLine(const std::string& ALine) override;
  void StatusLine(const std::string& ALine) override;
  // One attempt of a download failed for ACause and attempt AAttempt of AMax follows after
  // AWaitMilliseconds (the download client's retries).
  void Retry(int AAttempt, int AMax, const std::string& ACause, int64_t AWaitMilliseconds);

  // The download.
  void Announced(const std::string& AURL, int64_t ALength);
  void Received(const std::string& AURL, int64_t ABytes, int64_t AMilliseconds);

  // A failure, with its class and message, and what it means for the run.
  void Failure(const std::exception_ptr& AFailure, const TFailureClass& AClass);
  void Outcome(const TRunOutcome& AOutcome);

  // The latest facts, for a failure's details: the proxy of the last request (empty: none
  // chosen yet, "DIRECT": none) and the last status line read.
  const std::string& LastProxy() const { return FLastProxy; }
  const std::string& LastStatusLine() const { return FLastStatusLine; }
  // Forgets them, before the sequence runs again.
  void ForgetFacts();

 private:
  TLogSink* FSink;
  std::string FLastProxy;
  std::string FLastStatusLine;
};

// The class of an exception as its name reads in the code ("EIdSocketError"), for the log.
std::string ExceptionClassName(const std::exception& AException);
// The message of the exception being handled (AFailure), "" for one of no known class.
std::string FailureMessage(const std::exception_ptr& AFailure);
