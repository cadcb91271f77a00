#include "download/RetryPolicy.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "base/StrUtils.h"
#include "download/FailureKind.h"
#include "http/IdHTTPDate.h"
#include "http/IdHTTPStatus.h"

namespace {

// What a server answers when it cannot serve now, and may soon.
bool IsBusyStatus(int ACode) {
  switch (ACode) {
    case Id_HTTP_REQUEST_TIMEOUT:  // the server tired of waiting for the request
    case Id_HTTP_TOO_MANY_REQUESTS:
    case Id_HTTP_INTERNAL_SERVER_ERROR:
    case Id_HTTP_BAD_GATEWAY:
    case Id_HTTP_SERVICE_UNAVAILABLE:
    case Id_HTTP_GATEWAY_TIMEOUT:
      return true;
    default:
      return false;
  }
}

}  // namespace

TRetryCause RetryCauseOf(const std::exception_ptr& AFailure, bool ABodyStarted) {
  const TFailureCause failure = DownloadFailureCauseOf(AFailure);
  switch (failure.Kind) {
    case TFailureKind::fkStatus:
      return IsBusyStatus(failure.Status) ? TRetryCause::rcServerBusy : TRetryCause::rcNone;
    case TFailureKind::fkResolverBusy:
    case TFailureKind::fkRefused:
    case TFailureKind::fkUnreachable:
    case TFailureKind::fkTimedOut:
    case TFailureKind::fkCutOff:
      return TRetryCause::rcConnection;
    case TFailureKind::fkSlow:
      // Waiting for a head, the whole read time-out has been spent already.
      return ABodyStarted ? TRetryCause::rcConnection : TRetryCause::rcNone;
    default:
      // Names the resolver does not know, certificates and handshakes, the proxy's refusals
      // and its settings, answers that cannot be read: another attempt meets them the same way.
      return TRetryCause::rcNone;
  }
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
