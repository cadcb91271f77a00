// The HTTP client over the TLS handler against real servers on loopback: nginx with TLS in
// every way the client must meet, and small servers of tools/tls_test_server.py (ones that
// close without the TLS goodbye after each kind of body, one that sends everything in small
// pieces, one that brings a record more slowly than the read time-out). That script runs this
// program and hands it the ports; natively OpenSSL does the TLS, under Wine SChannel.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <typeinfo>
#include <vector>

#include "base/MemoryStream.h"
#include "http/IdHTTP.h"
#include "http/ServedTestSupport.h"
#include "net/IdExceptionCore.h"
#include "net/IdSSLIOHandlerSocket.h"
#include "net/IdTLSExceptions.h"

namespace {

class HTTPS : public ::testing::Test {
 protected:
  void SetUp() override {
    http.SetIOHandler(&tls);
    http.SetHandleRedirects(true);
    // A fault that leaves a wait hanging fails here rather than at the run's time limit.
    http.SetReadTimeout(60000);
  }
  // A URL on one of the servers, by the name of its port variable.
  static std::string Url(const char* server, const std::string& path,
                         const std::string& scheme = "https") {
    return scheme + "://localhost:" + std::to_string(EnvInt(server)) + path;
  }
  static std::string FullBody() {
    return Body(static_cast<size_t>(EnvInt("PLENWICK_TLS_BODY_SIZE")));
  }

  // Declared first: the client closes it when it goes.
  TIdSSLIOHandlerSocket tls;
  TIdHTTP http;
};

struct DownloadCase {
  const char* name;
  const char* scheme;
  const char* server;
  const char* path;
};

void PrintTo(const DownloadCase& c, std::ostream* os) {
  *os << c.name;
}

class HTTPSDownload : public HTTPS, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(HTTPSDownload, ArrivesByteForByteInBlocksOnOneConnection) {
  const DownloadCase& c = GetParam();
  const std::string url = Url(c.server, c.path, c.scheme);
  std::vector<int64_t> counts;
  http.OnWork = [&counts](TIdComponent*, TWorkMode mode, int64_t count) {
    if (mode == wmRead) counts.push_back(count);
  };
  // What the handler tells of the secure session, for a log.
  std::vector<std::string> statusTexts;
  tls.OnStatus = [&statusTexts](TIdComponent*, TIdStatus status, const std::string& text) {
    if (status == hsStatusText) statusTexts.push_back(text);
  };
  http.Head(url);
  const uint16_t localPort = tls.Binding()->Port;
  TMemoryStream body;
  http.Get(url, body);
  if (std::string(c.scheme) == "https") {
    ASSERT_EQ(statusTexts.size(), 1u) << "one session, told once";
    EXPECT_TRUE(statusTexts[0].starts_with("Secure connection: TLS 1.")) << statusTexts[0];
    EXPECT_NE(statusTexts[0].find("certificate of \"CN=localhost\", issued by \"CN="),
              std::string::npos)
        << statusTexts[0];
    EXPECT_NE(statusTexts[0].find(", valid until 2"), std::string::npos) << statusTexts[0];
    const TIdTLSFacts facts = tls.TLSFacts();
    EXPECT_TRUE(facts.Protocol == "TLS 1.2" || facts.Protocol == "TLS 1.3") << facts.Protocol;
    EXPECT_EQ(facts.Subject, "CN=localhost");
    EXPECT_TRUE(facts.NotAfter.ends_with(" UTC")) << facts.NotAfter;
  } else {
    EXPECT_TRUE(statusTexts.empty());
  }

