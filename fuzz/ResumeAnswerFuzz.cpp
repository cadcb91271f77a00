// What the download client reads of a server's answer to retry and resume: a Retry-After value,
// the validator that vouches for a body (ETag, Last-Modified, Date), and whether a 206 continues
// the bytes held (Content-Range).
//
// Input: a Retry-After value line; two bytes for the bytes held and the complete length (in
// thousands); then the header lines of the answer (LF-ended, a CR before the LF dropped).
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "base/StrUtils.h"
#include "download/ResumeState.h"
#include "download/RetryPolicy.h"
#include "http/IdHTTPHeaderInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  const std::string retryAfter(in.Line());
  const int64_t held = int64_t{in.Byte()} * 1000;
  const int64_t complete = int64_t{in.Byte()} * 1000 + 1;

  // A wait the server asks for is never negative, and never followed beyond the policy's cap.
  const TRetryPolicy policy;
  const std::optional<int> wait = RetryAfterMilliseconds(retryAfter, 35000.5);
  if (wait) {
    FUZZ_CHECK(*wait >= 0);
    const int waited = policy.WaitBefore(2, 0.5, wait);
    FUZZ_CHECK(waited >= 0 && waited <= policy.MaxRetryAfter);
  }

  TIdResponseHeaderInfo answer;
  while (!in.Empty()) {
    std::string_view line = in.Line();
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    answer.RawHeaders.Add(std::string(line));
  }
  answer.ParseHeaders();

  // The validator is the answer's own strong tag, or its own date, or nothing.
  const std::string validator = IfRangeValidator(answer);
  const std::string etag(Trim(answer.RawHeaders.GetValue("ETag")));
  const std::string modified(Trim(answer.RawHeaders.GetValue("Last-Modified")));
  FUZZ_CHECK(validator.empty() ||
             (validator == etag && validator.size() >= 2 && validator.front() == '"' &&
              validator.back() == '"') ||
             (etag.empty() && validator == modified));

  // A continuation is accepted only when it is exactly the rest of the copy.
  TResumeState state;
  TIdResponseHeaderInfo first;
  first.RawHeaders.Add("Content-Length: " + std::to_string(complete));
  first.RawHeaders.Add("ETag: \"v1\"");
  first.ParseHeaders();
  state.Remember(first, complete);
  try {
    state.CheckContinuation(answer, held);
    FUZZ_CHECK(answer.ContentRangeStart == held);
    FUZZ_CHECK(answer.ContentRangeEnd == complete - 1);
    FUZZ_CHECK(answer.ContentRangeInstanceLength == complete);
    FUZZ_CHECK(etag.empty() || etag == "\"v1\"");
  } catch (const EResumeRefused&) {
  }
  return 0;
}
