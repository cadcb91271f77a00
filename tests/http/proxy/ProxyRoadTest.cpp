// The HTTP client through a real proxy: tinyproxy on loopback in front of nginx, both started by
// tools/proxy_test_server.py, which runs this program and hands it the ports. Plain HTTP goes to
// the proxy with the absolute address; HTTPS through a CONNECT tunnel, with TLS inside it. The
// same road natively (OpenSSL) and under Wine (SChannel), over the product's handler.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/MemoryStream.h"
#include "http/IdHTTP.h"
#include "http/ServedTestSupport.h"
#include "http/proxy/IdProxyCredentialProvider.h"
#include "net/IdSSLIOHandlerSocket.h"
#include "net/IdTLSExceptions.h"

namespace {

class ProxyRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    http.SetIOHandler(&tls);
    // A fault that leaves a wait hanging fails here rather than at the run's time limit.
    http.SetReadTimeout(60000);
  }
  // Every request goes through the proxy on the port named by the variable.
  void Through(const char* AProxyVariable) {
    proxyPort = static_cast<uint16_t>(EnvInt(AProxyVariable));
    http.OnSelectProxy = [this](TIdCustomHTTP*, const TIdURI&, TIdProxyConnectionInfo& AProxy) {
      AProxy.ProxyServer = "127.0.0.1";
      AProxy.ProxyPort = proxyPort;
    };
  }
  static std::string FileUrl() {
    return "http://127.0.0.1:" + std::to_string(EnvInt("PLENWICK_PROXY_ORIGIN")) +
           "/files/body.bin";
  }
  // The file on a TLS server, by the name of its port variable; "localhost" is the name its
  // certificate is checked against (the proxy is 127.0.0.1).
  static std::string SecureUrl(const char* AServer = "PLENWICK_PROXY_TLS") {
    return "https://localhost:" + std::to_string(EnvInt(AServer)) + "/files/body.bin";
  }
  static std::string FullBody() {
    return Body(static_cast<size_t>(EnvInt("PLENWICK_PROXY_BODY_SIZE")));
  }
  std::string ProxyText() const { return "127.0.0.1:" + std::to_string(proxyPort); }

  uint16_t proxyPort = 0;
  // Declared first: the client closes it when it goes.
  TIdSSLIOHandlerSocket tls;
  TIdHTTP http;
};

TEST_F(ProxyRoad, PlainHttpArrivesWholeWithItsProgress) {
  Through("PLENWICK_PROXY_OPEN");
  std::vector<int64_t> counts;
  http.OnWork = [&counts](TIdComponent*, TWorkMode mode, int64_t count) {
    if (mode == wmRead) counts.push_back(count);
  };
  http.Head(FileUrl());
  const std::string expected = FullBody();
  EXPECT_EQ(http.Response().ContentLength, static_cast<int64_t>(expected.size()));
  EXPECT_TRUE(counts.empty()) << "the head brings no body";

  TMemoryStream body;
  http.Get(FileUrl(), body);
  ASSERT_EQ(body.Size(), static_cast<int64_t>(expected.size()));
  EXPECT_TRUE(Text(body) == expected) << "the body differs from the served file";
  ASSERT_FALSE(counts.empty());
  EXPECT_EQ(counts.back(), static_cast<int64_t>(expected.size()));
  for (size_t i = 1; i < counts.size(); ++i)
    EXPECT_GT(counts[i], counts[i - 1]);
  // The connection went to the proxy, not to the server.
  EXPECT_EQ(http.Port(), proxyPort);
}

TEST_F(ProxyRoad, ADisconnectDuringTheBodyEndsTheDownloadQuietly) {
  Through("PLENWICK_PROXY_OPEN");
  http.OnWork = [this](TIdComponent*, TWorkMode, int64_t) { http.Disconnect(); };
  TMemoryStream body;
  http.Get(FileUrl(), body);
  EXPECT_GT(body.Size(), 0);
  EXPECT_LT(body.Size(), static_cast<int64_t>(FullBody().size()));
  EXPECT_FALSE(http.Connected());
}