  const std::string expected = FullBody();
  ASSERT_EQ(body.Size(), static_cast<int64_t>(expected.size()));
  EXPECT_TRUE(Text(body) == expected) << "the body differs from the served file";
  EXPECT_EQ(tls.TLSActive(), std::string(c.scheme) == "https");
  EXPECT_TRUE(http.Connected());
  EXPECT_EQ(tls.Binding()->Port, localPort) << "the Get did not reuse the Head's connection";
  if (std::string(c.path).find("chunked") != std::string::npos) {
    EXPECT_EQ(http.Response().ContentLength, -1);
    return;
  }
  EXPECT_EQ(http.Response().ContentLength, static_cast<int64_t>(expected.size()));
  // Blocks of 32768 bytes as they complete, after what came with the headers.
  ASSERT_FALSE(counts.empty());
  EXPECT_EQ(counts.back(), static_cast<int64_t>(expected.size()));
  for (size_t i = 1; i < counts.size(); ++i) {
    EXPECT_GT(counts[i], counts[i - 1]);
    EXPECT_LE(counts[i] - counts[i - 1], 32768);
  }
  EXPECT_LE(counts.size(), expected.size() / 32768 + 2);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, HTTPSDownload,
    ::testing::Values(DownloadCase{"KnownLength", "https", "PLENWICK_TLS_GOOD", "/files/body.bin"},
                      DownloadCase{"Chunked", "https", "PLENWICK_TLS_GOOD", "/chunked/body.bin"},
                      DownloadCase{"PlainThroughTheSameHandler", "http", "PLENWICK_TLS_PLAIN",
                                   "/files/body.bin"}),
    [](const ::testing::TestParamInfo<DownloadCase>& info) { return info.param.name; });

struct RefusalCase {
  const char* name;
  const char* server;
  std::string message;  // "%s" stands for the host
  bool (*isExpectedClass)(const EIdTLSError&);
};

template <typename E>
bool Is(const EIdTLSError& e) {
  return dynamic_cast<const E*>(&e) != nullptr;
}

void PrintTo(const RefusalCase& c, std::ostream* os) {
  *os << c.name;
}

class HTTPSRefusal : public HTTPS, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(HTTPSRefusal, FailsWithItsOwnClassAndTextAndWritesNothing) {
  const RefusalCase& c = GetParam();
  TMemoryStream body;
  body.WriteBuffer("pre:", 4);
  try {
    http.Get(Url(c.server, "/files/body.bin"), body);
    FAIL() << "no exception";
  } catch (const EIdTLSError& e) {
    EXPECT_TRUE(c.isExpectedClass(e)) << typeid(e).name();
    std::string message = c.message;
    message.replace(message.find("%s"), 2, "localhost");
    EXPECT_EQ(e.Message(), message);
  }
  EXPECT_EQ(Text(body), "pre:");
  EXPECT_FALSE(http.Connected());
  EXPECT_FALSE(tls.TLSActive());
}

INSTANTIATE_TEST_SUITE_P(
    Servers, HTTPSRefusal,
    ::testing::Values(
        RefusalCase{"UntrustedAuthority", "PLENWICK_TLS_UNTRUSTED",
                    "The certificate of %s is not trusted: no authority this system trusts "
                    "issued it.",
                    Is<EIdTLSCertificateUntrusted>},
        RefusalCase{"WrongName", "PLENWICK_TLS_WRONG_NAME",
                    "The certificate of %s was issued for another name.",
                    Is<EIdTLSCertificateNameMismatch>},
        RefusalCase{"Expired", "PLENWICK_TLS_EXPIRED",
                    "The certificate of %s has expired or is not yet valid.",
                    Is<EIdTLSCertificateExpired>},
        RefusalCase{"OnlyTLS10", "PLENWICK_TLS_TLS10",
                    "The secure connection to %s failed: the TLS handshake did not succeed.",
                    Is<EIdTLSHandshakeFailed>},
        RefusalCase{"PlainHTTPServer", "PLENWICK_TLS_PLAIN",
                    "The secure connection to %s failed: the TLS handshake did not succeed.",
                    Is<EIdTLSHandshakeFailed>}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST_F(HTTPS, RedirectChainFromHttpToHttpsToAMirrorEndsAtTheMirror) {
  TMemoryStream body;
  http.Get(Url("PLENWICK_TLS_PLAIN", "/to-https", "http"), body);
  EXPECT_TRUE(Text(body) == FullBody());
  EXPECT_EQ(http.RedirectCount(), 2);
  EXPECT_EQ(http.URL().URI(), Url("PLENWICK_TLS_MIRROR", "/files/body.bin"));
  EXPECT_TRUE(tls.TLSActive());

  // The size probe ends at the same place.
  http.Head(Url("PLENWICK_TLS_PLAIN", "/to-https", "http"));
  EXPECT_EQ(http.Response().ContentLength, static_cast<int64_t>(FullBody().size()));
  EXPECT_EQ(http.URL().URI(), Url("PLENWICK_TLS_MIRROR", "/files/body.bin"));
}

TEST_F(HTTPS, ARedirectFromHttpsToHttpIsRefused) {
  TMemoryStream body;
  body.WriteBuffer("pre:", 4);
  try {
    http.Get(Url("PLENWICK_TLS_GOOD", "/to-plain"), body);
    FAIL() << "no exception";
  } catch (const EIdHTTPInsecureRedirect& e) {
    EXPECT_EQ(e.Message(), "A redirect from HTTPS to an insecure URL was refused.");
  }
  EXPECT_EQ(Text(body), "pre:");
  EXPECT_EQ(http.RedirectCount(), 1);
  EXPECT_EQ(http.URL().Protocol, "https");
}

TEST_F(HTTPS, TooManyRedirectsFailWithTheLastAnswer) {
  try {
    http.Head(Url("PLENWICK_TLS_GOOD", "/loop"));
    FAIL() << "no exception";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.ErrorCode(), 302);
  }
  EXPECT_EQ(http.RedirectCount(), 15);
}

TEST_F(HTTPS, ACloseFromTheWorkEventEndsAKnownLengthBodyQuietly) {
  bool closed = false;
  http.OnWork = [this, &closed](TIdComponent*, TWorkMode, int64_t) {
    if (!closed) http.Disconnect();
    closed = true;
  };
  TMemoryStream body;
  http.Get(Url("PLENWICK_TLS_GOOD", "/files/body.bin"), body);
  const std::string expected = FullBody();
  EXPECT_TRUE(closed);
  EXPECT_GT(body.Size(), 0);
  EXPECT_LT(body.Size(), static_cast<int64_t>(expected.size()));
  EXPECT_TRUE(Text(body) == expected.substr(0, static_cast<size_t>(body.Size())));
  EXPECT_FALSE(http.Connected());
}

// A close without the TLS goodbye: the body's framing decides. A length or chunks that did not
// end are a cut; a body that only the close can end is a cut too, since anyone on the way could
// have closed it; a length that was complete needs no goodbye.
struct GoodbyeCase {
  const char* name;
  const char* server;
  const char* failure;  // "" for none
  std::string message;  // "%half" and "%all" stand for the counts of the served body
  bool half;            // half the body arrived, else all of it
};

void PrintTo(const GoodbyeCase& c, std::ostream* os) {
  *os << c.name;
}

class HTTPSWithoutGoodbye : public HTTPS, public ::testing::WithParamInterface<GoodbyeCase> {};

TEST_P(HTTPSWithoutGoodbye, TheFramingDecides) {
  const GoodbyeCase& c = GetParam();
  const std::string expected = FullBody();
  const std::string half = std::to_string(expected.size() / 2);
  std::string failure;
  std::string message;
  TMemoryStream body;
  try {
    http.Get(Url(c.server, "/x"), body);
  } catch (const EIdHTTPCutOff& e) {
    failure = "EIdHTTPCutOff";
    message = e.Message();
  } catch (const EIdTLSCutOff& e) {
    failure = "EIdTLSCutOff";
    message = e.Message();
    EXPECT_EQ(e.Received(), static_cast<int64_t>(expected.size()));
  }
  EXPECT_EQ(failure, c.failure);
  std::string wanted = c.message;
  if (wanted.find("%half") != std::string::npos) wanted.replace(wanted.find("%half"), 5, half);
  if (wanted.find("%all") != std::string::npos)
    wanted.replace(wanted.find("%all"), 4, std::to_string(expected.size()));
  EXPECT_EQ(message, wanted);
  EXPECT_TRUE(Text(body) == expected.substr(0, c.half ? expected.size() / 2 : expected.size()))
      << body.Size() << " bytes";
  if (*c.failure) {
    EXPECT_FALSE(http.Connected());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, HTTPSWithoutGoodbye,
    ::testing::Values(
        GoodbyeCase{"InsideALength", "PLENWICK_TLS_TRUNCATE", "EIdHTTPCutOff",
                    "The server closed the connection after %half of %all bytes.", true},
        GoodbyeCase{"InsideChunks", "PLENWICK_TLS_CUT_CHUNKED", "EIdHTTPCutOff",
                    "Connection Closed Gracefully.", true},
        GoodbyeCase{"WhereOnlyTheCloseEndsTheBody", "PLENWICK_TLS_CUT_UNFRAMED", "EIdTLSCutOff",
                    "The secure connection was cut off before the server ended it.", false},
        GoodbyeCase{"AfterAWholeLength", "PLENWICK_TLS_NO_GOODBYE", "", "", false}),
    [](const ::testing::TestParamInfo<GoodbyeCase>& info) { return info.param.name; });

// The read time-out bounds the silence between bytes, not the time a whole record takes: here a
// record takes several times the time-out, with no pause near it.
TEST_F(HTTPS, ARecordSlowerThanTheReadTimeOutArrivesWhole) {
  http.SetReadTimeout(1000);
  TMemoryStream body;
  http.Get(Url("PLENWICK_TLS_SLOW", "/x"), body);
  EXPECT_TRUE(Text(body) == Body(static_cast<size_t>(EnvInt("PLENWICK_TLS_SLOW_SIZE"))));
}

TEST_F(HTTPS, AServerThatClosesBeforeAnsweringIsAGracefulClose) {
  try {
    http.Get(Url("PLENWICK_TLS_GOOD", "/cut"), nullptr);
    FAIL() << "no exception";
  } catch (const EIdConnClosedGracefully& e) {
    EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
  }
  EXPECT_FALSE(http.Connected());
}

TEST_F(HTTPS, RecordsInSmallPiecesAndTheGoodbyeEndTheBody) {
  TMemoryStream body;
  http.Get(Url("PLENWICK_TLS_DRIBBLE", "/x"), body);
  EXPECT_TRUE(Text(body) == Body(static_cast<size_t>(EnvInt("PLENWICK_TLS_DRIBBLE_SIZE"))));
  EXPECT_FALSE(http.Connected());
}

}  // namespace
