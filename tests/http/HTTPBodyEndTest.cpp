// Where a body ends, against the scripted loopback server: who may end it quietly (the program,
// by a close of its own, never the server), and how far bodies nobody needs are read (a
// redirect's, an error's) without waiting for a close that may never come.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <typeinfo>
#include <vector>

#include "base/MemoryStream.h"
#include "http/HTTPTestSupport.h"
#include "http/IdHTTP.h"
#include "net/IdAntiFreezeBase.h"
#include "net/IdExceptionCore.h"

namespace {

std::string Text(TMemoryStream& s) {
  return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

std::string Chunked(const std::string& ABody, size_t APiece) {
  std::string out;
  for (size_t at = 0; at < ABody.size(); at += APiece) {
    const std::string piece = ABody.substr(at, APiece);
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    out += size + piece + "\r\n";
  }
  return out + "0\r\n\r\n";
}

// One call's outcome: the exception class ("" for none), its message, and for a protocol error
// its code and text.
struct TOutcome {
  std::string Failure;
  std::string Message;
  int Code = 0;
  std::string ErrorText = {};
};

TOutcome Call(const std::function<void()>& ACall) {
  try {
    ACall();
    return {};
  } catch (const EIdHTTPProtocolException& e) {
    return {"EIdHTTPProtocolException", e.Message(), e.ErrorCode(), e.ErrorMessage()};
  } catch (const EIdHTTPCutOff& e) {
    return {"EIdHTTPCutOff", e.Message()};
  } catch (const EIdConnClosedGracefully& e) {
    return {"EIdConnClosedGracefully", e.Message()};
  } catch (const EIdReadTimeout& e) {
    return {"EIdReadTimeout", e.Message()};
  } catch (const std::exception& e) {
    return {std::string("unexpected ") + typeid(e).name(), e.what()};
  }
}

// ---------------------------------------------------------------------------------------------
// Closes the program makes end a body quietly where its framing allows; the same close made by
// the server is an error.

class TAbandoningAntiFreeze : public TIdAntiFreezeBase {
 public:
  TAbandoningAntiFreeze() { IdleTimeOut = 10; }
  void Process() override {}
};

enum class TCloser { ByTheWorkHandler, ByAnAbandonedWait, ByTheServer };

struct ProgramCloseCase {
  const char* name;
  std::string head;  // the answer's head; 40000 body bytes follow, then the closer acts
  TCloser closer;
  const char* failure;
  const char* message;
};

void PrintTo(const ProgramCloseCase& c, std::ostream* os) {
  *os << c.name;
}

const std::string kFirstPart(40000, 'b');
const std::string kLengthHead = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n";
const std::string kCloseHead = "HTTP/1.1 200 OK\r\n\r\n";
const std::string kChunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

const ProgramCloseCase kProgramCloses[] = {
    {"KnownLengthByTheWorkHandler", kLengthHead, TCloser::ByTheWorkHandler, "", ""},
    {"KnownLengthByAnAbandonedWait", kLengthHead, TCloser::ByAnAbandonedWait, "", ""},
    {"KnownLengthByTheServer", kLengthHead, TCloser::ByTheServer, "EIdHTTPCutOff",
     "The server closed the connection after 40000 of 100000 bytes."},
    {"UntilCloseByTheWorkHandler", kCloseHead, TCloser::ByTheWorkHandler, "", ""},
    {"UntilCloseByAnAbandonedWait", kCloseHead, TCloser::ByAnAbandonedWait, "", ""},
    {"UntilCloseByTheServer", kCloseHead, TCloser::ByTheServer, "", ""},
    // Chunks say nothing about how far they go: a close ends them as an error, whoever made it,
    // but only the server's is a cut.
    {"ChunkedByTheWorkHandler", kChunkedHead, TCloser::ByTheWorkHandler, "EIdConnClosedGracefully",
     "Connection Closed Gracefully."},
    {"ChunkedByAnAbandonedWait", kChunkedHead, TCloser::ByAnAbandonedWait,
     "EIdConnClosedGracefully", "Connection Closed Gracefully."},
    {"ChunkedByTheServer", kChunkedHead, TCloser::ByTheServer, "EIdHTTPCutOff",
     "Connection Closed Gracefully."},
};

class ProgramCloses : public ::testing::TestWithParam<ProgramCloseCase> {};

TEST_P(ProgramCloses, EndTheBodyAsItsFramingAllows) {
  const ProgramCloseCase& c = GetParam();
  const bool chunked = c.head == kChunkedHead;
  // The chunks stop inside the second one, after 40000 bytes of data as the other bodies do (the
  // first size line, the first chunk's end and the second size line take 14 bytes).
  const std::string sent =
      chunked ? Chunked(kFirstPart + std::string(60000, 'c'), 30000).substr(0, 40000 + 14)
              : kFirstPart;
  TLoopbackServer server([&c, sent](TLoopbackPeer& peer, int) {
    ReadRequestHead(peer);
    peer.Send(c.head + sent);
    if (c.closer == TCloser::ByTheServer)
      peer.Close();
    else
      peer.ReceiveUntilClosed();  // silent until the client closes
  });
  TIdHTTP http;
  http.SetReadTimeout(30000);  // far beyond the case: only a close ends the silence here
  std::unique_ptr<TAbandoningAntiFreeze> antiFreeze;
  bool bodyStarted = false;
  http.OnWork = [&](TIdComponent*, TWorkMode, int64_t) {
    bodyStarted = true;
    if (c.closer == TCloser::ByTheWorkHandler) http.Disconnect();
  };
  if (c.closer == TCloser::ByAnAbandonedWait) {
    antiFreeze = std::make_unique<TAbandoningAntiFreeze>();
    antiFreeze->OnAbandonWait = [&bodyStarted] { return bodyStarted; };
  }
  TMemoryStream stream;
  const TOutcome outcome =
      Call([&] { http.Get("http://127.0.0.1:" + std::to_string(server.Port()) + "/x", stream); });
  EXPECT_EQ(outcome.Failure, c.failure);
  EXPECT_EQ(outcome.Message, c.message);
  // A chunked body counts its first size line as work already.
  if (!chunked) {
    EXPECT_GT(stream.Size(), 0);
  }
  EXPECT_LE(stream.Size(), 40000);
  EXPECT_EQ(Text(stream), std::string(static_cast<size_t>(stream.Size()), 'b'));
  EXPECT_FALSE(http.Connected());
}

INSTANTIATE_TEST_SUITE_P(HTTPBodyEnd, ProgramCloses, ::testing::ValuesIn(kProgramCloses),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Bodies nobody needs: a redirect's is read only to keep a connection that stays open anyway;
// an error's is kept up to 64 KiB for the exception. None waits for the read time-out.

struct UnneededCase {
  const char* name;
  // The answers of each connection, one per request; after the last the server stays silent
  // until the client closes, or closes itself with serverCloses.
  std::vector<std::vector<std::string>> connections;
  bool handleRedirects;
  const char* failure;
  int code;
  std::string errorText;
  std::string body;  // the caller's stream afterwards
  int accepted;
  bool connectedAfter;
  bool serverCloses = false;
  // After the last answer a byte every 5 ms, until the client closes.
  bool drips = false;
};

void PrintTo(const UnneededCase& c, std::ostream* os) {
  *os << c.name;
}

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
const std::string kLong(100000, 'e');
const std::string k64KiB(64 * 1024, 'e');

const UnneededCase kUnneeded[] = {
    // Redirects followed: a body that runs to the close, or one on a connection the answer
    // closes, is not read; a framed one is read when that keeps the connection, within 64 KiB.
    {"RedirectWhoseBodyRunsToTheClose",
     {{"HTTP/1.1 302 Found\r\nLocation: /b\r\n\r\nmoved, and more to come"}, {kOk}},
     true,
     "",
     0,
     "",
     "ok",
     2,
     true},
    {"RedirectThatClosesWithALongBody",
     {{"HTTP/1.1 301 Moved\r\nLocation: /b\r\nConnection: close\r\nContent-Length: 1000000\r\n\r\n"
       "the first bytes"},
      {kOk}},
     true,
     "",
     0,
     "",
     "ok",
     2,
     true},
    {"RedirectWithAShortLengthKeepsTheConnection",
     {{"HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 5\r\n\r\nmoved", kOk}},
     true,
     "",
     0,
     "",
     "ok",
     1,
     true},
    {"RedirectWithShortChunksKeepsTheConnection",
     {{"HTTP/1.1 307 Temporary\r\nLocation: /b\r\nTransfer-Encoding: chunked\r\n\r\n" +
           Chunked("moved here", 4),
       kOk}},
     true,
     "",
     0,
     "",
     "ok",
     1,
     true},
    {"RedirectWithALengthPast64KiB",
     {{"HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 100000\r\n\r\n" + kLong}, {kOk}},
     true,
     "",
     0,
     "",
     "ok",
     2,
     true},
    // Errors: the text as far as 64 KiB; what is not read to its end closes the connection.
    {"ErrorWhoseTextRunsToTheClose",
     {{"HTTP/1.1 404 Not Found\r\n\r\nno such file"}},
     true,
     "EIdHTTPProtocolException",
     404,
     "no such file",
     "",
     1,
     false},
    {"ErrorWhoseTextDripsForEver",
     {{"HTTP/1.1 404 Not Found\r\n\r\n"}},
     true,
     "EIdHTTPProtocolException",
     404,
     "",
     "",
     1,
     false,
     false,
     true},
    {"RedirectNotFollowedWhoseTextRunsToTheClose",
     {{"HTTP/1.1 302 Found\r\nLocation: /b\r\n\r\nsee /b"}},
     false,
     "EIdHTTPProtocolException",
     302,
     "see /b",
     "",
     1,
     false},
    {"ErrorWithALengthPast64KiB",
     {{"HTTP/1.1 500 Oops\r\nContent-Length: 100000\r\n\r\n" + kLong}},
     true,
     "EIdHTTPProtocolException",
     500,
     k64KiB,
     "",
     1,
     false},
    {"ErrorWithChunksPast64KiB",
     {{"HTTP/1.1 500 Oops\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunked(kLong, 40000)}},
     true,
     "EIdHTTPProtocolException",
     500,
     std::string(40000, 'e'),
     "",
     1,
     false},
    {"ErrorThatClosesWithALength",
     {{"HTTP/1.1 503 Busy\r\nConnection: close\r\nContent-Length: 4\r\n\r\nbusy"}},
     true,
     "EIdHTTPProtocolException",
     503,
     "busy",
     "",
     1,
     false},
    {"ErrorWithAShortLengthKeepsTheConnection",
     {{"HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone"}},
     true,
     "EIdHTTPProtocolException",
     404,
     "gone",
     "",
     1,
     true},
    // The status is the failure to report, not the cut of its text.
    {"ErrorWhoseTextIsCutOff",
     {{"HTTP/1.1 404 Not Found\r\nContent-Length: 10\r\n\r\ngon"}},
     true,
     "EIdHTTPProtocolException",
     404,
     "gon",
     "",
     1,
     false,
     true},
};

class UnneededBodies : public ::testing::TestWithParam<UnneededCase> {};

TEST_P(UnneededBodies, AreReadOnlyAsFarAsNeeded) {
  const UnneededCase& c = GetParam();
  TLoopbackServer server([&c](TLoopbackPeer& peer, int index) {
    if (index >= static_cast<int>(c.connections.size())) return;
    for (const std::string& answer : c.connections[static_cast<size_t>(index)]) {
      if (ReadRequestHead(peer).empty()) return;
      peer.Send(answer);
    }
    while (c.drips) {
      peer.Send("x");
      peer.Pause(5);
    }
    if (!c.serverCloses) peer.ReceiveUntilClosed();
  });
  TIdHTTP http;
  http.SetHandleRedirects(c.handleRedirects);
  // Far beyond what the case needs: a client that waited for it would fail the case.
  http.SetReadTimeout(20000);
  TMemoryStream stream;
  const TOutcome outcome =
      Call([&] { http.Get("http://127.0.0.1:" + std::to_string(server.Port()) + "/a", stream); });
  EXPECT_EQ(outcome.Failure, c.failure) << outcome.Message;
  EXPECT_EQ(outcome.Code, c.code);
  if (c.drips) {
    // What dripped in the while: some, never all 64 KiB.
    EXPECT_GT(outcome.ErrorText.size(), 0u);
    EXPECT_EQ(outcome.ErrorText, std::string(outcome.ErrorText.size(), 'x'));
  } else {
    EXPECT_TRUE(outcome.ErrorText == c.errorText)
        << outcome.ErrorText.size() << " bytes of error text instead of " << c.errorText.size();
  }
  EXPECT_EQ(Text(stream), c.body);
  EXPECT_EQ(server.Accepted(), c.accepted);
  EXPECT_EQ(http.Connected(), c.connectedAfter);
}

INSTANTIATE_TEST_SUITE_P(HTTPBodyEnd, UnneededBodies, ::testing::ValuesIn(kUnneeded),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
