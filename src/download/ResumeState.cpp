#include "download/ResumeState.h"

#include <cmath>

#include "base/Format.h"
#include "base/StrUtils.h"
#include "base/Texts.h"
#include "http/IdHTTPDate.h"
#include "http/IdHTTPHeaderInfo.h"

namespace {

// A Last-Modified this long (ms) before the answer's Date is a strong validator.
constexpr int64_t kStrongDateMargin = 60000;

bool IsStrongETag(std::string_view AETag) {
  return AETag.size() >= 2 && AETag.front() == '"' && AETag.back() == '"';
}

}  // namespace

std::string IfRangeValidator(const TIdResponseHeaderInfo& AResponse) {
  const std::string etag(Trim(AResponse.RawHeaders.GetValue("ETag")));
  if (!etag.empty()) return IsStrongETag(etag) ? etag : std::string();
  const std::string modified(Trim(AResponse.RawHeaders.GetValue("Last-Modified")));
  const auto modifiedAt = GMTToLocalDateTime(modified);
  const auto date = GMTToLocalDateTime(AResponse.RawHeaders.GetValue("Date"));
  if (!modifiedAt || !date || std::llround((*date - *modifiedAt) * MSecsPerDay) < kStrongDateMargin)
    return {};
  return modified;
}

void TResumeState::Remember(const TIdResponseHeaderInfo& AResponse, int64_t AAnnounced) {
  FValidator = IfRangeValidator(AResponse);
  if (AResponse.HasContentLength && AResponse.ContentLength > 0)
    FCompleteLength = AResponse.ContentLength;
  else
    FCompleteLength = AAnnounced > 0 ? AAnnounced : -1;
}

void TResumeState::Forget() {
  FValidator.clear();
  FCompleteLength = -1;
}

void TResumeState::CheckContinuation(const TIdResponseHeaderInfo& AResponse, int64_t AHeld) const {
  // The server's text, as far as a message shows it.
  const std::string range = AResponse.RawHeaders.GetValue("Content-Range").substr(0, 64);
  if (!SameText(AResponse.ContentRangeUnits, "bytes") || AResponse.ContentRangeStart != AHeld ||
      AResponse.ContentRangeEnd != FCompleteLength - 1 ||
      AResponse.ContentRangeInstanceLength != FCompleteLength)
    throw EResumeRefused(Format(RSResumeWrongRange, range.c_str(), static_cast<long long>(AHeld),
                                static_cast<long long>(FCompleteLength - 1),
                                static_cast<long long>(FCompleteLength)));
  // If-Range should have made a server whose copy changed send all of it; one that sends a
  // part of another copy all the same must not be stitched to the first.
  const std::string sent(
      Trim(AResponse.RawHeaders.GetValue(IsStrongETag(FValidator) ? "ETag" : "Last-Modified")));
  if (!sent.empty() && sent != FValidator) throw EResumeRefused(Text(RSResumeChanged));
}
