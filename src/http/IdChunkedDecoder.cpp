#include "http/IdChunkedDecoder.h"

#include <algorithm>
#include <utility>

#include "base/StrUtils.h"

TIdChunkedDecoder::TIdChunkedDecoder(size_t AMaxLineLength, int AMaxTrailerLines)
    : FMaxLineLength(AMaxLineLength), FMaxTrailerLines(AMaxTrailerLines) {}

size_t TIdChunkedDecoder::Feed(std::string_view ABytes, std::string& VData) {
  size_t at = 0;
  while (at < ABytes.size()) {
    switch (FState) {
      case TState::csSizeLine:
        if (LineByte(ABytes[at++])) {
          SizeLineEnded();
          // The caller looks at each chunk's size before its data.
          if (FState == TState::csData) return at;
        }
        break;
      case TState::csData: {
        const size_t count = std::min<size_t>(FDataRemaining, ABytes.size() - at);
        VData.append(ABytes.substr(at, count));
        at += count;
        DataTaken(static_cast<uint32_t>(count));
        break;
      }
      case TState::csDataEnd: {
        const char c = ABytes[at++];
        if (c == '\n') {
          FSawCR = false;
          FState = TState::csSizeLine;
        } else if (c == '\r' && !FSawCR) {
          FSawCR = true;
        } else {
          // Data longer than its size said, or framing out of step: nothing after it can be
          // trusted.
          Fail(TFault::cfDataNotEnded);
        }
        break;
      }
      case TState::csTrailer:
        if (LineByte(ABytes[at++])) TrailerLineEnded();
        break;
      case TState::csDone:
      case TState::csFailed:
        return at;
    }
  }
  return at;
}

void TIdChunkedDecoder::DataTaken(uint32_t ACount) {
  FDataRemaining -= std::min(ACount, FDataRemaining);
  if (FState == TState::csData && FDataRemaining == 0) FState = TState::csDataEnd;
}

std::vector<std::string> TIdChunkedDecoder::TakeTrailer() {
  return std::exchange(FTrailer, {});
}

bool TIdChunkedDecoder::LineByte(char c) {
  if (c == '\n') {
    if (!FLine.empty() && FLine.back() == '\r') FLine.pop_back();
    return true;
  }
  FLine += c;
  // Known too long before its end comes, so a line that never ends cannot grow without bound.
  if (FMaxLineLength > 0 && FLine.size() > FMaxLineLength) Fail(TFault::cfLineTooLong);
  return false;
}

void TIdChunkedDecoder::SizeLineEnded() {
  const std::string line = std::exchange(FLine, {});
  const std::string_view digits = Trim(std::string_view(line).substr(0, line.find(';')));
  if (digits.empty()) return Fail(TFault::cfSizeNotHex);
  uint64_t size = 0;
  for (size_t i = 0; i < digits.size(); ++i) {
    const int d = HexValue(digits[i]);
    if (d < 0) return Fail(TFault::cfSizeNotHex);
    if (i == kMaxSizeDigits) return Fail(TFault::cfSizeOutOfRange);
    size = size * 16 + static_cast<uint64_t>(d);
    if (size > UINT32_MAX) return Fail(TFault::cfSizeOutOfRange);
  }
  FChunkSize = static_cast<uint32_t>(size);
  FDataRemaining = FChunkSize;
  FState = FChunkSize == 0 ? TState::csTrailer : TState::csData;
}

void TIdChunkedDecoder::TrailerLineEnded() {
  std::string line = std::exchange(FLine, {});
  if (line.empty()) {
    FState = TState::csDone;
    return;
  }
  // Parsers disagree on where such a line ends: one may take a field another passes over.
  if (line.find_first_of(std::string_view("\0\r", 2)) != std::string::npos)
    return Fail(TFault::cfTrailerControl);
  if (FMaxTrailerLines > 0 && FTrailerLines == FMaxTrailerLines)
    return Fail(TFault::cfTrailerTooLong);
  ++FTrailerLines;
  FTrailer.push_back(std::move(line));
}

void TIdChunkedDecoder::Fail(TFault AFault) {
  FState = TState::csFailed;
  FFault = AFault;
  FLine.clear();
}
