// The client through a proxy that asks who the user is, played by the scripted loopback server:
// the scheme taken, the order of the credentials tried, every leg of a handshake on one
// connection, the tunnel's handshake before its 200, and the credentials going nowhere else.
// Negotiate and NTLM run on a fake security package whose tokens say what they carry.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/MemoryStream.h"
#include "http/HTTPTestSupport.h"
#include "http/IdHTTP.h"
#include "http/IdSSPIAuthentication.h"
#include "http/ServedTestSupport.h"
#include "net/IdSSLIOHandlerSocket.h"

namespace {

// The fake package's tokens: "hello <who>" first, then "answer <who> <challenge>", where who is
// "signed-in" or "user:password".
class TFakeContext : public TIdSecurityContext {
 public:
  explicit TFakeContext(std::string AWho) : FWho(std::move(AWho)) {}
  TIdBytes Step(const TIdBytes& AServerToken, bool& AComplete) override {
    const std::string server(AServerToken.begin(), AServerToken.end());
    std::string out;
    if (server.empty()) {
      out = "hello " + FWho;
      AComplete = false;
    } else {
      if (server.rfind("challenge ", 0) != 0) throw EIdSecurityContextError("bad challenge");
      out = "answer " + FWho + " " + server;
      AComplete = true;
    }
    return TIdBytes(out.begin(), out.end());
  }

 private:
  std::string FWho;
};

// What the fake package was asked for.
struct TPackageLog {
  std::vector<std::string> Contexts;  // "package target who"
  std::vector<std::string> Missing;   // packages the "system" lacks
};

TIdSecurityContextFactory FakeContexts(std::shared_ptr<TPackageLog> ALog) {
  return [ALog](const std::string& APackage, const std::string& ATarget,
                const TIdCredentials* AIdentity) -> std::unique_ptr<TIdSecurityContext> {
    for (const std::string& missing : ALog->Missing)
      if (missing == APackage) throw EIdSecurityPackageMissing("no " + APackage);
    const std::string who =
        AIdentity ? AIdentity->Username + ":" + AIdentity->Password.Text() : "signed-in";
    ALog->Contexts.push_back(APackage + " " + ATarget + " " + who);
    return std::make_unique<TFakeContext>(who);
  };
}

const char* KindName(TIdProxyCredentialKind AKind) {
  return AKind == TIdProxyCredentialKind::pkBasic ? "basic" : "sign-in";
}

// The program's store and prompt, played.
class TPlayedCredentials : public TIdProxyCredentialProvider {
 public:
  std::optional<TIdCredentials> Stored(const TIdProxyServer&,
                                       TIdProxyCredentialKind AKind) override {
    ++StoredAsked;
    return AKind == TIdProxyCredentialKind::pkBasic ? StoredForBasic : StoredCredentials;
  }
  std::optional<TIdAskedCredentials> Ask(const TIdProxyServer& AProxy, const std::string& AScheme,
                                         bool ARefused) override {
    Asked.push_back(AProxy.Text() + " " + AScheme + (ARefused ? " refused" : ""));
    if (Answers.empty()) return std::nullopt;
    TIdAskedCredentials answer = Answers.front();
    Answers.erase(Answers.begin());
    return answer;
  }
  void Store(const TIdProxyServer& AProxy, TIdProxyCredentialKind AKind,
             const TIdCredentials& ACredentials) override {
    Kept.push_back(AProxy.Text() + " " + KindName(AKind) + " " + ACredentials.Username + ":" +
                   ACredentials.Password.Text());
  }

  std::optional<TIdCredentials> StoredCredentials;  // kept for NTLM and Negotiate
  std::optional<TIdCredentials> StoredForBasic;
  std::vector<TIdAskedCredentials> Answers;  // none left: cancel
  int StoredAsked = 0;
  std::vector<std::string> Asked;
  std::vector<std::string> Kept;
};

std::string Decoded(const std::string& ABase64) {
  std::string bytes;
  return Base64Decode(ABase64, bytes) ? bytes : "(no base64)";
}

// A proxy that checks who the user is: it offers the schemes of Offer, takes the fake package's
// tokens (and Basic) for Accepted ("signed-in" or "user:password"), ties each handshake to its
// connection (which it then takes as authenticated), and answers an accepted request with 200. Each
// head it received is logged as
// "<connection> <request line> | <Proxy-Authorization, decoded>".
struct TAuthProxy {
  std::string Offer =
      "Proxy-Authenticate: Negotiate\r\nProxy-Authenticate: NTLM\r\n"
      "Proxy-Authenticate: Basic realm=\"office\"\r\n";
  std::string Accepted = "signed-in";
  // What Basic takes; empty: Accepted.
  std::string AcceptedBasic;
  // Connections from this index on offer Basic alone, as a machine on the way to the proxy that
  // takes over would (-1: none).
  int BasicOnlyFrom = -1;
  // Connections (by index) closed right after their challenge was sent.
  std::vector<int> CloseAfterChallenge;
  // Requests after a 200 on a CONNECT end the connection (TLS would start there).
  std::shared_ptr<THeadLog> Log = std::make_shared<THeadLog>();