TEST_F(ProxyRoad, AProxyDemandingCredentialsIsNamedWithItsAnswer) {
  Through("PLENWICK_PROXY_AUTH");
  try {
    http.Head(FileUrl());
    FAIL() << "no exception";
  } catch (const EIdHTTPProxyError& e) {
    EXPECT_EQ(e.Message(), "The proxy server " + ProxyText() +
                               " asks for a user name and password: HTTP/1.0 407 Proxy "
                               "Authentication Required.");
    EXPECT_EQ(e.ErrorCode(), 407);
  }
}

TEST_F(ProxyRoad, AProxyWhereNothingListensIsNamedWithTheSocketsAnswer) {
  Through("PLENWICK_PROXY_DEAD");
  try {
    http.Head(FileUrl());
    FAIL() << "no exception";
  } catch (const EIdHTTPProxyError& e) {
    EXPECT_EQ(e.Message(), "The proxy server " + ProxyText() +
                               " could not be reached: Socket Error # 10061\r\nConnection "
                               "refused.");
  }
}

TEST_F(ProxyRoad, HttpsArrivesWholeThroughTheTunnelOnOneConnection) {
  Through("PLENWICK_PROXY_OPEN");
  std::vector<int64_t> counts;
  http.OnWork = [&counts](TIdComponent*, TWorkMode mode, int64_t count) {
    if (mode == wmRead) counts.push_back(count);
  };
  http.Head(SecureUrl());
  const uint16_t localPort = tls.Binding()->Port;
  TMemoryStream body;
  http.Get(SecureUrl(), body);

  const std::string expected = FullBody();
  ASSERT_EQ(body.Size(), static_cast<int64_t>(expected.size()));
  EXPECT_TRUE(Text(body) == expected) << "the body differs from the served file";
  EXPECT_TRUE(tls.TLSActive());
  EXPECT_EQ(http.Port(), proxyPort);
  EXPECT_EQ(tls.Binding()->Port, localPort) << "the Get did not reuse the Head's tunnel";
  ASSERT_FALSE(counts.empty());
  EXPECT_EQ(counts.back(), static_cast<int64_t>(expected.size()));
}

TEST_F(ProxyRoad, PlainAndSecureRequestsThroughOneProxyEachTakeTheirOwnConnection) {
  Through("PLENWICK_PROXY_OPEN");
  http.Head(SecureUrl());
  EXPECT_TRUE(tls.TLSActive());
  http.Head(FileUrl());
  EXPECT_EQ(http.ResponseCode(), 200);
  EXPECT_FALSE(tls.TLSActive()) << "the plain request went into the tunnel";
  http.Head(SecureUrl());
  EXPECT_EQ(http.ResponseCode(), 200);
  EXPECT_TRUE(tls.TLSActive());
}

TEST_F(ProxyRoad, TheCertificateIsCheckedAgainstTheServerNeverTheProxy) {
  Through("PLENWICK_PROXY_OPEN");
  try {
    http.Head(SecureUrl("PLENWICK_PROXY_WRONG_NAME"));
    FAIL() << "no exception";
  } catch (const EIdTLSCertificateNameMismatch& e) {
    EXPECT_EQ(e.Message(), "The certificate of localhost was issued for another name.");
  }
  EXPECT_FALSE(http.Connected());
}

TEST_F(ProxyRoad, ATunnelTheProxyRefusesIsNamedWithItsAnswer) {
  Through("PLENWICK_PROXY_OPEN");
  // The proxy tunnels only to the TLS servers' ports.
  const std::string target = "localhost:" + std::to_string(EnvInt("PLENWICK_PROXY_ORIGIN"));
  try {
    http.Head("https://" + target + "/files/body.bin");
    FAIL() << "no exception";
  } catch (const EIdHTTPProxyError& e) {
    EXPECT_EQ(e.Message(), "The proxy server " + ProxyText() + " did not open a connection to " +
                               target + ": HTTP/1.1 403 Access violation.");
    EXPECT_EQ(e.ErrorCode(), 403);
  }
  EXPECT_FALSE(http.Connected());
}

