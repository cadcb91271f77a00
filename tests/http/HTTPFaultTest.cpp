// The HTTP client against a failing or hostile server (the scripted loopback server): a close
// after every byte offset of a small answer; over-long and endless lines; too many header
// lines; absurd or invalid lengths and chunk sizes; bodies longer or shorter than announced;
// NULs and bare CRs in the head; interim answers; a stall and a drip. Each ends in its own
// exception or result, within its wait bound, with the caller's stream holding what it held
// before plus no more than the answer announced, and with the client's memory bounded where the
// server could make it grow. A body is whole or an error.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <typeinfo>

#include "base/MemoryStream.h"
#include "http/HTTPTestSupport.h"
#include "http/IdHTTP.h"
#include "net/IdExceptionCore.h"

namespace {

std::string Text(TMemoryStream& s) {
  return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

// Growth of the process's peak resident memory since construction, in KiB; -1 where the system
// cannot tell (then the memory checks are left out).
class TPeakGrowth {
 public:
  TPeakGrowth() {
#if defined(__linux__)
    // Writing 5 resets the peak to the current resident size.
    std::ofstream("/proc/self/clear_refs") << "5";
    FBase = Read("VmRSS:");
    if (Read("VmHWM:") > FBase + 1024) FBase = -1;  // the reset is not supported
#endif
  }
  long KiB() const {
    return FBase < 0 ? -1 : Read("VmHWM:") - FBase;
  }

 private:
  static long Read(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
      if (line.compare(0, std::strlen(field), field) == 0) return std::stol(line.substr(6));
    return -1;
  }
  long FBase = -1;
};

// One call's outcome: the exception class ("" for none) and its message; for a cut-off answer
// also the counts it carries ("received of expected").
struct TOutcome {
  std::string Failure;
  std::string Message;
  std::string Counts = {};
};

TOutcome Get(TIdHTTP& http, const std::string& url, TMemoryStream& stream) {
  try {
    http.Get(url, stream);
    return {};
  } catch (const EIdHTTPCutOff& e) {
    return {"EIdHTTPCutOff", e.Message(),
            std::to_string(e.Received()) + " of " + std::to_string(e.Expected())};
  } catch (const EIdConnClosedGracefully& e) {
    return {"EIdConnClosedGracefully", e.Message()};
  } catch (const EIdReadLnMaxLineLengthExceeded& e) {
    return {"EIdReadLnMaxLineLengthExceeded", e.Message()};
  } catch (const EIdHTTPMalformedResponse& e) {
    return {"EIdHTTPMalformedResponse", e.Message()};
  } catch (const EIdReadTimeout& e) {
    return {"EIdReadTimeout", e.Message()};
  } catch (const EIdIOHandlerStreamDataTooLarge& e) {
    return {"EIdIOHandlerStreamDataTooLarge", e.Message()};
  } catch (const EIdHTTPProtocolException& e) {
    return {"EIdHTTPProtocolException", e.Message()};
  } catch (const std::exception& e) {
    return {std::string("unexpected ") + typeid(e).name(), e.what()};
  }
}

std::string Url(const TLoopbackServer& server) {
  return "http://127.0.0.1:" + std::to_string(server.Port()) + "/periodic/Archive_x64-stable.zip";
}

// ---------------------------------------------------------------------------------------------
// The server closes after every byte offset of a small answer.

// Where the parts of a small answer end, and what a close after k bytes leaves.
struct TCutAnswer {
  std::string Reply;
  bool Chunked;
  size_t StatusEnd;   // after the status line's CR LF
  size_t FramingEnd;  // after the line that gives the framing
  size_t HeadEnd;     // after the empty line

  TCutAnswer(std::string reply, bool chunked, const char* framingName)
      : Reply(std::move(reply)), Chunked(chunked) {
    StatusEnd = Reply.find("\r\n") + 2;
    FramingEnd = Reply.find("\r\n", Reply.find(framingName)) + 2;
    HeadEnd = Reply.find("\r\n\r\n") + 4;
  }

  // The body bytes among the first k bytes of the answer.
  std::string BodyWithin(size_t k) const {
    if (k <= HeadEnd) return {};
    if (!Chunked) return Reply.substr(HeadEnd, k - HeadEnd);
    std::string body;
    for (size_t at = HeadEnd;;) {
      const size_t lineEnd = Reply.find("\r\n", at);
      const size_t size = std::stoul(Reply.substr(at, lineEnd - at), nullptr, 16);
      if (size == 0) return body;
      const size_t data = lineEnd + 2;
      if (k > data) body += Reply.substr(data, std::min(size, k - data));
      at = data + size + 2;
    }
  }

  // What the client must end with after a close at offset k: only the whole answer succeeds.
  TOutcome Expected(size_t k) const {
    if (k < StatusEnd) return {"EIdConnClosedGracefully", "Connection Closed Gracefully."};
    if (k < HeadEnd)
      return {"EIdHTTPCutOff",
              "The server closed the connection before the end of the response header.", "0 of -1"};
    if (k == Reply.size()) return {};
    const std::string received = std::to_string(BodyWithin(k).size());
    // A chunked body, size lines and trailer included, must be complete.
    if (Chunked) return {"EIdHTTPCutOff", "Connection Closed Gracefully.", received + " of -1"};
    return {"EIdHTTPCutOff", "The server closed the connection after " + received + " of 10 bytes.",
            received + " of 10"};
  }
};

TEST(HTTPFaults, CloseAfterEveryOffsetOfASmallAnswer) {
  const TCutAnswer answers[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\nX-A: b\r\n\r\n0123456789", false,
       "Content-Length"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n3;x=y\r\nfgh\r\n"
       "0\r\nX-Trailer: t\r\n\r\n",
       true, "Transfer-Encoding"},
  };
  for (const TCutAnswer& answer : answers) {
    // Connection k gets the first k bytes, then the close.
    TLoopbackServer server([&answer](TLoopbackPeer& peer, int index) {
      ReadRequestHead(peer);
      peer.Send(std::string_view(answer.Reply).substr(0, static_cast<size_t>(index)));
      peer.Close();
    });
    for (size_t k = 0; k <= answer.Reply.size(); ++k) {
      SCOPED_TRACE("close after " + std::to_string(k) + " bytes of " + answer.Reply);
      TIdHTTP http;
      http.SetReadTimeout(10000);  // a hang fails the case instead of the run
      TMemoryStream stream;
      stream.WriteBuffer("pre:", 4);
      const TOutcome outcome = Get(http, Url(server), stream);
      const TOutcome expected = answer.Expected(k);
      EXPECT_EQ(outcome.Failure, expected.Failure);
      EXPECT_EQ(outcome.Message, expected.Message);
      EXPECT_EQ(outcome.Counts, expected.Counts);
      EXPECT_EQ(Text(stream), "pre:" + answer.BodyWithin(k));
      if (!expected.Failure.empty()) {
        EXPECT_FALSE(http.Connected());
      } else {
        EXPECT_EQ(http.ResponseCode(), 200);
        EXPECT_EQ(http.Response().ContentLength, answer.Chunked ? -1 : 10);
      }
    }
    EXPECT_EQ(server.Accepted(), static_cast<int>(answer.Reply.size()) + 1);
  }
}

// ---------------------------------------------------------------------------------------------
// Hostile answers, one row each.

// Sends what, after the request head, makes the fault.
using TServe = std::function<void(TLoopbackPeer&)>;

TServe Reply(std::string text, bool closeAfter = true) {
  return [text = std::move(text), closeAfter](TLoopbackPeer& peer) {
    peer.Send(text);
    if (closeAfter)
      peer.Close();
    else
      peer.ReceiveUntilClosed();  // until the client gives up
  };
}

// A start, then bytes that never contain a line end, until the client stops reading (or 64 MiB
// went out, far beyond any bound the client may keep).
TServe Endless(std::string start) {
  return [start = std::move(start)](TLoopbackPeer& peer) {
    peer.Send(start);
    const std::string block(64 * 1024, 'a');
    for (int i = 0; i < 1024; ++i)
      peer.Send(block);
  };
}

TServe Drip(std::string text, int ms) {
  return [text = std::move(text), ms](TLoopbackPeer& peer) {
    for (char c : text) {
      peer.Send(std::string_view(&c, 1));
      peer.Pause(ms);
    }
    peer.ReceiveUntilClosed();
  };
}

// A literal with NULs inside, all of it.
template <size_t N>
std::string WithNul(const char (&text)[N]) {
  return std::string(text, N - 1);
}

std::string HeaderLines(int count) {
  std::string out;
  for (int i = 0; i < count; ++i)
    out += "X-" + std::to_string(i) + ": v\r\n";
  return out;
}

struct FaultCase {
  const char* name;
  std::function<TServe()> serve;  // built in the case, so big replies cost only there
  const char* failure;            // "" for none
  const char* message;
  std::string body;  // the caller's stream afterwards; it starts as "pre:"
  int readTimeout = 10000;
  int64_t maxBodySize = 0;  // the client's bound of a body (0: none)
};

// What the client may hold for any of these answers: a few line lengths and receive blocks,
// and the touched part of the room reserved for a body (a huge page at most; under the address
// sanitizer also the room's shadow, an eighth of it). Unbounded reading of a line with no end
// grows by all the server sends (64 MiB here).
constexpr long kMaxGrowthKiB = 16 * 1024;

const std::string kLongLine = std::string(1 << 20, 'a');

const FaultCase kFaults[] = {
    // Lines: the limit of 16384 bytes holds for the status and header lines, and is applied as
    // soon as that many bytes came without a line end.
    {"HeaderLineOfOneMiB",
     [] { return Reply("HTTP/1.1 200 OK\r\nX-Big: " + kLongLine + "\r\n\r\n", false); },
     "EIdReadLnMaxLineLengthExceeded", "Max line length exceeded.", "pre:"},
    {"StatusLineWithoutEnd", [] { return Endless("HTTP/1.1 200 OK"); },
     "EIdReadLnMaxLineLengthExceeded", "Max line length exceeded.", "pre:"},
    {"HeaderLineWithoutEnd", [] { return Endless("HTTP/1.1 200 OK\r\nX-Big: "); },
     "EIdReadLnMaxLineLengthExceeded", "Max line length exceeded.", "pre:"},
    // The same limit holds for the chunks' size lines and the trailer's.
    {"ChunkSizeLineWithoutEnd",
     [] { return Endless("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1;"); },
     "EIdReadLnMaxLineLengthExceeded", "Max line length exceeded.", "pre:"},
    {"ChunkTrailerLineWithoutEnd",
     [] {
       return Endless("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\nX-T: ");
     },
     "EIdReadLnMaxLineLengthExceeded", "Max line length exceeded.", "pre:ok"},
    {"TenThousandHeaderLines",
     [] { return Reply("HTTP/1.1 200 OK\r\n" + HeaderLines(10000) + "\r\nok", false); },
     "EIdHTTPMalformedResponse", "The server sent more than 255 header lines.", "pre:"},
    // Chunk sizes: beyond 32 bits the rest has no known meaning; the largest that fits
    // reserves no more than a bounded room and ends short at the close.
    {"ChunkSizeOf40Bits",
     [] {
       return Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffff\r\nabc",
                    false);
     },
     "EIdHTTPMalformedResponse", "The server sent a chunk size that does not fit in 32 bits.",
     "pre:"},
    {"LargestChunkSizeThenClose",
     [] { return Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffff\r\nabc"); },
     "EIdHTTPCutOff", "Connection Closed Gracefully.", "pre:abc"},
    // Lengths: what is not a single decimal number (or a list of one repeated) is refused at
    // once, whether or not the server closes; a huge one reserves no more than a bounded room
    // and is cut off at the close; one past the stream's range is refused before anything is
    // read.
    {"NegativeContentLength",
     [] { return Reply("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nhello", false); },
     "EIdHTTPMalformedResponse", "The server sent an invalid Content-Length (\"-1\").", "pre:"},
    {"ContentLengthNotANumber",
     [] { return Reply("HTTP/1.1 200 OK\r\nContent-Length: crap\r\n\r\nhello", false); },
     "EIdHTTPMalformedResponse", "The server sent an invalid Content-Length (\"crap\").", "pre:"},
    {"ContentLengthWithASign",
     [] { return Reply("HTTP/1.1 200 OK\r\nContent-Length: +5\r\n\r\nhello", false); },
     "EIdHTTPMalformedResponse", "The server sent an invalid Content-Length (\"+5\").", "pre:"},
    {"ContentLengthAfterAControlCharacter",
     [] {
       return Reply(
           "HTTP/1.1 200 OK\r\nContent-Length: \x0b"
           "5\r\n\r\nhello",
           false);
     },
     "EIdHTTPMalformedResponse",
     "The server sent an invalid Content-Length (\"\x0b"
     "5\").",
     "pre:"},
    {"ContentLengthEmpty",
     [] { return Reply("HTTP/1.1 200 OK\r\nContent-Length:\r\n\r\nhello", false); },
     "EIdHTTPMalformedResponse", "The server sent an invalid Content-Length (\"\").", "pre:"},
    {"ContentLengthBeyond64Bits",
     [] {
       return Reply("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nhello", false);
     },
     "EIdHTTPMalformedResponse",
     "The server sent an invalid Content-Length (\"99999999999999999999\").", "pre:"},
    {"ContentLengthListOfOneValue",
     [] { return Reply("HTTP/1.1 200 OK\r\nContent-Length: 5 ,\t5\r\n\r\nhello", false); }, "", "",
     "pre:hello"},
    {"ContentLengthListOfTwoValues",
     [] { return Reply("HTTP/1.1 200 OK\r\nContent-Length: 5, 6\r\n\r\nhello,", false); },
     "EIdHTTPMalformedResponse",
     "The server sent two different Content-Length values (\"5\" and \"6\").", "pre:"},
    {"InvalidContentLengthBesideChunks",
     [] {
       return Reply(
           "HTTP/1.1 200 OK\r\nContent-Length: crap\r\nTransfer-Encoding: chunked\r\n\r\n"
           "5\r\nhello\r\n0\r\n\r\n",
           false);
     },
     "", "", "pre:hello"},
    {"ContentLengthOfATebibyteThenClose",
     [] { return Reply("HTTP/1.1 200 OK\r\nContent-Length: 1099511627776\r\n\r\nhello"); },
     "EIdHTTPCutOff", "The server closed the connection after 5 of 1099511627776 bytes.",
     "pre:hello"},
    {"ContentLengthUpToTheStreamsRange",
     [] { return Reply("HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775803\r\n\r\nhello"); },
     "EIdHTTPCutOff", "The server closed the connection after 5 of 9223372036854775803 bytes.",
     "pre:hello"},
    {"ContentLengthPastTheStreamsRange",
     [] {
       return Reply("HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775804\r\n\r\nhello", false);
     },
     "EIdIOHandlerStreamDataTooLarge", "Data is too large for stream", "pre:"},
    // Bodies: never more than announced; a short one is cut off at the close, or ends by the
    // wait limit when the server stalls.
    {"BodyLongerThanAnnounced",
     [] { return Reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello, and more", false); }, "",
     "", "pre:hello"},
    {"BodyShorterThenClose",
     [] { return Reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhel"); }, "EIdHTTPCutOff",
     "The server closed the connection after 3 of 10 bytes.", "pre:hel"},
    // A head that the close cuts off is no answer, even with its length given and complete.
    {"HeaderBlockWithoutItsEnd", [] { return Reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n"); },
     "EIdHTTPCutOff", "The server closed the connection before the end of the response header.",
     "pre:"},
    // A NUL or a bare CR in the head: parsers disagree on what such a line says.
    {"NulInAHeaderField",
     [] {
       return Reply(WithNul("HTTP/1.1 200 OK\r\nX-A: a\0b\r\nContent-Length: 2\r\n\r\nok"), false);
     },
     "EIdHTTPMalformedResponse",
     "The server sent a NUL or a bare CR in its status line or a header field.", "pre:"},
    {"BareCRInAHeaderField",
     [] { return Reply("HTTP/1.1 200 OK\r\nX-A: a\rContent-Length: 2\r\n\r\nok", false); },
     "EIdHTTPMalformedResponse",
     "The server sent a NUL or a bare CR in its status line or a header field.", "pre:"},
    {"BareCRInTheStatusLine",
     [] { return Reply("HTTP/1.1 200 OK\r\r\nContent-Length: 2\r\n\r\nok", false); },
     "EIdHTTPMalformedResponse",
     "The server sent a NUL or a bare CR in its status line or a header field.", "pre:"},
    {"NulInATrailerField",
     [] {
       return Reply(WithNul("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                            "2\r\nok\r\n0\r\nX-T: \0\r\n\r\n"),
                    false);
     },
     "EIdHTTPMalformedResponse",
     "The server sent a NUL or a bare CR in its status line or a header field.", "pre:ok"},
    // Interim answers of every kind are read through to the final one; what follows one must be
    // a status line, and anything else is refused at once, not at the close.
    {"InterimAnswersBeforeTheFinalOne",
     [] {
       return Reply(
           "HTTP/1.1 102 Processing\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\n\r\n"
           "HTTP/1.1 199 Odd\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
           false);
     },
     "", "", "pre:ok"},
    {"NoStatusLineAfterAnInterimAnswer",
     [] { return Reply("HTTP/1.1 103 Early Hints\r\n\r\nhello\r\n", false); },
     "EIdHTTPMalformedResponse", "The server sent no status line after an interim response.",
     "pre:"},

    {"BodyShorterThenStall",
     [] { return Reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhel", false); },
     "EIdReadTimeout", "Read timed out.", "pre:hel", 200},
    {"StatusLineStalls", [] { return Reply("HTTP/1.1 2", false); }, "EIdReadTimeout",
     "Read timed out.", "pre:", 200},
    // Framing the client must not guess: lengths that disagree, a coding it cannot undo, a
    // chunk size that is no number. Repeated equal lengths and "identity" say nothing new.
    {"TwoDifferentContentLengths",
     [] {
       return Reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello,",
                    false);
     },
     "EIdHTTPMalformedResponse",
     "The server sent two different Content-Length values (\"5\" and \"6\").", "pre:"},
    {"SameContentLengthTwice",
     [] {
       return Reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\nhello",
                    false);
     },
     "", "", "pre:hello"},
    {"CompressedAndChunked",
     [] {
       return Reply(
           "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n5\r\n\x1f\x8b\x08\x00\x00",
           false);
     },
     "EIdHTTPMalformedResponse",
     "The server sent the body in the transfer coding \"gzip\", which the client cannot read.",
     "pre:"},
    {"IdentityCodingWithALength",
     [] {
       return Reply(
           "HTTP/1.1 200 OK\r\nTransfer-Encoding: identity\r\nContent-Length: 5\r\n\r\nhello",
           false);
     },
     "", "", "pre:hello"},
    {"ChunkSizeNotHex",
     [] {
       return Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\nzz\r\n\r\n",
                    false);
     },
     "EIdHTTPMalformedResponse", "The server sent a chunk size that is not a hexadecimal number.",
     "pre:ok"},
    // A chunk's data must end where its size says: more bytes, or none of the line end, and the
    // framing is out of step.
    {"ChunkDataLongerThanItsSize",
     [] {
       return Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcdef\r\n0\r\n\r\n",
                    false);
     },
     "EIdHTTPMalformedResponse", "The server sent chunk data that is not followed by a line end.",
     "pre:abc"},
    {"ChunkDataWithoutItsLineEnd",
     [] {
       return Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc0\r\n\r\n",
                    false);
     },
     "EIdHTTPMalformedResponse", "The server sent chunk data that is not followed by a line end.",
     "pre:abc"},
    {"TrailerOfTooManyLines",
     [] {
       return Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n" +
                        HeaderLines(300) + "\r\n",
                    false);
     },
     "EIdHTTPMalformedResponse", "The server sent more than 255 header lines.", "pre:ok"},
    {"ChunkSizeLineEmpty",
     [] {
       return Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n\r\n", false);
     },
     "EIdHTTPMalformedResponse", "The server sent a chunk size that is not a hexadecimal number.",
     "pre:ok"},
    // The client's bound of a body (the downloader's: what the size probe announced): never
    // more than one byte past it is stored, whatever the framing.
    {"BodyUpToTheBoundUntilClose", [] { return Reply("HTTP/1.1 200 OK\r\n\r\nhello"); }, "", "",
     "pre:hello", 10000, 5},
    {"BodyPastTheBoundUntilClose",
     [] { return Reply("HTTP/1.1 200 OK\r\n\r\nhello, and more", false); },
     "EIdHTTPMalformedResponse", "The server sent a body of more than 5 bytes.", "pre:hello,",
     10000, 5},
    {"EndlessBodyPastTheBound", [] { return Endless("HTTP/1.1 200 OK\r\n\r\n"); },
     "EIdHTTPMalformedResponse", "The server sent a body of more than 3000000 bytes.",
     "pre:" + std::string(3000001, 'a'), 10000, 3000000},
    {"AnnouncedLengthPastTheBound",
     [] { return Reply("HTTP/1.1 200 OK\r\nContent-Length: 15\r\n\r\nhello, and more", false); },
     "EIdHTTPMalformedResponse", "The server sent a body of more than 5 bytes.", "pre:", 10000, 5},
    {"ChunkedBodyPastTheBound",
     [] {
       return Reply(
           "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n3\r\ndef\r\n0\r\n\r\n",
           false);
     },
     "EIdHTTPMalformedResponse", "The server sent a body of more than 5 bytes.", "pre:abc", 10000,
     5},
    // A byte every 10 ms: each wait is far below the limit, however long the whole takes.
    {"DripOneByteEvery10ms",
     [] { return Drip("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc", 10); }, "", "", "pre:abc",
     1000},
};

