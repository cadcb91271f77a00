#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "base/Exception.h"
#include "base/MemoryStream.h"

TEST(MemoryStream, WriteSeekReadRoundTrip) {
  TMemoryStream s;
  s.WriteBuffer("hello world", 11);
  EXPECT_EQ(s.Size(), 11);
  EXPECT_EQ(s.Position(), 11);
  s.SetPosition(6);
  char buf[16] = {};
  EXPECT_EQ(s.Read(buf, 16), 5);
  EXPECT_STREQ(buf, "world");
  EXPECT_EQ(s.Read(buf, 16), 0);
  EXPECT_EQ(s.Seek(-5, TSeekOrigin::soEnd), 6);
  EXPECT_EQ(s.Seek(2, TSeekOrigin::soCurrent), 8);
}

// A seek may put the position before the start; a read there must not copy from before the
// block (it used to), and a write there takes nothing.
TEST(MemoryStream, ReadAndWriteBeforeTheStartMoveNothing) {
  TMemoryStream s;
  s.WriteBuffer("abcdef", 6);
  for (const int64_t position : {int64_t{-1}, int64_t{-6}, int64_t{-100}}) {
    SCOPED_TRACE(position);
    EXPECT_EQ(s.Seek(position, TSeekOrigin::soBeginning), position);
    char buf[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(s.Read(buf, 8), 0);
    EXPECT_EQ(std::string(buf, 8), "xxxxxxxx");
    EXPECT_EQ(s.Position(), position);
    EXPECT_EQ(s.Write("zz", 2), 0);
  }
  s.SetPosition(0);
  char all[6];
  s.ReadBuffer(all, 6);
  EXPECT_EQ(std::string(all, 6), "abcdef");
}

TEST(MemoryStream, SetSizeAllocatesExactlyAndTruncatesPosition) {
  TMemoryStream s;
  s.SetSize(1000);
  EXPECT_EQ(s.Capacity(), 1000);
  EXPECT_EQ(s.Position(), 0);
  s.SetPosition(900);
  s.SetSize(100);
  EXPECT_EQ(s.Size(), 100);
  EXPECT_EQ(s.Position(), 100);
  EXPECT_THROW(s.SetSize(-1), EStreamError);
}

TEST(MemoryStream, WritePastTheEndZeroFillsTheGap) {
  TMemoryStream s;
  s.WriteBuffer("ab", 2);
  s.SetPosition(5);
  s.WriteBuffer("z", 1);
  ASSERT_EQ(s.Size(), 6);
  EXPECT_EQ(std::memcmp(s.Memory(), "ab\0\0\0z", 6), 0);
}

TEST(MemoryStream, ReadBufferFailsWhenShort) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  s.SetPosition(0);
  char buf[4];
  try {
    s.ReadBuffer(buf, 4);
    FAIL() << "no exception";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
}

TEST(MemoryStream, CopyFromCopiesAcrossBlockBoundaries) {
  TMemoryStream src;
  std::string data(200000, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7);
  src.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  TMemoryStream dst;
  EXPECT_EQ(dst.CopyFrom(src, 0), 200000);
  ASSERT_EQ(dst.Size(), 200000);
  EXPECT_EQ(std::memcmp(dst.Memory(), data.data(), data.size()), 0);
}

// Prefaulting is only a hint: whatever the range (inside, across the ends, empty, on an empty
// stream), the bytes, size, position and capacity stay as they were.
TEST(MemoryStream, PrefaultLeavesContentsAndStateAlone) {
  TMemoryStream empty;
  empty.Prefault(0, 1 << 20);
  EXPECT_EQ(empty.Capacity(), 0);

  TMemoryStream s;
  std::string data(3 * 4096 + 123, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 131 % 251);
  s.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  s.SetPosition(77);
  const struct {
    int64_t offset, count;
  } ranges[] = {{0, 1}, {100, 8192}, {-50, 100},   {4000, 1 << 30},
                {0, 0}, {5000, -3},  {1 << 30, 10}};
  for (const auto& r : ranges) {
    s.Prefault(r.offset, r.count);
    ASSERT_EQ(s.Size(), static_cast<int64_t>(data.size()));
    EXPECT_EQ(s.Position(), 77);
    EXPECT_EQ(std::memcmp(s.Memory(), data.data(), data.size()), 0)
        << "range " << r.offset << " + " << r.count;
  }
  EXPECT_EQ(s.Capacity(), static_cast<int64_t>(data.size()));
}

// Room reserved ahead: growing into it keeps the bytes (and, where the system reserves address
// space, the block's place); growing past it moves the bytes to ordinary memory once; a room
// the system cannot give is ignored.
TEST(MemoryStream, GrowingIntoReservedRoomKeepsTheBytes) {
  std::string head(100000, '\0');
  for (size_t i = 0; i < head.size(); ++i)
    head[i] = static_cast<char>(i * 131 % 251);
  const int64_t room = int64_t{96} << 20;
  TMemoryStream s;
  s.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
  s.ReserveAddressSpace(room);
  const uint8_t* at = s.Memory();
  EXPECT_EQ(std::memcmp(at, head.data(), head.size()), 0);
  EXPECT_EQ(s.Capacity(), static_cast<int64_t>(head.size())) << "address space only";

  for (int64_t size : {int64_t{1} << 20, int64_t{40} << 20, room}) {
    s.SetSize(size);
    s.SetPosition(size - 4);
    s.WriteBuffer("mark", 4);
  }
#ifdef _WIN32
  EXPECT_EQ(s.Memory(), at) << "grown in place";
#endif
  s.WriteBuffer("past", 4);  // beyond the room
  ASSERT_EQ(s.Size(), room + 4);
  EXPECT_EQ(std::memcmp(s.Memory(), head.data(), head.size()), 0);
  for (int64_t end : {int64_t{1} << 20, int64_t{40} << 20, room})
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()) + end - 4, 4), "mark");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()) + room, 4), "past");

  TMemoryStream t;
  t.ReserveAddressSpace(INT64_MAX);
  t.WriteBuffer("x", 1);
  EXPECT_EQ(t.Size(), 1);
  EXPECT_EQ(t.Memory()[0], 'x');
  t.Clear();
  EXPECT_EQ(t.Capacity(), 0);
}
