// The download client's resume against nginx's own Range and If-Range, behind a forwarder that
// cuts the connections (tools/cutting_forwarder.py): in the clear, and over TLS, where each cut
// falls inside a record. tools/tls_test_server.py runs this program with the ports; natively
// OpenSSL does the TLS, under Wine SChannel.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/MemoryStream.h"
#include "base/Texts.h"
#include "download/HTTPDownloadClient.h"
#include "http/ServedTestSupport.h"
#include "net/IdTLSExceptions.h"

namespace {

class ServedResume : public ::testing::Test {
 protected:
  void SetUp() override {
    client.HTTP().SetReadTimeout(60000);
    client.Random = [] { return 0.0; };
    client.OnRetryWait = [this](const TRetryNotice& n) {
      notices.push_back(n);
      return true;
    };
    client.OnWork = [this](int64_t count) { counts.push_back(count); };
  }
  static std::string Url(const char* server, const char* scheme) {
    return std::string(scheme) + "://localhost:" + std::to_string(EnvInt(server)) +
           "/files/body.bin";
  }
  void ExpectResumedTwiceFromNginx(const std::string& url) {
    client.Head(url);
    client.Get(url, body, "");
    const std::string full = Body(static_cast<size_t>(EnvInt("PLENWICK_TLS_BODY_SIZE")));
    EXPECT_TRUE(Text(body) == full) << "the body differs";
    // Each attempt continued what the one before held: nginx answered the ranges with 206.
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_GT(notices[0].Held, 0);
    EXPECT_GT(notices[1].Held, notices[0].Held);
    for (size_t i = 1; i < counts.size(); ++i)
      EXPECT_GE(counts[i], counts[i - 1]) << "the bar went back at " << i;
    EXPECT_EQ(counts.back(), static_cast<int64_t>(full.size()));
  }

  THTTPDownloadClient client;
  TMemoryStream body;
  std::vector<TRetryNotice> notices;
  std::vector<int64_t> counts;
};

TEST_F(ServedResume, InTheClearContinuesWhereTheCutsFell) {
  ExpectResumedTwiceFromNginx(Url("PLENWICK_TLS_CUT_PLAIN", "http"));
}

TEST_F(ServedResume, OverTLSContinuesAfterCutsInsideRecords) {
  ExpectResumedTwiceFromNginx(Url("PLENWICK_TLS_CUT_GOOD", "https"));
}

// A body that only the close ends, cut without the TLS goodbye each time: asked for again, and
// after the last attempt the cut is the failure.
TEST_F(ServedResume, ACutWithoutTheGoodbyeIsAskedForAgain) {
  client.Retry.MaxAttempts = 2;
  const std::string url = Url("PLENWICK_TLS_CUT_UNFRAMED", "https");
  try {
    client.Get(url, body, "");
    ADD_FAILURE() << "the download succeeded";
  } catch (const EIdTLSCutOff& e) {
    EXPECT_EQ(e.Message(), Text(RSTLSCutOff));
  }
  EXPECT_EQ(notices.size(), 1u);
}

// A certificate nobody trusts is refused the same way every time: no second attempt.
TEST_F(ServedResume, ACertificateFailureIsNotRetried) {
  EXPECT_THROW(client.Head(Url("PLENWICK_TLS_UNTRUSTED", "https")), EIdTLSCertificateUntrusted);
  EXPECT_TRUE(notices.empty());
}

}  // namespace
