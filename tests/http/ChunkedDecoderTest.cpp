// The chunked framing on strings: what a message gives (data, trailer, the bytes it took) or
// why it fails, whole and cut into pieces anywhere.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/IdChunkedDecoder.h"

namespace {

using TState = TIdChunkedDecoder::TState;
using TFault = TIdChunkedDecoder::TFault;

constexpr size_t kLineLimit = 40;
constexpr int kTrailerLimit = 3;

struct TDecoded {
  TState State = TState::csSizeLine;
  TFault Fault = TFault::cfNone;
  std::string Data;
  std::vector<std::string> Trailer;
  size_t Taken = 0;  // bytes of the input that belong to the body

  bool operator==(const TDecoded&) const = default;
};

void PrintTo(const TDecoded& d, std::ostream* os) {
  *os << "state " << static_cast<int>(d.State) << ", fault " << static_cast<int>(d.Fault)
      << ", data \"" << d.Data << "\", " << d.Trailer.size() << " trailer lines, took " << d.Taken;
}

// Feeds APieces one after the other, each until the decoder takes no more of it.
TDecoded Decode(const std::vector<std::string>& APieces) {
  TIdChunkedDecoder decoder(kLineLimit, kTrailerLimit);
  TDecoded out;
  for (const std::string& piece : APieces) {
    std::string_view rest = piece;
    for (;;) {
      const size_t taken = decoder.Feed(rest, out.Data);
      out.Taken += taken;
      rest.remove_prefix(taken);
      if (rest.empty() || taken == 0) break;
    }
  }
  out.State = decoder.State();
  out.Fault = decoder.Fault();
  out.Trailer = decoder.Trailer();
  return out;
}

struct TMessageCase {
  const char* Name;
  std::string Message;
  TDecoded Expected;
};

TDecoded Done(std::string AData, size_t ATaken, std::vector<std::string> ATrailer = {}) {
  return {TState::csDone, TFault::cfNone, std::move(AData), std::move(ATrailer), ATaken};
}

TDecoded Failed(TFault AFault, std::string AData = {}) {
  TDecoded d;
  d.State = TState::csFailed;
  d.Fault = AFault;
  d.Data = std::move(AData);
  return d;
}

const std::string kLongest(kLineLimit, 'x');

// Taken is left out of the failures' expectations: where a failure is found depends on how far
// the fault lies in the message, which the table does not repeat.
const TMessageCase kMessages[] = {
    {"TwoChunks", "5\r\nhello\r\n7\r\n, world\r\n0\r\n\r\n", Done("hello, world", 27)},
    {"NoChunks", "0\r\n\r\n", Done("", 5)},
    {"BareLineFeeds", "5\nhello\n0\n\n", Done("hello", 11)},
    {"UpperAndLowerCaseHex", "A\r\n0123456789\r\nb\r\nabcdefghijk\r\n0\r\n\r\n",
     Done("0123456789abcdefghijk", 36)},
    {"ExtensionsPassedOver", "3;name=\"a;b\"\r\nabc\r\n0;last\r\n\r\n", Done("abc", 29)},
    {"BlanksAroundTheSize", " 3 \t;x\r\nabc\r\n0\r\n\r\n", Done("abc", 18)},
    {"LeadingZeros", "0000000000000003\r\nabc\r\n0\r\n\r\n", Done("abc", 28)},
    {"LineEndsInTheData", "4\r\n\r\n\r\n\r\n0\r\n\r\n", Done("\r\n\r\n", 14)},
    {"Trailer", "1\r\nx\r\n0\r\nX-A: 1\r\nX-B: 2\r\n\r\n", Done("x", 27, {"X-A: 1", "X-B: 2"})},
    // A line's limit counts the bytes before its LF, a CR among them.
    {"LongestLines",
     "1;" + std::string(kLineLimit - 3, 'e') + "\r\nx\r\n0\r\n" + kLongest + "\n\r\n",
     Done("x", kLineLimit + 1 + 6 + kLineLimit + 1 + 2, {kLongest})},
    {"TrailerLinesToTheLimit", "0\r\na: 1\r\nb: 2\r\nc: 3\r\n\r\n",
     Done("", 23, {"a: 1", "b: 2", "c: 3"})},
    {"BytesAfterTheEndAreNotTaken", "1\r\nx\r\n0\r\n\r\nHTTP/1.1 200 OK\r\n", Done("x", 11)},
    {"LargestSize", "ffffffff\r\nabc", {TState::csData, TFault::cfNone, "abc", {}, 13}},
    // The line end after the data, checked.
    {"DataLongerThanItsSize", "3\r\nabcd\r\n0\r\n\r\n", Failed(TFault::cfDataNotEnded, "abc")},
    {"DataWithoutItsLineEnd", "3\r\nabc0\r\n\r\n", Failed(TFault::cfDataNotEnded, "abc")},
    {"CRWithoutLF", "3\r\nabc\r0\r\n\r\n", Failed(TFault::cfDataNotEnded, "abc")},
    {"TwoCRs", "3\r\nabc\r\r\n0\r\n\r\n", Failed(TFault::cfDataNotEnded, "abc")},
    // Sizes.
    {"EmptySizeLine", "\r\n", Failed(TFault::cfSizeNotHex)},
    {"OnlyAnExtension", ";x\r\n", Failed(TFault::cfSizeNotHex)},
    {"NotHex", "2\r\nok\r\nzz\r\n", Failed(TFault::cfSizeNotHex, "ok")},
    {"SignedSize", "+5\r\nhello\r\n", Failed(TFault::cfSizeNotHex)},
    {"TwoNumbers", "5 6\r\nhello\r\n", Failed(TFault::cfSizeNotHex)},
    {"HexPrefix", "0x5\r\nhello\r\n", Failed(TFault::cfSizeNotHex)},
    {"Past32Bits", "100000000\r\n", Failed(TFault::cfSizeOutOfRange)},
    {"FortyBits", "ffffffffff\r\nabc", Failed(TFault::cfSizeOutOfRange)},
    {"SeventeenDigits", "00000000000000003\r\nabc\r\n", Failed(TFault::cfSizeOutOfRange)},
    // Lines past the limit, found before their end comes.
    {"SizeLineTooLong", "1;" + std::string(kLineLimit, 'e'), Failed(TFault::cfLineTooLong)},
    {"TrailerLineTooLong", "0\r\n" + kLongest + "x", Failed(TFault::cfLineTooLong)},
    // Trailer lines the head would refuse too.
    {"TooManyTrailerLines",
     "0\r\na: 1\r\nb: 2\r\nc: 3\r\nd: 4\r\n\r\n",
     {TState::csFailed, TFault::cfTrailerTooLong, "", {"a: 1", "b: 2", "c: 3"}, 0}},
    {"NulInTheTrailer", std::string("0\r\nX-T: \0\r\n\r\n", 13), Failed(TFault::cfTrailerControl)},
    {"BareCRInTheTrailer", "0\r\nX-T: a\rb\r\n\r\n", Failed(TFault::cfTrailerControl)},
};

void PrintTo(const TMessageCase& c, std::ostream* os) {
  *os << c.Name;
}

class ChunkedMessages : public ::testing::TestWithParam<TMessageCase> {};

TEST_P(ChunkedMessages, DecodeWholeAndInAnyTwoPieces) {
  const TMessageCase& c = GetParam();
  TDecoded whole = Decode({c.Message});
  if (c.Expected.State == TState::csFailed) whole.Taken = 0;
  EXPECT_EQ(whole, c.Expected);
  for (size_t at = 0; at <= c.Message.size(); ++at) {
    SCOPED_TRACE("split after " + std::to_string(at) + " bytes");
    TDecoded split = Decode({c.Message.substr(0, at), c.Message.substr(at)});
    if (c.Expected.State == TState::csFailed) split.Taken = 0;
    EXPECT_EQ(split, c.Expected);
  }
}

TEST_P(ChunkedMessages, DecodeAByteAtATime) {
  const TMessageCase& c = GetParam();
  std::vector<std::string> bytes;
  for (char b : c.Message)
    bytes.emplace_back(1, b);
  TDecoded decoded = Decode(bytes);
  if (c.Expected.State == TState::csFailed) decoded.Taken = 0;
  EXPECT_EQ(decoded, c.Expected);
}

INSTANTIATE_TEST_SUITE_P(TIdChunkedDecoder, ChunkedMessages, ::testing::ValuesIn(kMessages),
                         [](const auto& info) { return std::string(info.param.Name); });

// The caller sees each chunk's size before its data, and may take the data itself.
TEST(TIdChunkedDecoder, StopsBeforeEachChunksDataForTheCallerToTake) {
  TIdChunkedDecoder decoder(kLineLimit, kTrailerLimit);
  std::string_view rest = "5;x\r\nhello\r\n3\r\nabc\r\n0\r\n\r\n";
  std::string data;
  std::vector<uint32_t> sizes;
  while (decoder.State() != TState::csDone && decoder.State() != TState::csFailed) {
    if (decoder.State() == TState::csData) {
      sizes.push_back(decoder.ChunkSize());
      ASSERT_EQ(decoder.DataRemaining(), decoder.ChunkSize());
      rest.remove_prefix(decoder.DataRemaining());
      decoder.DataTaken(decoder.DataRemaining());
      continue;
    }
    rest.remove_prefix(decoder.Feed(rest, data));
  }
  EXPECT_EQ(decoder.State(), TState::csDone);
  EXPECT_EQ(sizes, (std::vector<uint32_t>{5, 3}));
  EXPECT_EQ(data, "") << "no data passes through Feed when the caller takes it";
  EXPECT_EQ(rest, "");
}

TEST(TIdChunkedDecoder, TakesNothingOnceDoneOrFailed) {
  for (const std::string& message : {std::string("0\r\n\r\n"), std::string("zz\r\n")}) {
    TIdChunkedDecoder decoder(kLineLimit, kTrailerLimit);
    std::string data;
    const size_t taken = decoder.Feed(message, data);
    ASSERT_EQ(taken, message.size());
    EXPECT_EQ(decoder.Feed("1\r\nx\r\n", data), 0u) << message;
    EXPECT_EQ(data, "");
  }
}

TEST(TIdChunkedDecoder, TakeTrailerHandsOverTheLinesOnce) {
  TIdChunkedDecoder decoder(kLineLimit, kTrailerLimit);
  std::string data;
  decoder.Feed("0\r\nA: 1\r\n", data);
  EXPECT_EQ(decoder.TakeTrailer(), (std::vector<std::string>{"A: 1"}));
  decoder.Feed("B: 2\r\n\r\n", data);
  EXPECT_EQ(decoder.TakeTrailer(), (std::vector<std::string>{"B: 2"}));
  EXPECT_EQ(decoder.State(), TState::csDone);
}

TEST(TIdChunkedDecoder, ZeroLimitsBoundNothing) {
  TIdChunkedDecoder decoder(0, 0);
  std::string data;
  std::string message = "1;" + std::string(100000, 'e') + "\r\nx\r\n0\r\n";
  for (int i = 0; i < 300; ++i)
    message += "X-" + std::to_string(i) + ": v\r\n";
  message += "\r\n";
  EXPECT_EQ(decoder.Feed(message, data), 2u + 100000 + 2);
  EXPECT_EQ(decoder.State(), TState::csData);
  decoder.Feed(message.substr(100004), data);
  EXPECT_EQ(decoder.State(), TState::csDone);
  EXPECT_EQ(data, "x");
  EXPECT_EQ(decoder.Trailer().size(), 300u);
}

}  // namespace
