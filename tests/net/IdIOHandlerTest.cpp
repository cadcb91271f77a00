#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "FakeStack.h"
#include "ScriptedIOHandler.h"
#include "base/MemoryStream.h"
#include "net/IdTCPClient.h"

namespace {

using Log = std::vector<std::string>;

class ScriptedHandler : public ::testing::Test {
 protected:
  ScriptedHandler() {
    H.OnWorkBegin = [this](TIdComponent*, TWorkMode m, int64_t n) {
      Events.push_back((m == wmRead ? "begin " : "begin write ") + std::to_string(n));
    };
    H.OnWork = [this](TIdComponent*, TWorkMode m, int64_t n) {
      Events.push_back((m == wmRead ? "" : "write ") + std::to_string(n));
    };
    H.OnWorkEnd = [this](TIdComponent*, TWorkMode m) {
      Events.push_back(m == wmRead ? "end" : "end write");
    };
    H.Open();
  }
  std::string Body(TMemoryStream& s) {
    return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
  }

  TFakeStackScope Scope;
  TScriptedIOHandler H;
  Log Events;
};

// A stream that is not a memory stream, so that the handler takes its general path.
class TPlainStream : public TStream {
 public:
  explicit TPlainStream(TMemoryStream& target) : FTarget(target) {}
  int64_t Read(void* buffer, int64_t count) override { return FTarget.Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override { return FTarget.Write(buffer, count); }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return FTarget.Seek(offset, origin); }
  int64_t Size() override { return FTarget.Size(); }
  void SetSize(int64_t size) override { FTarget.SetSize(size); }

 private:
  TMemoryStream& FTarget;
};

// Body reads into a memory stream (received straight into it) and into any other stream
// (through the input buffer) must behave the same.
class ScriptedBody : public ScriptedHandler, public ::testing::WithParamInterface<bool> {
 protected:
  TStream& Stream() { return GetParam() ? static_cast<TStream&>(Memory) : Plain; }
  TMemoryStream Memory;
  TPlainStream Plain{Memory};
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Streams, ScriptedBody, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "MemoryStream" : "OtherStream";
                         });

TEST_F(ScriptedHandler, ReadLnCases) {
  struct Case {
    std::vector<std::string> pieces;
    std::string line;
  } cases[] = {
      {{"HTTP/1.1 200 OK\r", "\nrest"}, "HTTP/1.1 200 OK"},  // CR and LF in two receives
      {{"plain\n"}, "plain"},
      {{"inner\rcr\r\n"}, "inner\rcr"},
      {{"a", "b", "c\r\n"}, "abc"},
      {{"\r\n"}, ""},
      {{"caf\xC3\xA9\n"}, "caf\xEF\xBF\xBD\xEF\xBF\xBD"},  // bytes of 128 and more
  };
  for (const Case& c : cases) {
    TScriptedIOHandler h;
    h.Open();
    for (const auto& p : c.pieces)
      h.Feed(p);
    EXPECT_EQ(h.ReadLn(), c.line);
    EXPECT_FALSE(h.ReadLnTimedout());
  }
}

TEST_F(ScriptedHandler, ReadLnOtherTerminators) {
  H.Feed("one\r\ntwo;;three");
  EXPECT_EQ(H.ReadLn("\r\n"), "one");
  EXPECT_EQ(H.ReadLn(";;"), "two");
  EXPECT_EQ(H.InputBuffer().Size(), 5);
  H.Feed("x;");
  H.Feed(";");
  EXPECT_EQ(H.ReadLn(";;"), "threex") << "a terminator split across receives is found";
}