  TLoopbackServer::TScript Script() const {
    return [self = *this](TLoopbackPeer& peer, int index) {
      // A handshake authenticates its connection; Basic goes with every request.
      bool authenticated = false;
      for (;;) {
        const std::string head = ReadRequestHead(peer);
        if (head.empty()) return;
        const std::string line = head.substr(0, head.find("\r\n"));
        std::string auth;
        if (const size_t at = head.find("\r\nProxy-Authorization: "); at != std::string::npos) {
          const size_t start = at + 23;
          auth = head.substr(start, head.find("\r\n", start) - start);
        }
        const size_t space = auth.find(' ');
        const std::string scheme = auth.substr(0, space);
        const std::string token = space == std::string::npos ? "" : Decoded(auth.substr(space + 1));
        self.Log->Add(std::to_string(index) + " " + line + " | " + scheme +
                      (token.empty() ? "" : " " + token));
        // An answer to HEAD has no body.
        const bool noBody = line.rfind("HEAD ", 0) == 0;
        const bool basicOnly = self.BasicOnlyFrom >= 0 && index >= self.BasicOnlyFrom;
        const std::string refuse =
            "HTTP/1.1 407 Proxy Authentication Required\r\n" +
            (basicOnly ? "Proxy-Authenticate: Basic realm=\"x\"\r\n" : self.Offer) +
            "Content-Length: 6\r\n\r\n" + (noBody ? "" : "denied");
        bool ok = false;
        if (scheme.empty()) {
          ok = authenticated;
        } else if (scheme == "Basic") {
          ok = token == (self.AcceptedBasic.empty() ? self.Accepted : self.AcceptedBasic);
        } else if (!scheme.empty() && token.rfind("hello ", 0) == 0) {
          const std::string challenge = "challenge " + std::to_string(index);
          std::string encoded = Base64Encode(challenge);
          peer.Send("HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: " + scheme +
                    " " + encoded + "\r\nContent-Length: 0\r\n\r\n");
          for (int closing : self.CloseAfterChallenge)
            if (closing == index) return;
          continue;
        } else if (!scheme.empty()) {
          // The answer must name this connection's challenge.
          ok = token == "answer " + self.Accepted + " challenge " + std::to_string(index);
          authenticated = ok;
        }
        if (!ok) {
          peer.Send(refuse);
          continue;
        }
        if (line.rfind("CONNECT ", 0) == 0) {
          peer.Send("HTTP/1.1 200 Connection established\r\n\r\n");
          return;
        }
        peer.Send(std::string("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n") +
                  (noBody ? "" : "ok"));
      }
    };
  }
};

class HTTPProxyAuth : public ::testing::Test {
 protected:
  void SetUp() override {
    http.SetHTTPOptions({hoForceEncodeParams, hoInProcessAuth});
    http.ProxyAuthenticator().SetCredentialProvider(&credentials);
    http.ProxyAuthenticator().SetSchemeMaker(
        [packages = packages](const std::string& AScheme) -> std::unique_ptr<TIdAuthentication> {
          if (AScheme == "Negotiate" || AScheme == "NTLM")
            return std::make_unique<TIdSSPIAuthentication>(AScheme, FakeContexts(packages));
          const TIdAuthenticationClass make = FindAuthClass(AScheme);
          return make ? make() : nullptr;
        });
  }
  void Serve(const TAuthProxy& AProxy) {
    log = AProxy.Log;
    proxy = std::make_unique<TLoopbackServer>(AProxy.Script());
    http.OnSelectProxy = [this](TIdCustomHTTP*, const TIdURI& AURI, TIdProxyConnectionInfo& AP) {
      const bool proxied = AURI.Host == "dist.example";
      AP.ProxyServer = proxied ? "127.0.0.1" : "";
      AP.ProxyPort = proxied ? proxy->Port() : 0;
    };
  }
  std::string ProxyText() const { return "127.0.0.1:" + std::to_string(proxy->Port()); }
  static TIdAskedCredentials Typed(const char* AUser, const char* APassword, bool ARemember) {
    TIdAskedCredentials answer;
    answer.Credentials = {AUser, APassword};
    answer.Remember = ARemember;
    return answer;
  }

