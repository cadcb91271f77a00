#pragma once

#include <string>

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "base/Exception.h"
#include "base/Stream.h"

PLENWICK_DECLARE_EXCEPTION(EZLibError, Exception)
PLENWICK_DECLARE_EXCEPTION(EZCompressionError, EZLibError)
PLENWICK_DECLARE_EXCEPTION(EZDecompressionError, EZLibError)

enum class TZCompressionLevel { zcNone, zcFastest, zcDefault, zcMax };

// zlib's text for a negative result code ("data error", ...).
std::string ZErrorText(int ACode);

// A stream that runs the bytes of another stream (the source or the destination, not owned)
// through zlib, with a 64 KiB buffer between the two.
class TCustomZStream : public TStream {
 public:
  static constexpr int64_t kBufferSize = 65536;

  ~TCustomZStream() override = default;

  // Called after every refill (reading) or flush (writing) of the buffer.
  std::function<void(TCustomZStream& ASender)> OnProgress;

 protected:
  explicit TCustomZStream(TStream& AStream);
  void DoProgress() {
    if (OnProgress) OnProgress(*this);
  }

  TStream* FStream;
  int64_t FStreamStartPos;
  int64_t FStreamPos;
  z_stream FZStream{};
  std::unique_ptr<uint8_t[]> FBuffer;
};

// Inflates the bytes of a source stream; windowBits -15 takes raw deflate data (no zlib or gzip
// wrapper), as ZIP entries hold it. Reading stops at the end of the deflate data and leaves the
// source right after it.
class TZDecompressionStream : public TCustomZStream {
 public:
  TZDecompressionStream(TStream& ASource, int AWindowBits);
  ~TZDecompressionStream() override;

  int64_t Read(void* ABuffer, int64_t ACount) override;
  // Raises EZDecompressionError "Invalid ZStream operation!".
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  // Forward moves inflate and drop; backward moves start over from the source's start position;
  // positions relative to the end raise "Invalid ZStream operation!".
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;

 private:
  int64_t ReadChunk(uint8_t* AOut, uInt ACount);
  void Restart();

  int64_t FPosition = 0;  // uncompressed bytes produced so far
};

// Deflates the bytes written to it into a destination stream. Finish writes what zlib still
// holds; the destructor finishes too, but can only drop a failure, so callers that must know
// call Finish.
class TZCompressionStream : public TCustomZStream {
 public:
  TZCompressionStream(TStream& ADest, TZCompressionLevel ALevel, int AWindowBits);
  ~TZCompressionStream() override;

  // Raises EZCompressionError "Invalid ZStream operation!".
  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  // Only reports the position (the count of bytes written); any move raises.
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  void Finish();

 private:
  void FlushBuffer();

  int64_t FPosition = 0;  // uncompressed bytes taken so far
  bool FFinished = false;
};