TEST_F(ScriptedHandler, LineLengthLimit) {
  {
    TScriptedIOHandler h;
    h.Open();
    h.Feed(std::string(16383, 'a') + "\r\n");  // LF at offset 16384
    EXPECT_EQ(h.ReadLn().size(), 16383u);
  }
  {
    TScriptedIOHandler h;
    h.Open();
    h.Feed(std::string(16384, 'a') + "\r\n");  // LF at offset 16385
    try {
      h.ReadLn();
      FAIL();
    } catch (const EIdReadLnMaxLineLengthExceeded& e) {
      EXPECT_EQ(e.Message(), "Max line length exceeded.");
    }
  }
  {
    // No LF yet, but more bytes than the limit: too long wherever the LF comes, so the rest of
    // the line is not waited for (nor held).
    TScriptedIOHandler h;
    h.Open();
    h.Feed(std::string(16384, 'a'));
    h.Feed("a");
    EXPECT_THROW(h.ReadLn(), EIdReadLnMaxLineLengthExceeded);
    EXPECT_EQ(h.InputBuffer().Size(), 16385);
    EXPECT_FALSE(h.ReadLnTimedout());
  }
  {
    // The same for a split: the first piece goes out as soon as it is known to be one.
    TScriptedIOHandler h;
    h.Open();
    h.MaxLineAction = maSplit;
    for (int i = 0; i < 3; ++i)
      h.Feed(std::string(10000, 'b'));
    h.Feed("tail\n");
    EXPECT_EQ(h.ReadLn(), std::string(16384, 'b'));
    EXPECT_TRUE(h.ReadLnSplit());
    EXPECT_EQ(h.Receives.size(), 2u);
    EXPECT_EQ(h.ReadLn(), std::string(30000 - 16384, 'b') + "tail");
    EXPECT_FALSE(h.ReadLnSplit());
  }
}

TEST_F(ScriptedHandler, PartialLineThenClose) {
  H.Feed("partial");
  H.FeedClose();
  try {
    H.ReadLn();
    FAIL();
  } catch (const EIdConnClosedGracefully& e) {
    EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
  }
  EXPECT_EQ(H.InputBuffer().Size(), 7) << "the partial line stays buffered";
  EXPECT_TRUE(H.ClosedGracefully());
  EXPECT_FALSE(H.Opened());
}

TEST_F(ScriptedHandler, ReadLnTimeoutKeepsTheBytes) {
  H.Feed("no end");
  EXPECT_EQ(H.ReadLn("\n", 0), "");
  EXPECT_TRUE(H.ReadLnTimedout());
  EXPECT_EQ(H.InputBuffer().Size(), 6);
}

TEST(IdGlobal, TickDifferenceWrapsAround) {
  EXPECT_EQ(GetTickDiff(100, 350), 250u);
  EXPECT_EQ(GetTickDiff(0xFFFFFFF0u, 5), 20u);
}

TEST_P(ScriptedBody, WorkCountsPerBlock) {
  for (int i = 0; i < 10; ++i)
    H.Feed(std::string(10000, static_cast<char>('0' + i)));
  H.ReadStream(Stream(), 100000);
  EXPECT_EQ(Events, (Log{"begin 100000", "32768", "65536", "98304", "100000", "end"}));
  ASSERT_EQ(Memory.Size(), 100000);
  EXPECT_EQ(Memory.Position(), 100000);
  EXPECT_EQ(Memory.Memory()[99999], '9');
  EXPECT_EQ(Memory.Capacity(), 100000) << "sized once";
  EXPECT_EQ(H.Receives, std::vector<int>(10, 10000)) << "receives as large as the pieces";
}

TEST_P(ScriptedBody, BytesBufferedAhead) {
  H.Feed("HTTP/1.1 200 OK\r\n" + std::string(1000, 'x'));
  H.Feed(std::string(39000, 'y') + "NEXT");
  EXPECT_EQ(H.ReadLn(), "HTTP/1.1 200 OK");
  H.ReadStream(Stream(), 40000);
  EXPECT_EQ(Events, (Log{"begin 40000", "1000", "33768", "40000", "end"}));
  EXPECT_EQ(Body(Memory), std::string(1000, 'x') + std::string(39000, 'y'));
  // The receive that ended the body brought what follows it: that stays buffered.
  EXPECT_EQ(H.InputBuffer().ExtractToString(), "NEXT");
}

TEST_P(ScriptedBody, KnownLengthClosedEarly) {
  H.Feed(std::string(50000, 'z'));
  H.FeedClose();
  Memory.WriteBuffer("pre", 3);  // the body goes after what the stream holds
  EXPECT_THROW(H.ReadStream(Stream(), 100000), EIdConnClosedGracefully);
  EXPECT_EQ(Events, (Log{"begin 100000", "32768", "50000", "end"}));
  EXPECT_EQ(Memory.Size(), 50003) << "cut to the bytes received";
  EXPECT_EQ(Body(Memory), "pre" + std::string(50000, 'z'));
}

