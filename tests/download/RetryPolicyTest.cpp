// Which failures are retried, how long is waited, and which answers may continue a download.

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <string>

#include "download/ResumeState.h"
#include "download/RetryPolicy.h"
#include "http/IdHTTPDate.h"
#include "http/IdHTTPExceptions.h"
#include "http/IdHTTPHeaderInfo.h"
#include "net/IdTLSExceptions.h"
#include "trust/TrustError.h"

namespace {

struct CauseCase {
  const char* name;
  std::function<void()> raise;
  bool bodyStarted;
  TRetryCause cause;
};

void PrintTo(const CauseCase& c, std::ostream* os) {
  *os << c.name;
}

std::function<void()> Status(int code) {
  return [code] { throw EIdHTTPProtocolException(code, "HTTP/1.1 " + std::to_string(code), ""); };
}
std::function<void()> Socket(int code) {
  return [code] { throw EIdSocketError(code, "Socket Error # " + std::to_string(code)); };
}
template <class E>
std::function<void()> Raise() {
  return [] { throw E("failure"); };
}

const CauseCase kCauses[] = {
    {"Refused", Socket(10061), false, TRetryCause::rcConnection},
    {"Reset", Socket(10054), true, TRetryCause::rcConnection},
    {"Unreachable", Socket(10065), false, TRetryCause::rcConnection},
    {"ConnectTimedOut", Socket(10060), false, TRetryCause::rcConnection},
    {"ResolverTryAgain", Socket(11002), false, TRetryCause::rcConnection},
    {"HostNotFound", Socket(11001), false, TRetryCause::rcNone},
    {"AddressFamilyUnsupported", Socket(10047), false, TRetryCause::rcNone},
    {"ConnectTimeout", Raise<EIdConnectTimeout>(), false, TRetryCause::rcConnection},
    {"ClosedBeforeTheAnswer", Raise<EIdConnClosedGracefully>(), false, TRetryCause::rcConnection},
    {"BodyCutOff", [] { throw EIdHTTPCutOff("cut", 5, 10); }, true, TRetryCause::rcConnection},
    {"TLSCutOff", [] { throw EIdTLSCutOff(5); }, true, TRetryCause::rcConnection},
    {"StallInTheBody", Raise<EIdReadTimeout>(), true, TRetryCause::rcConnection},
    {"NoHeadWithinTheReadTimeout", Raise<EIdReadTimeout>(), false, TRetryCause::rcNone},
    {"CertificateUntrusted", Raise<EIdTLSCertificateUntrusted>(), false, TRetryCause::rcNone},
    {"HandshakeFailed", Raise<EIdTLSHandshakeFailed>(), false, TRetryCause::rcNone},
    {"DecryptionFailed", Raise<EIdTLSError>(), true, TRetryCause::rcNone},
    {"ProxyRefused", [] { throw EIdHTTPProxyError("refused", 407); }, false, TRetryCause::rcNone},
    // A proxy not reached is the settings' to mend (the run offers to try again, later).
    {"ProxyNotReached", [] { throw EIdHTTPProxyError("no proxy"); }, false, TRetryCause::rcNone},
    {"ProxyFailed", [] { throw EIdHTTPProxyError("bad gateway", 502); }, false,
     TRetryCause::rcNone},
    {"NetworkDown", Socket(10050), false, TRetryCause::rcConnection},
    {"Aborted", Socket(10053), true, TRetryCause::rcConnection},
    {"NotASocket", [] { throw EIdNotASocket(10038, "x"); }, true, TRetryCause::rcNone},
    {"Malformed", Raise<EIdHTTPMalformedResponse>(), true, TRetryCause::rcNone},
    {"InsecureRedirect", Raise<EIdHTTPInsecureRedirect>(), false, TRetryCause::rcNone},
    {"Status408", Status(408), true, TRetryCause::rcServerBusy},
    {"Status429", Status(429), true, TRetryCause::rcServerBusy},
    {"Status500", Status(500), true, TRetryCause::rcServerBusy},
    {"Status502", Status(502), true, TRetryCause::rcServerBusy},
    {"Status503", Status(503), true, TRetryCause::rcServerBusy},
    {"Status504", Status(504), true, TRetryCause::rcServerBusy},
    {"Status404", Status(404), true, TRetryCause::rcNone},
    {"Status403", Status(403), true, TRetryCause::rcNone},
    {"Status501", Status(501), true, TRetryCause::rcNone},
    {"Status302", Status(302), true, TRetryCause::rcNone},
    {"ResumeRefused", Raise<EResumeRefused>(), true, TRetryCause::rcNone},
    // What the download's own checks and its storage raise: another attempt would not help.
    {"SignatureRefused", Raise<ETrustError>(), true, TRetryCause::rcNone},
    {"DiskFull", Raise<EWriteError>(), true, TRetryCause::rcNone},
    {"TemporaryFileNotMade", Raise<EFCreateError>(), true, TRetryCause::rcNone},
    {"Status407", Status(407), false, TRetryCause::rcNone},
    {"NotAnException", [] { throw 5; }, false, TRetryCause::rcNone},
};

class Causes : public ::testing::TestWithParam<CauseCase> {};

TEST_P(Causes, AreToldApart) {
  std::exception_ptr failure;
  try {
    GetParam().raise();
  } catch (...) {
    failure = std::current_exception();
  }
  EXPECT_EQ(RetryCauseOf(failure, GetParam().bodyStarted), GetParam().cause);
}

INSTANTIATE_TEST_SUITE_P(Failure, Causes, ::testing::ValuesIn(kCauses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RetryPolicy, WaitsDoubleWithUpToAFifthMore) {
  const TRetryPolicy policy;
  EXPECT_EQ(policy.WaitBefore(2, 0.0, std::nullopt), 1000);
  EXPECT_EQ(policy.WaitBefore(3, 0.0, std::nullopt), 2000);
  EXPECT_EQ(policy.WaitBefore(4, 0.5, std::nullopt), 4400);
  EXPECT_EQ(policy.WaitBefore(5, 0.999999, std::nullopt), 9599);
  // Beyond the list the last wait repeats.
  EXPECT_EQ(policy.WaitBefore(9, 0.0, std::nullopt), 8000);
}

TEST(RetryPolicy, RetryAfterReplacesTheWaitUpToAMinute) {
  const TRetryPolicy policy;
  EXPECT_EQ(policy.WaitBefore(2, 0.9, 7000), 7000);
  EXPECT_EQ(policy.WaitBefore(2, 0.9, 0), 0);
  EXPECT_EQ(policy.WaitBefore(2, 0.9, 600000), 60000);
}

TEST(RetryPolicy, RetryAfterIsSecondsOrADate) {
  const TDateTime server = *GMTToLocalDateTime("Tue, 15 Nov 1994 08:12:31 GMT");
  EXPECT_EQ(RetryAfterMilliseconds("120", server), 120000);
  EXPECT_EQ(RetryAfterMilliseconds(" 5 ", server), 5000);
  EXPECT_EQ(RetryAfterMilliseconds("0", server), 0);
  EXPECT_EQ(RetryAfterMilliseconds("Tue, 15 Nov 1994 08:13:01 GMT", server), 30000);
  EXPECT_EQ(RetryAfterMilliseconds("Tuesday, 15-Nov-94 08:12:41 GMT", server), 10000);
  EXPECT_EQ(RetryAfterMilliseconds("Tue, 15 Nov 1994 08:00:00 GMT", server), 0);  // past
  EXPECT_GT(*RetryAfterMilliseconds("99999999999999999999", server), 60000);
  EXPECT_EQ(RetryAfterMilliseconds("", server), std::nullopt);
  EXPECT_EQ(RetryAfterMilliseconds("-5", server), std::nullopt);
  EXPECT_EQ(RetryAfterMilliseconds("5 seconds", server), std::nullopt);
  EXPECT_EQ(RetryAfterMilliseconds("soon", server), std::nullopt);
}

// An answer's header fields as the client parses them.
struct TAnswer {
  explicit TAnswer(std::initializer_list<const char*> lines) {
    for (const char* line : lines)
      Fields.RawHeaders.Add(line);
    Fields.ParseHeaders();
  }
  TIdResponseHeaderInfo Fields;
};

TEST(IfRangeValidator, IsAStrongETagOrAnOldEnoughDate) {
  const char* date = "Date: Tue, 15 Nov 1994 08:12:31 GMT";
  EXPECT_EQ(IfRangeValidator(TAnswer({"ETag: \"abc\"", date}).Fields), "\"abc\"");
  EXPECT_EQ(
      IfRangeValidator(
          TAnswer({"ETag: \"abc\"", "Last-Modified: Tue, 15 Nov 1994 08:00:00 GMT", date}).Fields),
      "\"abc\"");
  // A weak tag vouches for nothing, and forbids the date.
  EXPECT_EQ(IfRangeValidator(
                TAnswer({"ETag: W/\"abc\"", "Last-Modified: Tue, 15 Nov 1994 08:00:00 GMT", date})
                    .Fields),
            "");
  EXPECT_EQ(
      IfRangeValidator(TAnswer({"Last-Modified: Tue, 15 Nov 1994 08:11:31 GMT", date}).Fields),
      "Tue, 15 Nov 1994 08:11:31 GMT");
  EXPECT_EQ(
      IfRangeValidator(TAnswer({"Last-Modified: Tue, 15 Nov 1994 08:11:32 GMT", date}).Fields), "");
  EXPECT_EQ(IfRangeValidator(TAnswer({"Last-Modified: Tue, 15 Nov 1994 08:00:00 GMT"}).Fields), "");
  EXPECT_EQ(IfRangeValidator(TAnswer({"Last-Modified: yesterday", date}).Fields), "");
  EXPECT_EQ(IfRangeValidator(TAnswer({date}).Fields), "");
}

// Which 206 answers continue 4000 bytes held of a 10000-byte copy tagged "v1".
struct ContinuationCase {
  const char* name;
  std::initializer_list<const char*> lines;
  bool continues;
};

void PrintTo(const ContinuationCase& c, std::ostream* os) {
  *os << c.name;
}

const ContinuationCase kContinuations[] = {
    {"TheRestOfTheCopy", {"Content-Range: bytes 4000-9999/10000", "ETag: \"v1\""}, true},
    {"WithoutItsTag", {"Content-Range: bytes 4000-9999/10000"}, true},
    {"UnitsInAnotherCase", {"Content-Range: BYTES 4000-9999/10000"}, true},
    {"FromAnotherByte", {"Content-Range: bytes 3999-9999/10000"}, false},
    {"ShortOfTheEnd", {"Content-Range: bytes 4000-8999/10000"}, false},
    {"OfAnotherLength", {"Content-Range: bytes 4000-10999/11000"}, false},
    {"OfUnknownLength", {"Content-Range: bytes 4000-9999/*"}, false},
    {"InOtherUnits", {"Content-Range: items 4000-9999/10000"}, false},
    {"WithoutARange", {"ETag: \"v1\""}, false},
    {"OfAnotherCopy", {"Content-Range: bytes 4000-9999/10000", "ETag: \"v2\""}, false},
};

class Continuations : public ::testing::TestWithParam<ContinuationCase> {};

TEST_P(Continuations, AreCheckedAgainstWhatIsHeld) {
  TResumeState state;
  state.Remember(TAnswer({"Content-Length: 10000", "ETag: \"v1\""}).Fields, 10000);
  ASSERT_TRUE(state.CanResume(4000));
  const TAnswer answer(GetParam().lines);
  if (GetParam().continues)
    EXPECT_NO_THROW(state.CheckContinuation(answer.Fields, 4000));
  else
    EXPECT_THROW(state.CheckContinuation(answer.Fields, 4000), EResumeRefused);
}

INSTANTIATE_TEST_SUITE_P(Answer, Continuations, ::testing::ValuesIn(kContinuations),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ResumeState, NeedsAValidatorAndAKnownLongerLength) {
  TResumeState state;
  EXPECT_FALSE(state.CanResume(100));
  // Chunks without a length: the probe's length is the copy's.
  state.Remember(TAnswer({"Transfer-Encoding: chunked", "ETag: \"v1\""}).Fields, 5000);
  EXPECT_EQ(state.CompleteLength(), 5000);
  EXPECT_TRUE(state.CanResume(100));
  EXPECT_FALSE(state.CanResume(0));
  EXPECT_FALSE(state.CanResume(5000));
  state.Remember(TAnswer({"Transfer-Encoding: chunked", "ETag: \"v1\""}).Fields, -1);
  EXPECT_FALSE(state.CanResume(100));
  state.Remember(TAnswer({"Content-Length: 5000"}).Fields, 5000);
  EXPECT_FALSE(state.CanResume(100));
  state.Remember(TAnswer({"Content-Length: 5000", "ETag: \"v1\""}).Fields, 5000);
  state.Forget();
  EXPECT_FALSE(state.CanResume(100));
}

}  // namespace
