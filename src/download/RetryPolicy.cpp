#include "download/RetryPolicy.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "base/StrUtils.h"
#include "http/IdHTTPDate.h"
#include "http/IdHTTPExceptions.h"
#include "net/IdExceptionCore.h"
#include "net/IdTLSExceptions.h"

namespace {

// Socket errors of a connection that could not be made or broke on the way; those of a
// request the system refused to make (bad addresses, missing protocols) are not among them.
bool IsConnectionError(int ACode) {
  switch (ACode) {
    case 10050:  // network down
    case 10051:  // network unreachable
    case 10052:  // dropped by a network reset
    case 10053:  // aborted by the software on the way
    case 10054:  // reset by the peer
    case 10060:  // timed out
    case 10061:  // refused
    case 10064:  // host down
    case 10065:  // no route to the host
    case 11002:  // the resolver asks to try again (a temporary failure)
      return true;
    default:
      return false;
  }
}

bool IsBusyStatus(int ACode) {
  switch (ACode) {
    case 408:  // the server tired of waiting for the request
    case 429:  // too many requests
    case 500:
    case 502:
    case 503:
    case 504:
      return true;
    default:
      return false;
  }
}

}  // namespace

TRetryCause RetryCauseOf(const std::exception_ptr& AFailure, bool ABodyStarted) {
  try {
    std::rethrow_exception(AFailure);
  } catch (const EIdHTTPProtocolException& e) {
    return IsBusyStatus(e.ErrorCode()) ? TRetryCause::rcServerBusy : TRetryCause::rcNone;
  } catch (const EIdHTTPProxyError&) {
    // The user's proxy settings need a look, not another attempt.
  } catch (const EIdTLSCutOff&) {
    return TRetryCause::rcConnection;
  } catch (const EIdTLSError&) {
    // Certificates and handshakes fail the same way again.
  } catch (const EIdConnClosedGracefully&) {
    // Closed by the server before the answer or its body was whole (a close of the program's
    // own never gets here: the window's close is looked at first).
    return TRetryCause::rcConnection;
  } catch (const EIdReadTimeout&) {
    if (ABodyStarted) return TRetryCause::rcConnection;
  } catch (const EIdConnectTimeout&) {
    return TRetryCause::rcConnection;
  } catch (const EIdSocketError& e) {
    if (IsConnectionError(e.LastError())) return TRetryCause::rcConnection;
  } catch (...) {
  }
  return TRetryCause::rcNone;
}

int TRetryPolicy::WaitBefore(int AAttempt, double ARandom, std::optional<int> ARetryAfter) const {
  if (ARetryAfter) return std::clamp(*ARetryAfter, 0, MaxRetryAfter);
  if (Waits.empty()) return 0;
  const size_t index =
      std::min<size_t>(static_cast<size_t>(std::max(AAttempt - 2, 0)), Waits.size() - 1);
  const int base = Waits[index];
  return base + static_cast<int>(std::floor(base * Jitter * std::clamp(ARandom, 0.0, 1.0)));
}

std::optional<int> RetryAfterMilliseconds(const std::string& AValue, TDateTime AServerNow) {
  const std::string_view value = Trim(AValue);
  if (value.empty()) return std::nullopt;
  if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    // More than a day is as good as for ever; the caller caps it anyway.
    const int64_t seconds = value.size() > 9 ? int64_t{999999999} : std::stoll(std::string(value));
    return static_cast<int>(std::min<int64_t>(seconds * 1000, std::numeric_limits<int>::max()));
  }
  const std::optional<TDateTime> at = GMTToLocalDateTime(value);
  if (!at) return std::nullopt;
  const double ms = std::round((*at - AServerNow) * MSecsPerDay);
  if (ms <= 0) return 0;
  return static_cast<int>(std::min<double>(ms, std::numeric_limits<int>::max()));
}
