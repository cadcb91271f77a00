// The HTTP client against the scripted loopback server: request heads, connection reuse, and
// the response and status cases of the request loop.

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include "base/MemoryStream.h"
#include "http/HTTPTestSupport.h"
#include "http/IdHTTP.h"
#include "net/IdExceptionCore.h"
#include "net/IdSSLIOHandlerSocket.h"
#include "net/IdTLSExceptions.h"

namespace {

std::string Text(TMemoryStream& s) {
  return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

class HTTPClient : public ::testing::Test {
 protected:
  // The server goes after the client (members are destroyed in reverse order), so its scripts
  // see the client's close.
  void Serve(TLoopbackServer::TScript script) {
    server = std::make_unique<TLoopbackServer>(std::move(script));
  }
  std::string Url(const std::string& path = "/periodic/Archive_x64-stable.zip") {
    return "http://127.0.0.1:" + std::to_string(server->Port()) + path;
  }
  std::string HostValue() { return "127.0.0.1:" + std::to_string(server->Port()); }

  THeadLog log;
  TEventLog events;
  std::unique_ptr<TLoopbackServer> server;
  TIdHTTP http;
};

TEST_F(HTTPClient, HeadThenGetSendTheExactHeadsOnOneConnection) {
  Serve([this](TLoopbackPeer& peer, int) {
    log.Add(ReadRequestHead(peer));
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n");
    log.Add(ReadRequestHead(peer));
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    peer.ReceiveUntilClosed();
  });
  http.Head(Url());
  EXPECT_EQ(http.Response().ContentLength, 5);
  TMemoryStream body;
  http.Get(Url(), body);
  EXPECT_EQ(Text(body), "hello");

  const std::string target = "/periodic/Archive_x64-stable.zip";
  EXPECT_EQ(log.Heads(), (std::vector<std::string>{DownloaderHead("HEAD", target, HostValue()),
                                                   DownloaderHead("GET", target, HostValue())}));
  EXPECT_EQ(server->Accepted(), 1);
  EXPECT_TRUE(http.Connected());
}

TEST_F(HTTPClient, SchemeInCapitalsAndQueryGoOutUnchanged) {
  Serve([this](TLoopbackPeer& peer, int) {
    log.Add(ReadRequestHead(peer));
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    peer.ReceiveUntilClosed();
  });
  http.Head("HTTP://127.0.0.1:" + std::to_string(server->Port()) + "/a b/c?d=e f");
  EXPECT_EQ(log.Heads(),
            (std::vector<std::string>{DownloaderHead("HEAD", "/a b/c?d=e f", HostValue())}));
}

TEST_F(HTTPClient, AnotherHostReconnectsAndCloseInAnyCaseIsHonoured) {
  Serve([this](TLoopbackPeer& peer, int index) {
    log.Add(ReadRequestHead(peer));
    // The second connection asks to be closed after its answer.
    peer.Send(index == 0 ? "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"
                         : "HTTP/1.1 200 OK\r\nConnection:   cLoSe  \r\nContent-Length: 0\r\n\r\n");
    peer.ReceiveUntilClosed();
  });
  http.Head(Url());
  EXPECT_EQ(server->Accepted(), 1);
  http.Head("http://localhost:" + std::to_string(server->Port()) + "/x");
  EXPECT_FALSE(http.Connected());
  http.Head(Url());
  EXPECT_EQ(server->Accepted(), 3);
  const auto heads = log.Heads();
  ASSERT_EQ(heads.size(), 3u);
  EXPECT_NE(heads[1].find("Host: localhost:"), std::string::npos);
}

TEST_F(HTTPClient, UnknownProtocolFailsOnAFreshClientAndUsesTheEarlierPortLater) {
  Serve([this](TLoopbackPeer& peer, int) {
    log.Add(ReadRequestHead(peer));
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    log.Add(ReadRequestHead(peer));
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    peer.ReceiveUntilClosed();
  });
  TIdHTTP fresh;
  try {
    fresh.Head("ftp://127.0.0.1/x");
    FAIL() << "no exception";
  } catch (const EIdUnknownProtocol& e) {
    EXPECT_EQ(e.Message(), "Unknown Protocol");
  }
  EXPECT_EQ(server->Accepted(), 0);

  http.Head(Url());
  http.Head("ftp://127.0.0.1/y");
  const auto heads = log.Heads();
  ASSERT_EQ(heads.size(), 2u);
  EXPECT_EQ(heads[1], DownloaderHead("HEAD", "/y", HostValue()));
}

TEST_F(HTTPClient, HttpsIsRefusedBeforeAnyConnection) {
  Serve([](TLoopbackPeer&, int) {});
  try {
    http.Get("https://127.0.0.1:" + std::to_string(server->Port()) + "/x", nullptr);
    FAIL() << "no exception";
  } catch (const EIdIOHandlerPropInvalid& e) {
    EXPECT_EQ(e.Message(), "IOHandler value is not valid");
  }
  EXPECT_EQ(server->Accepted(), 0);
  EXPECT_EQ(http.IOHandler(), nullptr);
}

// One response, one outcome.
struct ResponseCase {
  const char* name;
  const char* method;
  std::string reply;
  bool closeAfter;      // the server closes after the reply, else it waits for the client
  const char* failure;  // nullptr, "protocol", "closed", "cut" or "malformed"
  int code;             // ResponseCode (or ErrorCode)
  std::string body;     // the caller's stream after the call, which starts as "pre:"
  int64_t contentLength;
  int connectedAfter;  // 1 or 0; -1: not looked at
  int redirectCount = 0;
  std::string errorMessage = {};
};

std::string Lines(int count) {
  std::string out;
  for (int i = 0; i < count; ++i)
    out += "X-Line-" + std::to_string(i) + ": v\r\n";
  return out;
}

const ResponseCase kResponses[] = {
    {"HeadWithLength", "HEAD", "HTTP/1.1 200 OK\r\nContent-Length: 1234\r\n\r\n", false, nullptr,
     200, "pre:", 1234, true},
    {"HeadWithoutLength", "HEAD", "HTTP/1.1 200 OK\r\n\r\n", false, nullptr, 200, "pre:", -1, true},
    // A length that is not a decimal number leaves the body's end unknown.
    {"NonIntegerLengthIsRefused", "GET", "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\nhello",
     false, "malformed", 200, "pre:", -1, false},
    {"NegativeLengthIsRefused", "GET", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nhello", false,
     "malformed", 200, "pre:", -5, false},
    {"LengthOnAHeadIsCheckedToo", "HEAD", "HTTP/1.1 200 OK\r\nContent-Length: 1e3\r\n\r\n", false,
     "malformed", 200, "pre:", -1, false},
    {"RepeatedLengthOnAHead", "HEAD", "HTTP/1.1 200 OK\r\nContent-Length: 7, 7\r\n\r\n", false,
     nullptr, 200, "pre:", 7, true},
    {"LengthZeroReadsNothing", "GET", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false,
     nullptr, 200, "pre:", 0, true},
    {"ChunkedWithExtensionWinsOverLength", "GET",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\nContent-Length: 5\r\n\r\n"
     "1a;name=value\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nX-Trailer: t\r\n\r\n",
     false, nullptr, 200, "pre:abcdefghijklmnopqrstuvwxyz", 5, true},
    {"InterimContinueIsPassedOver", "GET",
     "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", false, nullptr,
     200, "pre:ok", 2, true},
    // Not a final answer, and no other interim one: the connection speaks something else now.
    {"SwitchingProtocols", "GET", "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\n", false,
     "protocol", 101, "pre:", -1, true},
    {"NoContent", "GET", "HTTP/1.1 204 No Content\r\n\r\n", false, nullptr, 204, "pre:", -1, true},
    {"RedirectWithLocation", "GET",
     "HTTP/1.1 302 Found\r\nLocation: http://elsewhere/x\r\nContent-Length: 0\r\n\r\n", false,
     "protocol", 302, "pre:", 0, true, 1},
    {"RedirectWithoutLocation", "GET", "HTTP/1.1 302 Found\r\nContent-Length: 4\r\n\r\nmove", false,
     "protocol", 302, "pre:", 4, true, 0, "move"},
    {"NotModifiedOnHead", "HEAD", "HTTP/1.1 304 Not Modified\r\n\r\n", false, "protocol", 304,
     "pre:", -1, true},
    {"Http10StatusLineKeepsTheConnection", "GET", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok",
     false, nullptr, 200, "pre:ok", 2, true},
    {"MalformedStatusLine", "GET", "garbage\r\nContent-Length: 3\r\n\r\nabc", false, "protocol", -1,
     "pre:", 3, true, 0, "abc"},
    {"ServerErrorUntilClose", "GET", "HTTP/1.1 503 Busy\r\n\r\ntry later", true, "protocol", 503,
     "pre:", -1, false, 0, "try later"},
    {"HeaderBlockAtTheBound", "GET",
     "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n" + Lines(254) + "\r\nok", false, nullptr, 200,
     "pre:ok", 2, true},
    {"HeaderBlockOverTheBound", "GET",
     "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n" + Lines(255) + "\r\nok", false, "malformed", 200,
     "pre:", -1, false},
    // The cut line is dropped with the connection; see
    // NextRequestAfterACloseAtTheStatusLineReconnects.
    {"CloseAtTheStatusLine", "GET", "HTTP/1.1 20", true, "closed", -1, "pre:", -1, false},
    // A cut answer is an error, wherever the cut falls after the status line.
    {"CloseInTheHeaders", "GET", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nX-A: b", true, "cut",
     200, "pre:", -1, false},
    {"CloseInAKnownLengthBody", "GET", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd", true,
     "cut", 200, "pre:abcd", 10, false},
    {"CloseInAChunkedBody", "GET", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabc",
     true, "cut", 200, "pre:abc", -1, false},
    {"ChunkSizeBeyond32Bits", "GET",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n100000000\r\nabc", false, "malformed",
     200, "pre:", -1, false},
};

// By name: the default would print the case's bytes, padding included.
void PrintTo(const ResponseCase& c, std::ostream* os) {
  *os << c.name;
}

class ResponseCases : public HTTPClient, public ::testing::WithParamInterface<ResponseCase> {};

TEST_P(ResponseCases, Outcome) {
  const ResponseCase& c = GetParam();
  Serve([&c](TLoopbackPeer& peer, int) {
    ReadRequestHead(peer);
    peer.Send(c.reply);
    if (c.closeAfter)
      peer.Close();
    else
      peer.ReceiveUntilClosed();
  });
  TMemoryStream stream;
  stream.WriteBuffer("pre:", 4);
  std::string failure = "none";
  int errorCode = 0;
  std::string errorMessage;
  try {
    if (std::string(c.method) == "HEAD")
      http.Head(Url());
    else
      http.Get(Url(), stream);
  } catch (const EIdHTTPProtocolException& e) {
    failure = "protocol";
    errorCode = e.ErrorCode();
    errorMessage = e.ErrorMessage();
    EXPECT_EQ(e.Message(), http.ResponseText());
  } catch (const EIdHTTPCutOff&) {
    failure = "cut";
  } catch (const EIdConnClosedGracefully& e) {
    failure = "closed";
    EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
  } catch (const EIdHTTPMalformedResponse& e) {
    failure = "malformed";
  }
  EXPECT_EQ(failure, c.failure ? c.failure : "none");
  if (c.failure && std::string(c.failure) == "protocol") {
    EXPECT_EQ(errorCode, c.code);
    EXPECT_EQ(errorMessage, c.errorMessage);
  }
  if (!c.failure || std::string(c.failure) != "closed") {
    EXPECT_EQ(http.ResponseCode(), c.code);
    EXPECT_EQ(http.Response().ContentLength, c.contentLength);
  }
  EXPECT_EQ(Text(stream), c.body);
  if (c.connectedAfter >= 0) {
    EXPECT_EQ(http.Connected(), c.connectedAfter == 1);
  }
  EXPECT_EQ(http.RedirectCount(), c.redirectCount);
  EXPECT_EQ(http.Response().ContentStream(), std::string(c.method) == "HEAD" ? nullptr : &stream);
}

INSTANTIATE_TEST_SUITE_P(HTTPClient, ResponseCases, ::testing::ValuesIn(kResponses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HTTPClient, NextRequestAfterACloseAtTheStatusLineReconnects) {
  Serve([this](TLoopbackPeer& peer, int index) {
    log.Add(ReadRequestHead(peer));
    if (index == 0) {
      peer.Send("HTTP/1.1 20");
      return;
    }
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    peer.ReceiveUntilClosed();
  });
  TMemoryStream body;
  EXPECT_THROW(http.Get(Url(), body), EIdConnClosedGracefully);
  http.Get(Url(), body);
  EXPECT_EQ(Text(body), "ok");
  EXPECT_EQ(server->Accepted(), 2);
}

TEST_F(HTTPClient, RedirectKeepsItsLocationAndTheConnectionServesTheNextCall) {
  Serve([](TLoopbackPeer& peer, int) {
    ReadRequestHead(peer);
    peer.Send("HTTP/1.1 302 Found\r\nLocation: http://elsewhere/x\r\nContent-Length: 3\r\n\r\nabc");
    ReadRequestHead(peer);
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    peer.ReceiveUntilClosed();
  });
  TMemoryStream body;
  EXPECT_THROW(http.Get(Url(), body), EIdHTTPProtocolException);
  EXPECT_EQ(http.Response().Location, "http://elsewhere/x");
  EXPECT_EQ(body.Size(), 0);
  http.Get(Url(), body);
  EXPECT_EQ(Text(body), "ok");
  EXPECT_EQ(server->Accepted(), 1);
}

TEST_F(HTTPClient, NotFoundPageBecomesTheErrorMessageAndItsBytesAreCounted) {
  const std::string page = "<html><body>Fichier introuvable: caf\xE9</body></html>";
  // Copied: the server outlives the test body, and its send may still be returning when the
  // client is done.
  Serve([page](TLoopbackPeer& peer, int) {
    ReadRequestHead(peer);
    peer.Send("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
              std::to_string(page.size()) + "\r\n\r\n" + page);
    peer.ReceiveUntilClosed();
  });
  events.Attach(http);
  TMemoryStream body;
  body.WriteBuffer("pre:", 4);
  try {
    http.Get(Url(), body);
    FAIL() << "no exception";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.ErrorCode(), 404);
    EXPECT_EQ(e.Message(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(e.ErrorMessage(), "<html><body>Fichier introuvable: caf\xC3\xA9</body></html>");
  }
  EXPECT_EQ(Text(body), "pre:");
  EXPECT_EQ(http.Response().CharSet, "ISO-8859-1");
  EXPECT_EQ(events.Lines.front(), "begin " + std::to_string(page.size()));
  EXPECT_EQ(events.LastWork(), "work " + std::to_string(page.size()));
  EXPECT_EQ(events.Lines.back(), "end");
  EXPECT_TRUE(http.Connected());
}

TEST_F(HTTPClient, ChunkedBodyCountsItsFramingInsideOneBracket) {
  const std::string framing = "3\r\nabc\r\n2;x=y\r\nde\r\n0\r\nX-Sum: 5\r\n\r\n";
  Serve([framing](TLoopbackPeer& peer, int) {
    ReadRequestHead(peer);
    peer.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
    peer.Pause(20);  // the framing arrives in a receive of its own
    peer.Send(framing);
    peer.ReceiveUntilClosed();
  });
  events.Attach(http);
  TMemoryStream body;
  http.Get(Url(), body);
  EXPECT_EQ(Text(body), "abcde");
  EXPECT_EQ(events.Lines.front(), "status Chunk Started");
  EXPECT_EQ(events.Lines[1], "begin 0");
  EXPECT_EQ(events.Count("begin"), 1);
  EXPECT_EQ(events.Count("end"), 1);
  EXPECT_EQ(events.Lines.back(), "end");
  EXPECT_EQ(events.LastWork(), "work " + std::to_string(framing.size()));
  EXPECT_EQ(http.Response().RawHeaders.GetValue("X-Sum"), "5");
}

TEST_F(HTTPClient, BasicChallengeWithoutCredentialsSignsLaterRequests) {
  Serve([this](TLoopbackPeer& peer, int) {
    log.Add(ReadRequestHead(peer));
    peer.Send(
        "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"a\"\r\n"
        "WWW-Authenticate: Basic realm=\"b\"\r\nContent-Length: 6\r\n\r\ndenied");
    log.Add(ReadRequestHead(peer));
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    peer.ReceiveUntilClosed();
  });
  try {
    http.Head(Url());
    FAIL() << "no exception";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.ErrorCode(), 401);
  }
  EXPECT_EQ(http.AuthRetries(), 1);
  http.Head(Url());
  const auto heads = log.Heads();
  ASSERT_EQ(heads.size(), 2u);
  EXPECT_EQ(heads[1], DownloaderHead("HEAD", "/periodic/Archive_x64-stable.zip", HostValue(),
                                     "Authorization: Basic Og==\r\n"));
}

TEST_F(HTTPClient, CredentialsAreSentAgainOnlyWithInProcessAuthentication) {
  for (const bool inProcess : {true, false}) {
    SCOPED_TRACE(inProcess);
    THeadLog heads;
    TLoopbackServer s([&heads](TLoopbackPeer& peer, int) {
      heads.Add(ReadRequestHead(peer));
      peer.Send(
          "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"b\"\r\n"
          "Content-Length: 0\r\n\r\n");
      heads.Add(ReadRequestHead(peer));
      peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
      peer.ReceiveUntilClosed();
    });
    TIdHTTP client;
    if (inProcess) client.SetHTTPOptions({hoForceEncodeParams, hoInProcessAuth});
    TMemoryStream body;
    const std::string url = "http://user:pw@127.0.0.1:" + std::to_string(s.Port()) + "/x";
    if (inProcess) {
      client.Get(url, body);
      EXPECT_EQ(Text(body), "ok");
      const auto sent = heads.Heads();
      ASSERT_EQ(sent.size(), 2u);
      EXPECT_NE(sent[1].find("\r\nAuthorization: Basic dXNlcjpwdw==\r\n"), std::string::npos);
    } else {
      // Without the option the client does not retry, and the 401 is no success.
      EXPECT_THROW(client.Get(url, body), EIdHTTPProtocolException);
      EXPECT_EQ(body.Size(), 0);
    }
    client.Disconnect();
  }
}

TEST_F(HTTPClient, FollowedRedirectRestartsTheStreamAndTooManyRedirectsFail) {
  Serve([](TLoopbackPeer& peer, int) {
    for (;;) {
      const std::string head = ReadRequestHead(peer);
      if (head.empty()) return;
      if (head.compare(0, 10, "GET /final") == 0)
        peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfinal");
      else if (head.compare(0, 9, "GET /loop") == 0)
        peer.Send("HTTP/1.1 301 Moved\r\nLocation: /loop\r\nContent-Length: 4\r\n\r\nbody");
      else
        peer.Send("HTTP/1.1 302 Found\r\nLocation: /final\r\nContent-Length: 4\r\n\r\nbody");
    }
  });
  http.SetHandleRedirects(true);
  TMemoryStream body;
  body.WriteBuffer("pre:", 4);
  http.Get(Url("/start"), body);
  EXPECT_EQ(Text(body), "pre:final");
  EXPECT_EQ(http.RedirectCount(), 1);

  body.SetSize(4);
  try {
    http.Get(Url("/loop"), body);
    FAIL() << "no exception";
  } catch (const EIdHTTPProtocolException& e) {
    // Out of redirects: the last answer is the failure, not an empty success.
    EXPECT_EQ(e.ErrorCode(), 301);
    EXPECT_EQ(e.ErrorMessage(), "body");
  }
  EXPECT_EQ(http.RedirectCount(), 15);
  EXPECT_EQ(Text(body), "pre:");
  EXPECT_EQ(server->Accepted(), 1);
}

// What a log may see of the exchange: the first line of each head each way, interim answers
// and redirects too, and never a header field (here a cookie the server set and the client
// sends back).
TEST_F(HTTPClient, HeadLinesAreToldEachWayWithoutTheirFields) {
  Serve([](TLoopbackPeer& peer, int) {
    ReadRequestHead(peer);
    peer.Send(
        "HTTP/1.1 302 Found\r\nSet-Cookie: session=s3cr3t\r\nLocation: /final\r\n"
        "Content-Length: 0\r\n\r\n");
    ReadRequestHead(peer);
    peer.Send("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    peer.ReceiveUntilClosed();
  });
  std::vector<std::string> lines;
  http.OnRequestLine = [&lines](TIdCustomHTTP*, const std::string& line) {
    lines.push_back("> " + line);
  };
  http.OnStatusLine = [&lines](TIdCustomHTTP*, const std::string& line) {
    lines.push_back("< " + line);
  };
  http.SetHandleRedirects(true);
  TMemoryStream body;
  http.Get(Url("/start"), body);
  EXPECT_EQ(Text(body), "ok");
  EXPECT_EQ(lines, (std::vector<std::string>{"> GET /start HTTP/1.1", "< HTTP/1.1 302 Found",
                                             "> GET /final HTTP/1.1", "< HTTP/1.1 100 Continue",
                                             "< HTTP/1.1 200 OK"}));
}

TEST_F(HTTPClient, RedirectToAnotherHostReconnectsAndTakesNoCookieAlong) {
  Serve([this](TLoopbackPeer& peer, int) {
    for (;;) {
      const std::string head = ReadRequestHead(peer);
      if (head.empty()) return;
      log.Add(head);
      if (head.find("Host: 127.0.0.1:") != std::string::npos)
        peer.Send(
            "HTTP/1.1 302 Found\r\nSet-Cookie: origin=1; Path=/\r\nLocation: http://localhost:" +
            std::to_string(server->Port()) + "/mirror\r\nContent-Length: 0\r\n\r\n");
      else
        peer.Send("HTTP/1.1 200 OK\r\nSet-Cookie: mirror=2; Path=/\r\nContent-Length: 2\r\n\r\nok");
    }
  });
  http.SetHandleRedirects(true);
  http.Head(Url("/start"));
  http.Head(Url("/start"));
  const auto heads = log.Heads();
  ASSERT_EQ(heads.size(), 4u);
  // Each host gets its own cookies back, and only those.
  EXPECT_EQ(heads[1].find("Cookie:"), std::string::npos) << heads[1];
  EXPECT_NE(heads[2].find("Cookie: origin=1\r\n"), std::string::npos) << heads[2];
  EXPECT_NE(heads[3].find("Cookie: mirror=2\r\n"), std::string::npos) << heads[3];
  EXPECT_EQ(http.URL().URI(), "http://localhost:" + std::to_string(server->Port()) + "/mirror");
}

// A Location is absolute only when it begins with a scheme; anything else is read against the
// URL that was answered, whatever "://" it holds further on. A scheme the client cannot fetch,
// or a URL without a host, is refused, never taken for plain HTTP.
TEST_F(HTTPClient, RedirectLocationsAreReadByTheGrammar) {
  std::mutex lock;
  std::string location;
  Serve([&](TLoopbackPeer& peer, int) {
    for (;;) {
      const std::string head = ReadRequestHead(peer);
      if (head.empty()) return;
      if (head.compare(0, 19, "GET /dir/start?x=1 ") == 0) {
        std::lock_guard<std::mutex> guard(lock);
        peer.Send("HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n");
      } else {
        log.Add(head);
        peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
      }
    }
  });
  const std::string port = std::to_string(server->Port());
  auto withPort = [&port](std::string text) {
    const size_t at = text.find("{port}");
    if (at != std::string::npos) text.replace(at, 6, port);
    return text;
  };
  struct {
    const char* location;
    const char* requestLine;  // nullptr: refused
    const char* host;         // the Host the followed request names
  } cases[] = {
      {"/good?mirror=http://127.0.0.2:18081/good",
       "GET /good?mirror=http://127.0.0.2:18081/good HTTP/1.1", "127.0.0.1:{port}"},
      {"data.cgi?moo=http://&/x", "GET /dir/data.cgi?moo=http://&/x HTTP/1.1", "127.0.0.1:{port}"},
      {"?only", "GET /dir/start?only HTTP/1.1", "127.0.0.1:{port}"},
      {"../up/./file#frag", "GET /up/file HTTP/1.1", "127.0.0.1:{port}"},
      {"127.0.0.2:18081/x", "GET /dir/127.0.0.2:18081/x HTTP/1.1", "127.0.0.1:{port}"},
      {"//localhost:{port}/net?q", "GET /net?q HTTP/1.1", "localhost:{port}"},
      {"HTTP://localhost:{port}/caps", "GET /caps HTTP/1.1", "localhost:{port}"},
      {"ftp://127.0.0.1:{port}/x", nullptr, nullptr},
      {"file:///C:/Windows/x", nullptr, nullptr},
      {"javascript:alert(1)", nullptr, nullptr},
      {"localhost:{port}/x", nullptr, nullptr},
      {"http:/no-host", nullptr, nullptr},
      {"http://", nullptr, nullptr},
  };
  http.SetHandleRedirects(true);
  for (const auto& c : cases) {
    const std::string sent = withPort(c.location);
    SCOPED_TRACE(sent);
    {
      std::lock_guard<std::mutex> guard(lock);
      location = sent;
    }
    const size_t before = log.Heads().size();
    TMemoryStream body;
    if (!c.requestLine) {
      try {
        http.Get(Url("/dir/start?x=1"), body);
        ADD_FAILURE() << "followed";
      } catch (const EIdHTTPUnsupportedRedirect& e) {
        EXPECT_EQ(e.Message(),
                  "The server redirected to \"" + sent + "\", which this program cannot open.");
      }
      EXPECT_EQ(log.Heads().size(), before);
      EXPECT_EQ(body.Size(), 0);
      continue;
    }
    http.Get(Url("/dir/start?x=1"), body);
    EXPECT_EQ(Text(body), "ok");
    const auto heads = log.Heads();
    ASSERT_EQ(heads.size(), before + 1);
    EXPECT_EQ(heads.back().substr(0, heads.back().find("\r\n")), c.requestLine);
    EXPECT_NE(heads.back().find("\r\nHost: " + withPort(c.host) + "\r\n"), std::string::npos)
        << heads.back();
  }
}

// "//host/path" names another host in the current scheme, on that scheme's port, not on the
// port of the host before.
TEST_F(HTTPClient, AURLWithAHostButNoSchemeTakesTheCurrentSchemesPort) {
  Serve([](TLoopbackPeer& peer, int) {
    ReadRequestHead(peer);
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    peer.ReceiveUntilClosed();
  });
  http.Head(Url());
  std::string resolved;
  // Where the request would go, seen before anything is connected.
  http.OnSelectProxy = [&resolved](TIdCustomHTTP*, const TIdURI& AURI, TIdProxyConnectionInfo&) {
    resolved = AURI.GetFullURI();
    throw EIdException("stop here");
  };
  EXPECT_THROW(http.Head("//localhost/x?q"), EIdException);
  EXPECT_EQ(resolved, "http://localhost/x?q");
  EXPECT_EQ(http.URL().Port, "80");
}

TEST_F(HTTPClient, AHeadRedirectedBy303StaysAHead) {
  Serve([this](TLoopbackPeer& peer, int) {
    log.Add(ReadRequestHead(peer));
    peer.Send("HTTP/1.1 303 See Other\r\nLocation: /other\r\nContent-Length: 0\r\n\r\n");
    const std::string head = ReadRequestHead(peer);
    log.Add(head);
    // A GET would have to take the whole body (here none, so that it cannot hang).
    peer.Send(head.compare(0, 5, "HEAD ") == 0 ? "HTTP/1.1 200 OK\r\nContent-Length: 123456\r\n\r\n"
                                               : "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    peer.ReceiveUntilClosed();
  });
  http.SetHandleRedirects(true);
  http.Head(Url("/start"));
  EXPECT_EQ(http.Response().ContentLength, 123456);
  const auto heads = log.Heads();
  ASSERT_EQ(heads.size(), 2u);
  EXPECT_EQ(heads[1], DownloaderHead("HEAD", "/other", HostValue()));
}

TEST_F(HTTPClient, TheTLSHandlerPassesHttpThroughAndHttpsToTheSamePortConnectsAnew) {
  Serve([](TLoopbackPeer& peer, int index) {
    if (index == 0) {
      ReadRequestHead(peer);
      peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nplain");
      peer.ReceiveUntilClosed();
    } else {
      // A client hello, answered the way a plain server answers it.
      peer.Receive(4096);
      peer.Send("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
    }
  });
  TIdSSLIOHandlerSocket tls;
  http.SetIOHandler(&tls);
  TMemoryStream body;
  http.Get(Url(), body);
  EXPECT_EQ(Text(body), "plain");
  EXPECT_FALSE(tls.TLSActive());
  EXPECT_TRUE(http.Connected());
  EXPECT_THROW(http.Get("https://127.0.0.1:" + std::to_string(server->Port()) + "/x", body),
               EIdTLSHandshakeFailed);
  EXPECT_EQ(server->Accepted(), 2);
  EXPECT_EQ(Text(body), "plain");
  http.SetIOHandler(nullptr);
}

}  // namespace
