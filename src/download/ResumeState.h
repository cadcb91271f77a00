#pragma once

#include <cstdint>
#include <string>

#include "base/Exception.h"

class TIdResponseHeaderInfo;

// The server's answer to a resumed download could not continue the bytes held: it refused the
// range (416), sent another range or another length than asked for, or a copy whose validator
// differs. The bytes held must go.
PLENWICK_DECLARE_EXCEPTION(EResumeRefused, Exception)

// The If-Range value that vouches for an answer's bytes: its strong ETag; without an ETag its
// Last-Modified date, when that is a strong validator (a minute or more before the answer's
// Date: a file changed within the same second cannot be told from the first). Empty when the
// answer has neither; a weak ETag (W/) says the bytes may differ, so it vouches for nothing.
std::string IfRangeValidator(const TIdResponseHeaderInfo& AResponse);

// What a download keeps so that it can continue where a connection broke: the validator of the
// copy whose bytes it holds, and that copy's complete length.
class TResumeState {
 public:
  // The answer whose body is being received from its start (a 200). AAnnounced is the size
  // probe's length, taken when the answer gives none of its own.
  void Remember(const TIdResponseHeaderInfo& AResponse, int64_t AAnnounced);
  void Forget();

  // True when AHeld bytes can be continued: a validator vouches for them and the copy is longer.
  bool CanResume(int64_t AHeld) const {
    return AHeld > 0 && !FValidator.empty() && FCompleteLength > AHeld;
  }
  const std::string& Validator() const { return FValidator; }
  int64_t CompleteLength() const { return FCompleteLength; }

  // Checks a 206 to "Range: bytes=AHeld-": the range must start at AHeld and run to the end of
  // a copy of the complete length, and a validator it carries must be the one asked for.
  // Raises EResumeRefused otherwise.
  void CheckContinuation(const TIdResponseHeaderInfo& AResponse, int64_t AHeld) const;

 private:
  std::string FValidator;
  int64_t FCompleteLength = -1;
};
