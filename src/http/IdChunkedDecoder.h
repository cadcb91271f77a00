#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The framing of a chunked body, read from the bytes as they come: size lines, each chunk's
// data and the line end after it, the trailer's lines, the empty line that ends it all. A line
// ends at LF, with or without a CR before it. It knows nothing of connections, so it is tried
// on strings and fuzzed on its own; the client feeds it what the connection buffered.
class TIdChunkedDecoder {
 public:
  enum class TState {
    csSizeLine,  // within a chunk's size line (its extensions after ";" are passed over)
    csData,      // within a chunk's data
    csDataEnd,   // the line end the data must be followed by
    csTrailer,   // the trailer's lines, up to the empty one
    csDone,      // the body is whole; what follows is no part of it
    csFailed,    // Fault() says why; nothing more is taken
  };

  enum class TFault {
    cfNone,
    cfSizeNotHex,      // no hexadecimal number before ";"
    cfSizeOutOfRange,  // more than 32 bits, or more hex digits than any size needs
    cfLineTooLong,     // a size or trailer line longer than the limit
    cfDataNotEnded,    // something other than a line end after a chunk's data
    cfTrailerControl,  // a NUL or a bare CR in a trailer line
    cfTrailerTooLong,  // more trailer lines than the limit
  };

  // The most hex digits of a size, leading zeros included.
  static constexpr size_t kMaxSizeDigits = 16;

  // AMaxLineLength: the longest size or trailer line, in bytes before the LF (0: any).
  // AMaxTrailerLines: the most trailer lines (0: any).
  TIdChunkedDecoder(size_t AMaxLineLength, int AMaxTrailerLines);

  // Takes bytes from the start of ABytes and returns how many it took. It stops at the end of
  // ABytes, when the body is whole or has failed, and right after each size line that starts
  // a chunk (so that the caller sees ChunkSize before any of its data). The data of chunks is
  // appended to VData.
  size_t Feed(std::string_view ABytes, std::string& VData);
  // The caller took ACount bytes of the current chunk's data itself (at most DataRemaining).
  void DataTaken(uint32_t ACount);

  TState State() const { return FState; }
  TFault Fault() const { return FFault; }
  // The size of the chunk last begun, and how much of its data is still to come.
  uint32_t ChunkSize() const { return FChunkSize; }
  uint32_t DataRemaining() const { return FDataRemaining; }
  // The trailer's lines so far (without their line ends); TakeTrailer empties the list.
  const std::vector<std::string>& Trailer() const { return FTrailer; }
  std::vector<std::string> TakeTrailer();

 private:
  // Adds one byte of a line; true when it ended the line (taken without its line end).
  bool LineByte(char c);
  void SizeLineEnded();
  void TrailerLineEnded();
  void Fail(TFault AFault);

  size_t FMaxLineLength;
  int FMaxTrailerLines;
  TState FState = TState::csSizeLine;
  TFault FFault = TFault::cfNone;
  std::string FLine;
  // csDataEnd: a CR came, the LF must follow.
  bool FSawCR = false;
  uint32_t FChunkSize = 0;
  uint32_t FDataRemaining = 0;
  int FTrailerLines = 0;
  std::vector<std::string> FTrailer;
};