void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.name;
}

class HostileAnswers : public ::testing::TestWithParam<FaultCase> {};

TEST_P(HostileAnswers, EndAsSpecifiedWithinBounds) {
  const FaultCase& c = GetParam();
  const TServe serve = c.serve();
  TLoopbackServer server([&serve](TLoopbackPeer& peer, int) {
    ReadRequestHead(peer);
    serve(peer);
  });
  TIdHTTP http;
  http.SetReadTimeout(c.readTimeout);
  http.SetMaxBodySize(c.maxBodySize);
  TMemoryStream stream;
  stream.WriteBuffer("pre:", 4);

  const TPeakGrowth growth;
  const TOutcome outcome = Get(http, Url(server), stream);
  const long grown = growth.KiB();

  EXPECT_EQ(outcome.Failure, c.failure);
  EXPECT_EQ(outcome.Message, c.message);
  EXPECT_EQ(Text(stream), c.body);
  // A failure leaves the answer's remaining bytes unread: the connection is of no further use.
  if (*c.failure) {
    EXPECT_FALSE(http.Connected());
  }
  // Room is reserved for no more than the bounded part of an announced length.
  EXPECT_LE(stream.Capacity(), 4 + IdStreamPresizeLimit);
  if (grown >= 0) {
    EXPECT_LE(grown, kMaxGrowthKiB);
    std::printf("[ memory   ] %s: peak grew by %ld KiB\n", c.name, grown);
  }
  EXPECT_EQ(server.Accepted(), 1);
}

INSTANTIATE_TEST_SUITE_P(HTTPFaults, HostileAnswers, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// After an answer that failed halfway, the next request gets a fresh connection, so the rest of
// the broken answer is never read as the next one.
TEST(HTTPFaults, AnAnswerThatFailedHalfwayIsNotReadAsTheNext) {
  struct Case {
    const char* name;
    std::string reply;
    int readTimeout;
  } cases[] = {
      {"over-long line", "HTTP/1.1 200 OK\r\nX-Big: " + kLongLine + "\r\n\r\n", 10000},
      {"stalled body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhel", 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server([&c](TLoopbackPeer& peer, int index) {
      ReadRequestHead(peer);
      peer.Send(index == 0 ? c.reply : "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
      peer.ReceiveUntilClosed();
    });
    TIdHTTP http;
    http.SetReadTimeout(c.readTimeout);
    TMemoryStream first;
    EXPECT_NE(Get(http, Url(server), first).Failure, "");
    TMemoryStream second;
    EXPECT_EQ(Get(http, Url(server), second).Failure, "");
    EXPECT_EQ(Text(second), "ok");
    EXPECT_EQ(server.Accepted(), 2);
  }
}

}  // namespace
