#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "base/MemoryStream.h"
#include "net/IdBuffer.h"
#include "net/IdExceptionCore.h"

namespace {

TIdBytes Bytes(const std::string& s) {
  return TIdBytes(s.begin(), s.end());
}

// A queue whose removal notification records every count.
struct TRecordingBuffer {
  TStackUser User;
  std::vector<int> Removed;
  TIdBuffer Buffer{[this](TIdBuffer&, int n) { Removed.push_back(n); }};
};

}  // namespace

TEST(IdBuffer, CapacityGrowsByTheGrowthFactor) {
  TRecordingBuffer q;
  q.Buffer.Write(TIdBytes(10, 'a'));
  EXPECT_EQ(q.Buffer.Capacity(), 10);
  q.Buffer.Write(TIdBytes(5, 'b'));
  EXPECT_EQ(q.Buffer.Capacity(), 10 + 5 + 2048);
  EXPECT_EQ(q.Buffer.Size(), 15);
  // Room left after the others: no growth.
  q.Buffer.Write(TIdBytes(2000, 'c'));
  EXPECT_EQ(q.Buffer.Capacity(), 2063);
  q.Buffer.Write(Bytes("xy"), 1, 1);  // range form: one byte from offset 1
  EXPECT_EQ(q.Buffer.Size(), 2016);
  EXPECT_EQ(q.Buffer.Data()[2015], 'y');
}

TEST(IdBuffer, RemovalCompactsOncePastTheGrowthFactor) {
  TRecordingBuffer q;
  TIdBytes data(5000);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(i * 7);
  q.Buffer.Write(data);
  for (int i = 0; i < 3000; ++i) {
    q.Buffer.Remove(1);
    if (i == 2047) {
      EXPECT_EQ(q.Buffer.Capacity(), 5000) << "no compaction before the head passes 2048";
    }
  }
  // At head 2049: 2951 bytes left, slack 2049 > 2048, so the storage shrank to 2951 + 2048.
  EXPECT_EQ(q.Buffer.Capacity(), 4999);
  EXPECT_EQ(q.Buffer.Size(), 2000);
  EXPECT_EQ(q.Removed, std::vector<int>(3000, 1));
  EXPECT_EQ(q.Buffer.Data()[0], static_cast<uint8_t>(3000 * 7));
  EXPECT_EQ(q.Buffer.Data()[1999], static_cast<uint8_t>(4999 * 7));
}

TEST(IdBuffer, RemovingEverythingClearsAndReportsTheRequest) {
  TRecordingBuffer q;
  q.Buffer.Write(Bytes("hello"));
  q.Buffer.Remove(9);
  EXPECT_EQ(q.Buffer.Size(), 0);
  EXPECT_EQ(q.Buffer.Capacity(), 0);
  EXPECT_EQ(q.Removed, std::vector<int>{9});
  q.Buffer.Write(Bytes("again"));
  q.Buffer.Clear();
  EXPECT_EQ(q.Buffer.Size(), 0);
  EXPECT_EQ(q.Removed.size(), 1u) << "Clear reports nothing";
}

TEST(IdBuffer, IndexOfAcrossASplitTerminator) {
  TRecordingBuffer q;
  q.Buffer.Write(Bytes("HTTP/1.1 200 OK\r"));
  EXPECT_EQ(q.Buffer.IndexOf(Bytes("\r\n")), -1);
  q.Buffer.Write(Bytes("\nServer: x"));
  EXPECT_EQ(q.Buffer.IndexOf(Bytes("\r\n")), 15);
  EXPECT_EQ(q.Buffer.IndexOf(Bytes("\r\n"), 15), 15);
  EXPECT_EQ(q.Buffer.IndexOf(Bytes("\r\n"), 16), -1);
  q.Buffer.Remove(2);
  EXPECT_EQ(q.Buffer.IndexOf(Bytes("\r\n")), 13) << "counted from the head";
}

TEST(IdBuffer, IndexOfErrors) {
  TRecordingBuffer q;
  EXPECT_EQ(q.Buffer.IndexOf(TIdBytes{}), -1) << "an empty queue answers -1 first";
  q.Buffer.Write(Bytes("abc"));
  struct Case {
    TIdBytes pattern;
    int start;
    const char* message;
  } cases[] = {
      {{}, 0, "Buffer terminator must be specified."},
      {Bytes("a"), 3, "Buffer start position is invalid."},
      {Bytes("a"), -1, "Buffer start position is invalid."},
  };
  for (const Case& c : cases) {
    try {
      q.Buffer.IndexOf(c.pattern, c.start);
      ADD_FAILURE() << c.message;
    } catch (const EIdException& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  EXPECT_EQ(q.Buffer.IndexOf(Bytes("cd")), -1) << "a pattern running past the end does not match";
}

TEST(IdBuffer, Extraction) {
  TRecordingBuffer q;
  q.Buffer.Write(Bytes("abcdefgh"));
  TIdBytes out = Bytes("12345");
  q.Buffer.ExtractToBytes(out, 2, false);  // at the start, never shrunk
  EXPECT_EQ(out, Bytes("ab345"));
  q.Buffer.ExtractToBytes(out, 2, true);
  EXPECT_EQ(out, Bytes("ab345cd"));
  TMemoryStream stream;
  q.Buffer.ExtractToStream(stream, 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), 3), "efg");
  EXPECT_THROW(q.Buffer.ExtractToBytes(out, 2), EIdNotEnoughDataInBuffer);
  EXPECT_EQ(q.Buffer.Size(), 1) << "a failed extraction leaves the queue unchanged";
  q.Buffer.ExtractToBytes(out, 0);
  EXPECT_EQ(q.Removed, (std::vector<int>{2, 2, 3}));
  EXPECT_EQ(q.Buffer.ExtractToString(), "h");
  q.Buffer.Write(TIdBytes{'o', 'k', 0xE9});
  EXPECT_EQ(q.Buffer.ExtractToString(3), "ok\xEF\xBF\xBD")
      << "bytes of 128 and more read as U+FFFD";
  EXPECT_EQ(q.Buffer.ExtractToString(0), "");
}

TEST(IdBuffer, ReceivePathGrowsGeometrically) {
  TRecordingBuffer q;
  int reallocations = 0;
  int capacity = 0;
  for (int i = 0; i < 200; ++i) {
    uint8_t* room = q.Buffer.Reserve(32768);
    room[0] = static_cast<uint8_t>(i);
    q.Buffer.Commit(32768);
    if (q.Buffer.Capacity() != capacity) ++reallocations;
    capacity = q.Buffer.Capacity();
  }
  EXPECT_EQ(q.Buffer.Size(), 200 * 32768);
  EXPECT_LT(reallocations, 12);
  EXPECT_EQ(q.Buffer.Data()[199 * 32768], 199);
  q.Buffer.Reserve(100);
  q.Buffer.Commit(0);
  EXPECT_EQ(q.Buffer.Size(), 200 * 32768);
}
