#pragma once

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "base/DateTime.h"

// Why a failed request may be made again: a connection that failed or broke (refused,
// unreachable, timed out, reset, closed or cut before the answer or its body was whole, silent
// in the middle of a body), or a server that answered that it cannot serve now.
enum class TRetryCause { rcNone, rcConnection, rcServerBusy };

// The failure being handled (its kind, FailureCauseOf), told as a cause for another attempt.
// ABodyStarted: the answer's head had been read and its body was being read, where a read
// time-out is a stall; waiting for a head, it is not retried (it already took the whole read
// time-out). Everything that another attempt would meet the same way is rcNone: other answers,
// names the resolver does not know, certificates and handshakes, proxy refusals, answers that
// cannot be read, bodies past their bound, and whatever is not a connection's.
TRetryCause RetryCauseOf(const std::exception_ptr& AFailure, bool ABodyStarted);

// How often a request is made and how long is waited between the attempts.
class TRetryPolicy {
 public:
  // Attempts in all, the first one included.
  int MaxAttempts = 5;
  // The wait before the second, third, ... attempt, in ms; the last one repeats.
  std::vector<int> Waits{1000, 2000, 4000, 8000};
  // Each wait is lengthened by up to this fraction of it, so that clients cut off together do
  // not come back together.
  double Jitter = 0.2;
  // The most a server's Retry-After is followed, in ms.
  int MaxRetryAfter = 60000;

  // The wait before attempt AAttempt (2 for the first retry). ARandom in [0, 1) picks the
  // jitter; ARetryAfter is the server's wish, in ms, when it gave one.
  int WaitBefore(int AAttempt, double ARandom, std::optional<int> ARetryAfter) const;
};

// A Retry-After value in ms: delay-seconds ("120") or an HTTP date, which is measured from the
// server's own time (AServerNow: its Date, or the local time when it sent none). Nothing for a
// value that is neither; a date in the past is 0.
std::optional<int> RetryAfterMilliseconds(const std::string& AValue, TDateTime AServerNow);