  std::shared_ptr<TPackageLog> packages = std::make_shared<TPackageLog>();
  TPlayedCredentials credentials;
  std::shared_ptr<THeadLog> log;
  std::unique_ptr<TLoopbackServer> proxy;
  TIdSSLIOHandlerSocket tls;
  TIdHTTP http;
};

const char* const kHead = "HEAD http://dist.example/a HTTP/1.1";

TEST_F(HTTPProxyAuth, TheSignedInUserNegotiatesOnOneConnectionWithoutAsking) {
  Serve({});
  http.Head("http://dist.example/a");
  EXPECT_EQ(http.ResponseCode(), 200);
  EXPECT_EQ(log->Heads(),
            (std::vector<std::string>{
                std::string("0 ") + kHead + " | ",
                std::string("0 ") + kHead + " | Negotiate hello signed-in",
                std::string("0 ") + kHead + " | Negotiate answer signed-in challenge 0",
            }));
  EXPECT_EQ(packages->Contexts, (std::vector<std::string>{"Negotiate HTTP/127.0.0.1 signed-in"}));
  EXPECT_EQ(credentials.StoredAsked, 0);
  EXPECT_TRUE(credentials.Asked.empty());

  // The connection stays authenticated: the next request carries nothing.
  http.Head("http://dist.example/a");
  EXPECT_EQ(log->Heads().back(), std::string("0 ") + kHead + " | ");
  EXPECT_EQ(proxy->Accepted(), 1);
}

TEST_F(HTTPProxyAuth, StoredThenAskedCredentialsFollowTheSignedInUser) {
  TAuthProxy p;
  p.Offer = "Proxy-Authenticate: NTLM\r\n";
  p.Accepted = "ACME\\alice:right";
  Serve(p);
  credentials.StoredCredentials = TIdCredentials{"ACME\\alice", "wrong"};
  credentials.Answers = {Typed("ACME\\alice", "right", true)};
  // What a log is told: the proxy, the scheme and where the credentials came from, never whose
  // they are.
  std::vector<std::string> told;
  http.ProxyAuthenticator().OnSignIn = [&told](const std::string& AText) { told.push_back(AText); };
  TMemoryStream body;
  http.Get("http://dist.example/a", body);
  EXPECT_EQ(Text(body), "ok");

  std::vector<std::string> sent;
  for (const std::string& head : log->Heads())
    sent.push_back(head.substr(head.find(" | ") + 3));
  EXPECT_EQ(sent, (std::vector<std::string>{
                      "",
                      "NTLM hello signed-in",
                      "NTLM answer signed-in challenge 0",
                      "NTLM hello ACME\\alice:wrong",
                      "NTLM answer ACME\\alice:wrong challenge 0",
                      "NTLM hello ACME\\alice:right",
                      "NTLM answer ACME\\alice:right challenge 0",
                  }));
  EXPECT_EQ(proxy->Accepted(), 1) << "every leg on the one connection";
  EXPECT_EQ(credentials.Asked, (std::vector<std::string>{ProxyText() + " NTLM refused"}));
  EXPECT_EQ(credentials.Kept,
            (std::vector<std::string>{ProxyText() + " sign-in ACME\\alice:right"}));

  // What worked serves the next call on a new connection without asking anyone.
  http.Disconnect();
  http.Get("http://dist.example/a", body);
  EXPECT_EQ(credentials.Asked.size(), 1u);
  EXPECT_EQ(credentials.StoredAsked, 1);
  EXPECT_EQ(log->Heads().back(),
            "1 GET http://dist.example/a HTTP/1.1 | NTLM answer ACME\\alice:right challenge 1");
  const std::string to = " the proxy " + ProxyText() + " with NTLM and the ";
  EXPECT_EQ(told, (std::vector<std::string>{
                      "Signing in to" + to + "signed-in user",
                      "Signing in to" + to + "credentials kept for it",
                      "Signing in to" + to + "credentials the user typed",
                      "Signed in to" + to + "credentials the user typed",
                      "Signing in to" + to + "credentials that worked before",
                      "Signed in to" + to + "credentials that worked before",
                  }));
}

TEST_F(HTTPProxyAuth, BasicIsAskedForAtMostThreeTimesAndCancelEndsWithTheProxysAnswer) {
  struct Case {
    std::vector<TIdAskedCredentials> answers;
    size_t asked;
  };
  for (const Case& c : {Case{{}, 1}, Case{{Typed("a", "1", false), Typed("a", "2", false),
                                           Typed("a", "3", false), Typed("a", "4", false)},
                                          3}}) {
    SCOPED_TRACE(c.asked);
    TAuthProxy p;
    p.Offer = "Proxy-Authenticate: Basic realm=\"office\"\r\n";
    p.Accepted = "nobody:never";
    Serve(p);
    credentials = {};
    credentials.Answers = c.answers;
    try {
      http.Head("http://dist.example/a");
      FAIL() << "no exception";
    } catch (const EIdHTTPProxyError& e) {
      EXPECT_EQ(e.Message(), "The proxy server " + ProxyText() +
                                 " asks for a user name and password: HTTP/1.1 407 Proxy "
                                 "Authentication Required.");
      EXPECT_EQ(e.ErrorCode(), 407);
    }
    EXPECT_EQ(credentials.Asked.size(), c.asked);
    EXPECT_TRUE(credentials.Kept.empty());
    http.Disconnect();
  }
}

TEST_F(HTTPProxyAuth, BasicFromTheSettingsGoesFirstAndThenWithEveryRequest) {
  TAuthProxy p;
  p.Offer = "Proxy-Authenticate: Basic realm=\"office\"\r\n";
  p.Accepted = "us@er:p:ss";
  Serve(p);
  http.ProxyParams().ProxyUsername = "us@er";
  http.ProxyParams().ProxyPassword = "p:ss";
  http.Head("http://dist.example/a");
  http.Head("http://dist.example/a");
  EXPECT_EQ(log->Heads(), (std::vector<std::string>{
                              std::string("0 ") + kHead + " | ",
                              std::string("0 ") + kHead + " | Basic us@er:p:ss",
                              std::string("0 ") + kHead + " | Basic us@er:p:ss",
                          }));
  EXPECT_TRUE(credentials.Asked.empty());
}

TEST_F(HTTPProxyAuth, AProxyThatClosesBetweenLegsGetsTheHandshakeOnceMore) {
  TAuthProxy p;
  p.Offer = "Proxy-Authenticate: NTLM\r\n";
  p.CloseAfterChallenge = {0};
  Serve(p);
  http.Head("http://dist.example/a");
  EXPECT_EQ(http.ResponseCode(), 200);
  EXPECT_EQ(log->Heads(), (std::vector<std::string>{
                              std::string("0 ") + kHead + " | ",
                              std::string("0 ") + kHead + " | NTLM hello signed-in",
                              std::string("1 ") + kHead + " | NTLM hello signed-in",
                              std::string("1 ") + kHead + " | NTLM answer signed-in challenge 1",
                          }));
}

TEST_F(HTTPProxyAuth, AProxyThatKeepsClosingBetweenLegsIsNamed) {
  TAuthProxy p;
  p.Offer = "Proxy-Authenticate: NTLM\r\n";
  p.CloseAfterChallenge = {0, 1, 2, 3};
  Serve(p);
  try {
    http.Head("http://dist.example/a");
    FAIL() << "no exception";
  } catch (const EIdHTTPProxyError& e) {
    EXPECT_EQ(e.Message(), "The proxy server " + ProxyText() +
                               " closed the connection in the middle of the NTLM sign-in, also "
                               "when it was started again: HTTP/1.1 407 Proxy Authentication "
                               "Required.");
  }
  // The third connection is dropped before anything goes on it.
  EXPECT_EQ(log->Heads().size(), 3u);
  EXPECT_EQ(log->Heads().back(), std::string("1 ") + kHead + " | NTLM hello signed-in");
}

// Basic shows the password to anyone on the way to the proxy, and a 407 that offers Basic alone
// may come from anyone there. Whatever way leads to Basic (a system without the sign-in
// schemes' packages, a proxy that turns to Basic after NTLM worked), only credentials meant for
// Basic go with it: kept for Basic on that proxy, or typed into a prompt for Basic. Those kept,
// typed or set and used for NTLM never do; a run that asks nobody then fails.
TEST_F(HTTPProxyAuth, BasicGetsOnlyCredentialsMeantForIt) {
  const TIdCredentials signIn{"ACME\\alice", "signin-pw"};
  const TIdCredentials basic{"alice", "basic-pw"};
  struct Case {
    const char* name;
    bool packagesMissing;                // else: NTLM works first, then the proxy turns to Basic
    bool configured;                     // the sign-in credentials are set for the proxy, not kept
    bool keptForBasic;                   // a Basic credential is kept for the proxy
    bool typed;                          // the user answers the prompt (else: nobody is asked)
    std::vector<std::string> basicSent;  // the Basic credentials the proxy received
    std::vector<std::string> asked;
  };
  const std::vector<Case> cases = {
      {"no package, kept for NTLM, quiet", true, false, false, false, {}, {"Basic"}},
      {"no package, kept for both", true, false, true, false, {"alice:basic-pw"}, {}},
      {"no package, typed for Basic", true, false, false, true, {"alice:basic-pw"}, {"Basic"}},
      {"turned to Basic, kept for NTLM, quiet", false, false, false, false, {}, {"Basic"}},
      {"turned to Basic, set and used for NTLM", false, true, false, false, {}, {"Basic"}},
      {"turned to Basic, kept for both", false, false, true, false, {"alice:basic-pw"}, {}},
      {"turned to Basic, typed for Basic",
       false,
       false,
       false,
       true,
       {"alice:basic-pw"},
       {"Basic"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    packages->Missing.clear();
    if (c.packagesMissing) packages->Missing = {"Negotiate", "NTLM"};
    TAuthProxy p;
    p.Offer = "Proxy-Authenticate: NTLM\r\nProxy-Authenticate: Basic realm=\"x\"\r\n";
    p.Accepted = "ACME\\alice:signin-pw";
    p.AcceptedBasic = "alice:basic-pw";
    if (!c.packagesMissing) p.BasicOnlyFrom = 1;
    Serve(p);
    credentials = {};
    http.ProxyParams().ProxyUsername = c.configured ? signIn.Username : "";
    http.ProxyParams().ProxyPassword = c.configured ? signIn.Password.Text() : "";
    if (!c.configured) credentials.StoredCredentials = signIn;
    if (c.keptForBasic) credentials.StoredForBasic = basic;
    if (c.typed) credentials.Answers = {Typed("alice", "basic-pw", true)};

    if (!c.packagesMissing) {
      // NTLM takes the sign-in credentials on the first connection; the next goes to Basic.
      http.Head("http://dist.example/a");
      ASSERT_EQ(http.ResponseCode(), 200);
      http.Disconnect();
    }
    bool passed = true;
    try {
      http.Head("http://dist.example/a");
    } catch (const EIdHTTPProxyError& e) {
      passed = false;
      EXPECT_EQ(e.ErrorCode(), 407);
    }
    http.Disconnect();

    std::vector<std::string> basicSent;
    for (const std::string& head : log->Heads()) {
      const size_t at = head.find(" | Basic ");
      if (at != std::string::npos) basicSent.push_back(head.substr(at + 9));
    }
    EXPECT_EQ(basicSent, c.basicSent);
    EXPECT_EQ(passed, !c.basicSent.empty());
    std::vector<std::string> asked;
    for (const std::string& question : credentials.Asked)
      asked.push_back(question.substr(question.find(' ') + 1));
    EXPECT_EQ(asked, c.asked);
    // Typed for Basic and taken: kept for Basic alone.
    EXPECT_EQ(credentials.Kept,
              c.typed ? std::vector<std::string>{ProxyText() + " basic alice:basic-pw"}
                      : std::vector<std::string>{});
  }
}

TEST_F(HTTPProxyAuth, SchemesTheClientCannotSpeakAreNamed) {
  TAuthProxy p;
  p.Offer =
      "Proxy-Authenticate: Digest realm=\"x\", qop=\"auth\"\r\nProxy-Authenticate: Bearer\r\n";
  Serve(p);
  try {
    http.Head("http://dist.example/a");
    FAIL() << "no exception";
  } catch (const EIdHTTPProxyError& e) {
    EXPECT_EQ(e.Message(), "The proxy server " + ProxyText() +
                               " asks for a sign-in by Digest, Bearer, which this program cannot "
                               "give: HTTP/1.1 407 Proxy Authentication Required.");
  }
  EXPECT_TRUE(credentials.Asked.empty());
}

TEST_F(HTTPProxyAuth, WithoutInProcessAuthenticationNothingIsAsked) {
  TAuthProxy p;
  p.Offer = "Proxy-Authenticate: Basic realm=\"office\"\r\n";
  Serve(p);
  http.SetHTTPOptions({hoForceEncodeParams});
  EXPECT_THROW(http.Head("http://dist.example/a"), EIdHTTPProxyError);
  EXPECT_TRUE(credentials.Asked.empty());
  EXPECT_EQ(log->Heads().size(), 1u);
}

TEST_F(HTTPProxyAuth, TheTunnelsHandshakeEndsBeforeItsTwoHundred) {
  TAuthProxy p;
  p.Offer = "Proxy-Authenticate: NTLM\r\n";
  Serve(p);
  http.SetIOHandler(&tls);
  // The proxy ends the connection where TLS would begin.
  EXPECT_ANY_THROW(http.Head("https://dist.example/a"));
  EXPECT_EQ(log->Heads(),
            (std::vector<std::string>{
                "0 CONNECT dist.example:443 HTTP/1.1 | ",
                "0 CONNECT dist.example:443 HTTP/1.1 | NTLM hello signed-in",
                "0 CONNECT dist.example:443 HTTP/1.1 | NTLM answer signed-in challenge 0",
            }));
}

// A proxy that closes the kept connection of a tunnel's handshake: the CONNECT goes once more on
// a new connection, once; a proxy that closes that one too has refused the tunnel.
TEST_F(HTTPProxyAuth, ATunnelWhoseProxyClosesBetweenLegsIsAskedForOnceMore) {
  const struct {
    const char* name;
    std::vector<int> closing;
    std::vector<std::string> heads;
    bool refused;
  } cases[] = {
      {"once",
       {0},
       {"0 CONNECT dist.example:443 HTTP/1.1 | ",
        "0 CONNECT dist.example:443 HTTP/1.1 | NTLM hello signed-in",
        "1 CONNECT dist.example:443 HTTP/1.1 | NTLM hello signed-in",
        "1 CONNECT dist.example:443 HTTP/1.1 | NTLM answer signed-in challenge 1"},
       false},
      {"again",
       {0, 1, 2},
       {"0 CONNECT dist.example:443 HTTP/1.1 | ",
        "0 CONNECT dist.example:443 HTTP/1.1 | NTLM hello signed-in",
        "1 CONNECT dist.example:443 HTTP/1.1 | NTLM hello signed-in"},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TAuthProxy p;
    p.Offer = "Proxy-Authenticate: NTLM\r\n";
    p.CloseAfterChallenge = c.closing;
    Serve(p);
    http.SetIOHandler(&tls);
    bool refused = false;
    try {
      http.Head("https://dist.example/a");
    } catch (const EIdHTTPProxyError&) {
      refused = true;
    } catch (const EIdException&) {
      // The proxy ends the connection where TLS would begin.
    }
    EXPECT_EQ(refused, c.refused);
    EXPECT_EQ(log->Heads(), c.heads);
    http.Disconnect();
  }
}

// Credentials go to the proxy that asked: not to a server reached directly, and not to another
// proxy.
TEST_F(HTTPProxyAuth, CredentialsGoToTheProxyThatAskedAlone) {
  TAuthProxy p;
  p.Offer = "Proxy-Authenticate: Basic realm=\"office\"\r\n";
  p.Accepted = "u:p";
  Serve(p);
  THeadLog direct;
  TLoopbackServer origin([&direct](TLoopbackPeer& peer, int) {
    for (std::string head = ReadRequestHead(peer); !head.empty(); head = ReadRequestHead(peer)) {
      direct.Add(head);
      peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    }
  });
  THeadLog other;
  TLoopbackServer otherProxy([&other](TLoopbackPeer& peer, int) {
    for (std::string head = ReadRequestHead(peer); !head.empty(); head = ReadRequestHead(peer)) {
      other.Add(head);
      peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    }
  });
  credentials.Answers = {Typed("u", "p", false)};
  http.Head("http://dist.example/a");
  http.Head("http://127.0.0.1:" + std::to_string(origin.Port()) + "/b");
  http.OnSelectProxy = [&otherProxy](TIdCustomHTTP*, const TIdURI&, TIdProxyConnectionInfo& AP) {
    AP.ProxyServer = "127.0.0.1";
    AP.ProxyPort = otherProxy.Port();
  };
  http.Head("http://dist.example/c");
  http.Disconnect();

  ASSERT_EQ(direct.Heads().size(), 1u);
  EXPECT_EQ(direct.Heads()[0].find("Authorization"), std::string::npos) << direct.Heads()[0];
  ASSERT_EQ(other.Heads().size(), 1u);
  EXPECT_EQ(other.Heads()[0].find("Authorization"), std::string::npos) << other.Heads()[0];
}

}  // namespace
