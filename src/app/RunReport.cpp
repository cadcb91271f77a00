#include "app/RunReport.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "app/FailureClass.h"
#include "app/LogSink.h"
#include "app/RunOutcome.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "base/Texts.h"

namespace {

const char* ResultName(TRunResult AResult) {
  switch (AResult) {
    case TRunResult::rrInstallerEnded:
      return "installer ended";
    case TRunResult::rrUserClosed:
      return "closed by the user";
    case TRunResult::rrElevationRefused:
      return "elevation refused";
    case TRunResult::rrProbeFailed:
      return "size probe failed";
    case TRunResult::rrDownloadFailed:
      return "download failed";
    case TRunResult::rrArchiveRefused:
      return "archive refused";
    case TRunResult::rrDiskFailure:
      return "disk failure";
    case TRunResult::rrLaunchFailed:
      return "installer not started";
    case TRunResult::rrBadCommandLine:
      return "bad command line";
    case TRunResult::rrUsageShown:
      return "usage shown";
  }
  return "";
}

}  // namespace

std::string ExceptionClassName(const std::exception& AException) {
  const char* mangled = typeid(AException).name();
  int status = 0;
  const std::unique_ptr<char, decltype(&std::free)> name(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(mangled);
}

std::string FailureMessage(const std::exception_ptr& AFailure) {
  try {
    std::rethrow_exception(AFailure);
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return {};
  }
}

std::string TRunReport::LogPath() const {
  return FSink ? FSink->Path() : std::string();
}

void TRunReport::Note(const std::string& AText) noexcept {
  if (FSink) FSink->Write(AText);
}

void TRunReport::ProxyChosen(const std::string& AURL, const std::string& AProxy,
                             const std::string& AHow) {
  FLastProxy = AProxy;
  Note("Proxy for " + AURL + ": " + AProxy + (AHow.empty() ? "" : " (" + AHow + ")"));
}

void TRunReport::Connection(const std::string& AText) {
  Note(AText);
}

void TRunReport::RequestLine(const std::string& ALine) {
  Note("Sent: " + ALine);
}

void TRunReport::StatusLine(const std::string& ALine) {
  FLastStatusLine = ALine;
  Note("Received: " + ALine);
}

void TRunReport::Retry(int AAttempt, int AMax, const std::string& ACause,
                       int64_t AWaitMilliseconds) {
  Note(Format("Retry %d of %d in %lld ms, after: %s", AAttempt, AMax,
              static_cast<long long>(AWaitMilliseconds), ACause.c_str()));
}

void TRunReport::Announced(const std::string& AURL, int64_t ALength) {
  Note(Format("Announced length of %s: %lld bytes", AURL.c_str(), static_cast<long long>(ALength)));
}

void TRunReport::Received(const std::string& AURL, int64_t ABytes, int64_t AMilliseconds) {
  // Bytes per millisecond are thousands of bytes per second.
  const double kilobytesPerSecond =
      AMilliseconds > 0
          ? static_cast<double>(ABytes) / static_cast<double>(AMilliseconds) * 1000.0 / 1024.0
          : 0.0;
  Note(Format("Received %lld bytes of %s in %.3f s (%.1f KiB/s)", static_cast<long long>(ABytes),
              AURL.c_str(), static_cast<double>(AMilliseconds) / 1000.0, kilobytesPerSecond));
}

void TRunReport::Failure(const std::exception_ptr& AFailure, const TFailureClass& AClass) {
  std::string name = "unknown";
  try {
    std::rethrow_exception(AFailure);
  } catch (const std::exception& e) {
    name = ExceptionClassName(e);
  } catch (...) {
  }
  Note(Format("Error %s: %s (%s%s)", name.c_str(), FailureMessage(AFailure).c_str(),
              ResultName(AClass.Result), AClass.TryAgainMayHelp ? ", trying again may help" : ""));
}

void TRunReport::Outcome(const TRunOutcome& AOutcome) {
  Note(Format("Exit code %lu: %s (%s)", static_cast<unsigned long>(ExitCodeFor(AOutcome)),
              ResultName(AOutcome.Result), EnglishText(OutcomeMeaning(AOutcome))));
}

void TRunReport::ForgetFacts() {
  FLastProxy.clear();
  FLastStatusLine.clear();
}