TEST_F(ProxyRoad, ATunnelForWhichTheProxyDemandsCredentialsIsNamedWithItsAnswer) {
  Through("PLENWICK_PROXY_AUTH");
  try {
    http.Head(SecureUrl());
    FAIL() << "no exception";
  } catch (const EIdHTTPProxyError& e) {
    EXPECT_EQ(e.Message(), "The proxy server " + ProxyText() +
                               " asks for a user name and password: HTTP/1.0 407 Proxy "
                               "Authentication Required.");
    EXPECT_EQ(e.ErrorCode(), 407);
  }
}

// The proxies of tools/ntlm_proxy.py know the user "alice" with the password "s3cret pass". The
// credentials come as the program's store and prompt give them, kept for NTLM (StoredOnes) and
// for Basic (StoredForBasic).
class TRoadCredentials : public TIdProxyCredentialProvider {
 public:
  std::optional<TIdCredentials> Stored(const TIdProxyServer&,
                                       TIdProxyCredentialKind AKind) override {
    return AKind == TIdProxyCredentialKind::pkBasic ? StoredForBasic : StoredOnes;
  }
  std::optional<TIdAskedCredentials> Ask(const TIdProxyServer&, const std::string& AScheme,
                                         bool ARefused) override {
    Asked.push_back(AScheme + (ARefused ? " refused" : ""));
    if (!Answer) return std::nullopt;
    return TIdAskedCredentials{*Answer, true};
  }
  void Store(const TIdProxyServer&, TIdProxyCredentialKind,
             const TIdCredentials& ACredentials) override {
    Kept.push_back(ACredentials.Username + ":" + ACredentials.Password.Text());
  }

  std::optional<TIdCredentials> StoredOnes;
  std::optional<TIdCredentials> StoredForBasic;
  std::optional<TIdCredentials> Answer;
  std::vector<std::string> Asked;
  std::vector<std::string> Kept;
};

class AuthenticatingProxyRoad : public ProxyRoad {
 protected:
  void SetUp() override {
    ProxyRoad::SetUp();
    http.SetHTTPOptions({hoForceEncodeParams, hoInProcessAuth});
    http.ProxyAuthenticator().SetCredentialProvider(&credentials);
  }
  static TIdCredentials Alice(const char* APassword = "s3cret pass") {
    return TIdCredentials{"alice", APassword};
  }
  // The whole file, plainly and through the tunnel, on the proxy's word alone.
  void FetchBoth() {
    const std::string expected = FullBody();
    for (const std::string& url : {FileUrl(), SecureUrl()}) {
      SCOPED_TRACE(url);
      http.Head(url);
      EXPECT_EQ(http.Response().ContentLength, static_cast<int64_t>(expected.size()));
      TMemoryStream body;
      http.Get(url, body);
      EXPECT_TRUE(Text(body) == expected) << "the body differs from the served file";
    }
  }

  TRoadCredentials credentials;
};

// The strongest scheme the client speaks here: NTLM through the system's package under Wine,
// Basic natively (the proxy offers both).
TEST_F(AuthenticatingProxyRoad, StoredCredentialsCarryPlainRequestsAndTheTunnel) {
  Through("PLENWICK_PROXY_NTLM");
  credentials.StoredOnes = Alice();
  credentials.StoredForBasic = Alice();
  FetchBoth();
  EXPECT_TRUE(credentials.Asked.empty());
}