TEST_P(ScriptedBody, HandlerFailuresEndTheReadCleanly) {
  H.Feed(std::string(70000, 'e'));
  H.OnWork = [&](TIdComponent*, TWorkMode, int64_t n) {
    Events.push_back(std::to_string(n));
    if (n > 40000) throw EIdException("stop");
  };
  EXPECT_THROW(H.ReadStream(Stream(), 70000), EIdException);
  EXPECT_EQ(Events, (Log{"begin 70000", "32768", "65536", "end"}));
  EXPECT_EQ(Memory.Size(), 65536) << "the block that was reported is kept";
  EXPECT_EQ(H.WorkInfo(wmRead).Level, 0);

  H.OnWork = nullptr;
  H.OnWorkEnd = [](TIdComponent*, TWorkMode) { throw EIdException("end failed"); };
  Memory.Clear();
  EXPECT_THROW(H.ReadStream(Stream(), 4464), EIdException);
  EXPECT_EQ(Memory.Size(), 4464);
  EXPECT_EQ(H.WorkInfo(wmRead).Level, 0);
}

TEST_P(ScriptedBody, ClaimedLengthReservesNoMoreThanTheLimit) {
  // A peer announces a terabyte and sends three bytes.
  H.Feed("abc");
  H.FeedClose();
  EXPECT_THROW(H.ReadStream(Stream(), int64_t{1} << 40), EIdConnClosedGracefully);
  EXPECT_EQ(Body(Memory), "abc");
  EXPECT_LE(Memory.Capacity(), IdStreamPresizeLimit);
}

TEST_P(ScriptedBody, BodyBeyondTheLimitGrowsAsItArrives) {
  const int64_t size = IdStreamPresizeLimit + 100000;
  const std::string piece(1 << 20, 'g');
  for (int64_t left = size; left > 0; left -= static_cast<int64_t>(piece.size()))
    H.Feed(piece.substr(0, static_cast<size_t>(std::min<int64_t>(left, piece.size()))));
  H.Feed("NEXT");
  Memory.WriteBuffer("pre", 3);
  std::set<const uint8_t*> blocks;  // where the memory stream's bytes lived during the read
  H.OnWork = [&](TIdComponent*, TWorkMode, int64_t n) {
    Events.push_back(std::to_string(n));
    blocks.insert(Memory.Memory());
  };
  H.ReadStream(Stream(), size);
  ASSERT_EQ(Memory.Size(), size + 3);
#ifdef _WIN32
  // The announced length was reserved as address space: growing past the first part moved
  // nothing.
  if (GetParam()) {
    EXPECT_EQ(blocks.size(), 1u);
  }
#endif
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Memory.Memory()), 4), "preg");
  EXPECT_EQ(Memory.Memory()[size + 2], 'g');
  EXPECT_EQ(Events.back(), "end");
  EXPECT_EQ(Events[Events.size() - 2], std::to_string(size));
  EXPECT_FALSE(H.ScriptDone()) << "nothing beyond the body was received";
}

TEST_P(ScriptedBody, ReadUntilClose) {
  H.Feed(std::string(70000, 'q'));
  H.FeedClose();
  H.ReadStream(Stream(), -1, true);
  EXPECT_EQ(Events, (Log{"begin 0", "32768", "65536", "70000", "end"}));
  EXPECT_EQ(Memory.Size(), 70000);
}

TEST_F(ScriptedHandler, StreamTooLarge) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  try {
    H.ReadStream(s, INT64_MAX - 2);
    FAIL();
  } catch (const EIdIOHandlerStreamDataTooLarge& e) {
    EXPECT_EQ(e.Message(), "Data is too large for stream");
  }
  EXPECT_TRUE(Events.empty());
}

TEST_P(ScriptedBody, DisconnectInsideOnWorkEndsAKnownLengthRead) {
  TIdTCPClient client;
  client.SetIOHandler(&H);
  Log events;
  client.OnWork = [&](TIdComponent* sender, TWorkMode, int64_t count) {
    EXPECT_EQ(sender, &client);
    events.push_back(std::to_string(count));
    client.Disconnect();
  };
  client.OnWorkEnd = [&](TIdComponent*, TWorkMode) { events.push_back("end"); };
  for (int i = 0; i < 4; ++i)
    H.Feed(std::string(25000, 'd'));
  EXPECT_THROW(H.ReadStream(Stream(), 100000), EIdConnClosedGracefully);
  // The block that fired the event is kept; the next one finds the socket gone and the
  // buffered rest goes into the stream before the close is reported.
  EXPECT_EQ(events, (Log{"32768", "50000", "end"}));
  EXPECT_EQ(Memory.Size(), 50000);
  EXPECT_FALSE(H.Opened());
  client.SetIOHandler(nullptr);
}

