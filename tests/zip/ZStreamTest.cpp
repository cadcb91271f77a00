// The zlib streams on their own: the inflate read loop and the deflate writer.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

#include "ZipTestSupport.h"
#include "zip/ZStream.h"

using namespace ziptest;

namespace {
std::string Noise(size_t size) {
  std::string s(size, '\0');
  uint32_t seed = 99;
  for (char& c : s) {
    seed = seed * 1103515245 + 12345;
    c = static_cast<char>(seed >> 24);
  }
  return s;
}

std::string ReadAll(TStream& s, int64_t piece) {
  std::string out;
  std::string buf(static_cast<size_t>(piece), '\0');
  for (;;) {
    const int64_t n = s.Read(buf.data(), piece);
    if (n <= 0) break;
    out.append(buf, 0, static_cast<size_t>(n));
  }
  return out;
}
}  // namespace

TEST(ZDecompressionStream, StopsAtTheEndOfTheDeflateDataAndLeavesTheSourceThere) {
  const std::string data = Noise(200000) + std::string(100000, 'z');
  const std::string deflated = RawDeflate(data);
  ASSERT_GT(deflated.size(), 3u * 65536);
  for (int64_t piece : {int64_t{1000}, int64_t{61440}, int64_t{1} << 20}) {
    SCOPED_TRACE(piece);
    auto source = MemoryStreamOf("head" + deflated + "TRAILER");
    source->SetPosition(4);
    TZDecompressionStream z(*source, -15);
    int refills = 0;
    z.OnProgress = [&refills](TCustomZStream&) { ++refills; };
    EXPECT_TRUE(ReadAll(z, piece) == data);
    EXPECT_EQ(z.Position(), static_cast<int64_t>(data.size()));
    // One refill per 64 KiB of deflate data, and one more by the last read, which finds the
    // end: it reads the trailer and gives it back.
    EXPECT_EQ(refills, static_cast<int>((deflated.size() + 65535) / 65536) + 1);
    EXPECT_EQ(source->Position(), static_cast<int64_t>(4 + deflated.size()));
    // Reading on at the end gives nothing and keeps the source where it is.
    char c;
    EXPECT_EQ(z.Read(&c, 1), 0);
    EXPECT_EQ(source->Position(), static_cast<int64_t>(4 + deflated.size()));
  }
}

TEST(ZDecompressionStream, FollowsItsOwnSourcePositionWhenOthersMoveTheSource) {
  const std::string data = Noise(100000);
  auto source = MemoryStreamOf(RawDeflate(data));
  TZDecompressionStream z(*source, -15);
  std::string first(1000, '\0');
  ASSERT_EQ(z.Read(first.data(), 1000), 1000);
  source->SetPosition(0);  // someone else reads the archive stream in between
  EXPECT_TRUE(first + ReadAll(z, 4096) == data);
}

TEST(ZDecompressionStream, CutDataEndsShortAndBadDataRaises) {
  const std::string data = Noise(150000);
  const std::string deflated = RawDeflate(data);
  auto cut = MemoryStreamOf(deflated.substr(0, deflated.size() / 2));
  TZDecompressionStream z(*cut, -15);
  const std::string got = ReadAll(z, 61440);
  EXPECT_LT(got.size(), data.size());
  EXPECT_TRUE(got == data.substr(0, got.size()));

  auto bad = MemoryStreamOf("\xFF\xFF\xFF\xFF");
  TZDecompressionStream broken(*bad, -15);
  char buf[16];
  EXPECT_RAISES(broken.Read(buf, sizeof buf), EZDecompressionError, "data error");
  EXPECT_RAISES(broken.Write(buf, 1), EZDecompressionError, "Invalid ZStream operation!");
}

TEST(ZDecompressionStream, ZlibErrorTexts) {
  EXPECT_EQ(ZErrorText(Z_ERRNO), "file error");
  EXPECT_EQ(ZErrorText(Z_STREAM_ERROR), "stream error");
  EXPECT_EQ(ZErrorText(Z_DATA_ERROR), "data error");
  EXPECT_EQ(ZErrorText(Z_MEM_ERROR), "insufficient memory");
  EXPECT_EQ(ZErrorText(Z_BUF_ERROR), "buffer error");
  EXPECT_EQ(ZErrorText(Z_VERSION_ERROR), "incompatible version");
  auto source = MemoryStreamOf("x");
  EXPECT_RAISES(TZDecompressionStream(*source, 99), EZDecompressionError, "stream error");
}

TEST(ZCompressionStream, WritesRawDeflateThatZlibInflates) {
  const std::string data = Noise(100000) + std::string(200000, 'q');
  TMemoryStream out;
  out.WriteBuffer("hdr", 3);
  {
    TZCompressionStream z(out, TZCompressionLevel::zcDefault, -15);
    for (size_t i = 0; i < data.size(); i += 7000)
      z.WriteBuffer(data.data() + i, static_cast<int64_t>(std::min<size_t>(7000, data.size() - i)));
    EXPECT_EQ(z.Position(), static_cast<int64_t>(data.size()));
    z.Finish();
    char c;
    EXPECT_RAISES(z.Read(&c, 1), EZCompressionError, "Invalid ZStream operation!");
  }
  const std::string deflated(reinterpret_cast<const char*>(out.Memory()) + 3,
                             static_cast<size_t>(out.Size() - 3));
  EXPECT_LT(deflated.size(), data.size());
  std::string inflated(data.size() + 10, '\0');
  z_stream z{};
  ASSERT_EQ(inflateInit2(&z, -15), Z_OK);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
  z.avail_in = static_cast<uInt>(deflated.size());
  z.next_out = reinterpret_cast<Bytef*>(inflated.data());
  z.avail_out = static_cast<uInt>(inflated.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u);
  inflated.resize(z.total_out);
  inflateEnd(&z);
  EXPECT_TRUE(inflated == data);
}