// The right password, kept for NTLM only: a proxy that offers Basic alone never gets it (were
// it sent, the proxy would let the request through), and a run that asks nobody ends with the
// proxy's answer. Kept for Basic on that proxy, it goes.
TEST_F(AuthenticatingProxyRoad, ABasicOnlyProxyGetsOnlyCredentialsKeptForBasic) {
  Through("PLENWICK_PROXY_BASIC_ONLY");
  credentials.StoredOnes = Alice();
  try {
    http.Head(FileUrl());
    FAIL() << "the credentials kept for NTLM went with Basic";
  } catch (const EIdHTTPProxyError& e) {
    EXPECT_EQ(e.Message(), "The proxy server " + ProxyText() +
                               " asks for a user name and password: HTTP/1.1 407 Proxy "
                               "Authentication Required.");
  }
  EXPECT_EQ(credentials.Asked, (std::vector<std::string>{"Basic"}));
  credentials.StoredForBasic = Alice();
  FetchBoth();
  EXPECT_EQ(credentials.Asked.size(), 1u);
}

#ifdef _WIN32
// Under Wine the signed-in user's handshake cannot complete (no cached credentials), so these
// run the same code with credentials kept or typed, through a proxy that offers NTLM alone.
TEST_F(AuthenticatingProxyRoad, NTLMWithStoredCredentials) {
  Through("PLENWICK_PROXY_NTLM_ONLY");
  credentials.StoredOnes = Alice();
  FetchBoth();
  EXPECT_TRUE(credentials.Asked.empty());
}

TEST_F(AuthenticatingProxyRoad, AWrongStoredPasswordLeadsToThePromptWhoseAnswerIsKept) {
  Through("PLENWICK_PROXY_NTLM_ONLY");
  credentials.StoredOnes = Alice("old password");
  credentials.Answer = Alice();
  FetchBoth();
  EXPECT_EQ(credentials.Asked, (std::vector<std::string>{"NTLM refused"}));
  EXPECT_EQ(credentials.Kept, (std::vector<std::string>{"alice:s3cret pass"}));
}

TEST_F(AuthenticatingProxyRoad, AProxyThatClosesBetweenLegsOnceGetsTheHandshakeAgain) {
  Through("PLENWICK_PROXY_NTLM_CLOSING");
  credentials.StoredOnes = Alice();
  http.Head(FileUrl());
  EXPECT_EQ(http.ResponseCode(), 200);
}

TEST_F(AuthenticatingProxyRoad, AProxyThatAlwaysClosesBetweenLegsIsNamed) {
  Through("PLENWICK_PROXY_NTLM_BROKEN");
  credentials.StoredOnes = Alice();
  try {
    http.Head(FileUrl());
    FAIL() << "no exception";
  } catch (const EIdHTTPProxyError& e) {
    EXPECT_EQ(e.Message(), "The proxy server " + ProxyText() +
                               " closed the connection in the middle of the NTLM sign-in, also "
                               "when it was started again: HTTP/1.1 407 Proxy Authentication "
                               "Required.");
  }
}
#else
TEST_F(AuthenticatingProxyRoad, NTLMAloneIsNamedWhereTheClientSpeaksOnlyBasic) {
  Through("PLENWICK_PROXY_NTLM_ONLY");
  credentials.StoredOnes = Alice();
  try {
    http.Head(FileUrl());
    FAIL() << "no exception";
  } catch (const EIdHTTPProxyError& e) {
    EXPECT_EQ(e.Message(), "The proxy server " + ProxyText() +
                               " asks for a sign-in by NTLM, which this program cannot give: "
                               "HTTP/1.1 407 Proxy Authentication Required.");
  }
}
#endif

TEST_F(AuthenticatingProxyRoad, ThePromptsAnswerIsTakenAndKeptAndCancelGivesTheProxysAnswer) {
  Through("PLENWICK_PROXY_NTLM");
  // Nothing kept, and the user cancels.
  try {
    http.Head(SecureUrl());
    FAIL() << "no exception";
  } catch (const EIdHTTPProxyError& e) {
    EXPECT_EQ(e.Message(), "The proxy server " + ProxyText() +
                               " asks for a user name and password: HTTP/1.1 407 Proxy "
                               "Authentication Required.");
  }
  EXPECT_EQ(credentials.Asked.size(), 1u);
  credentials.Answer = Alice();
  FetchBoth();
  EXPECT_EQ(credentials.Kept, (std::vector<std::string>{"alice:s3cret pass"}));
}

}  // namespace