TEST_F(ScriptedHandler, DiscardAndDiscardAll) {
  H.ReadStream(*std::make_unique<TMemoryStream>(), 0);
  H.Discard(0);
  TIdBytes none;
  H.ReadBytes(none, 0);
  EXPECT_EQ(Events, (Log{"begin 0", "end"})) << "a zero-length body only opens the bracket";
  Events.clear();
  H.Feed("0123456789");
  H.Discard(4);
  EXPECT_EQ(Events, (Log{"begin 4", "4", "end"}));
  EXPECT_EQ(H.InputBuffer().Size(), 6);
  Events.clear();
  H.Feed(std::string(40000, 'w'));
  H.FeedClose();
  H.DiscardAll();
  EXPECT_EQ(Events, (Log{"begin 0", "end"}));
  EXPECT_TRUE(H.InputBufferIsEmpty());
  int received = 0;
  for (int n : H.Receives)
    received += n;
  EXPECT_EQ(received, 40010);
}

TEST_F(ScriptedHandler, ReadBytes) {
  H.Feed("abc");
  H.Feed("defg");
  TIdBytes out = {'>'};
  H.ReadBytes(out, 5);
  EXPECT_EQ(std::string(out.begin(), out.end()), ">abcde");
  H.ReadBytes(out, -1, false);  // whatever is buffered
  EXPECT_EQ(std::string(out.begin(), out.end()), "fgbcde");
  H.FeedClose();
  EXPECT_THROW(H.ReadBytes(out, 1), EIdConnClosedGracefully);
}

TEST_F(ScriptedHandler, RequestTextGoesOutInOneSendWithoutWorkEvents) {
  H.WriteBufferOpen();
  EXPECT_TRUE(H.WriteBufferingActive());
  H.WriteLn("GET /x HTTP/1.1");
  H.WriteLn("Host: h\xC3\xA9\xF0\x9F\x98\x80");
  H.Write("");
  H.WriteLn();
  EXPECT_TRUE(H.SendCalls.empty());
  H.WriteBufferClose();
  EXPECT_FALSE(H.WriteBufferingActive());
  EXPECT_EQ(H.Sent, "GET /x HTTP/1.1\r\nHost: h???\r\n\r\n");
  EXPECT_EQ(H.SendCalls.size(), 1u);
  // Several sends for one text: still no write events outside a bracket.
  H.MaxSend = 4;
  H.Write("0123456789");
  EXPECT_EQ(H.SendCalls.size(), 4u);
  EXPECT_TRUE(Events.empty());
}

TEST_F(ScriptedHandler, WriteBufferThresholdAndCancel) {
  H.WriteBufferOpen(8);
  H.Write("0123456789abcdefghij");
  EXPECT_EQ(H.SendCalls, (std::vector<int>{8, 8}));
  EXPECT_EQ(H.Sent, "0123456789abcdef");
  H.WriteBufferCancel();
  EXPECT_EQ(H.Sent, "0123456789abcdef") << "the rest was dropped";
  EXPECT_FALSE(H.WriteBufferingActive());
}

TEST_F(ScriptedHandler, WritingAStreamCountsWriteWork) {
  H.SendBufferSize = 4;
  TMemoryStream s;
  s.WriteBuffer("0123456789", 10);
  H.Write(s, 0);
  EXPECT_EQ(H.Sent, "0123456789");
  EXPECT_EQ(Events, (Log{"begin write 10", "write 4", "write 8", "write 10", "end write"}));
}

TEST_F(ScriptedHandler, WritingWhenClosedSendsNothing) {
  H.Close();
  EXPECT_THROW(H.WriteLn("late"), EIdConnClosedGracefully);
  H.WriteBufferOpen();
  H.WriteLn("buffered");
  EXPECT_THROW(H.WriteBufferClose(), EIdConnClosedGracefully);
  EXPECT_FALSE(H.WriteBufferingActive()) << "buffering ends also on failure";
  EXPECT_TRUE(H.SendCalls.empty());
}
