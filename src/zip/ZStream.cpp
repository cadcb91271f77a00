#include "zip/ZStream.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "base/Texts.h"

std::string ZErrorText(int ACode) {
  switch (ACode) {
    case Z_ERRNO:
      return Text(RSZLibFileError);
    case Z_STREAM_ERROR:
      return Text(RSZLibStreamError);
    case Z_DATA_ERROR:
      return Text(RSZLibDataError);
    case Z_MEM_ERROR:
      return Text(RSZLibMemError);
    case Z_BUF_ERROR:
      return Text(RSZLibBufError);
    case Z_VERSION_ERROR:
      return Text(RSZLibVersionError);
    default:
      return "";
  }
}

TCustomZStream::TCustomZStream(TStream& AStream)
    : FStream(&AStream),
      FStreamStartPos(AStream.Position()),
      FStreamPos(FStreamStartPos),
      FBuffer(std::make_unique_for_overwrite<uint8_t[]>(kBufferSize)) {}

// --- inflate ---

TZDecompressionStream::TZDecompressionStream(TStream& ASource, int AWindowBits)
    : TCustomZStream(ASource) {
  const int rc = inflateInit2(&FZStream, AWindowBits);
  if (rc < 0) throw EZDecompressionError(ZErrorText(rc));
}

TZDecompressionStream::~TZDecompressionStream() {
  inflateEnd(&FZStream);
}

int64_t TZDecompressionStream::Read(void* ABuffer, int64_t ACount) {
  auto* out = static_cast<uint8_t*>(ABuffer);
  int64_t done = 0;
  // zlib counts in 32 bits; larger requests go through in pieces.
  while (done < ACount) {
    const auto piece = static_cast<uInt>(std::min<int64_t>(ACount - done, INT_MAX));
    const int64_t n = ReadChunk(out + done, piece);
    done += n;
    if (n < piece) break;
  }
  return done;
}

int64_t TZDecompressionStream::ReadChunk(uint8_t* AOut, uInt ACount) {
  FZStream.next_out = AOut;
  FZStream.avail_out = ACount;
  if (FStream->Position() != FStreamPos) FStream->SetPosition(FStreamPos);
  int result = Z_OK;
  while (FZStream.avail_out > 0 && result != Z_STREAM_END) {
    if (FZStream.avail_in == 0) {
      const int64_t got = FStream->Read(FBuffer.get(), kBufferSize);
      if (got <= 0) break;
      FZStream.next_in = FBuffer.get();
      FZStream.avail_in = static_cast<uInt>(got);
      FStreamPos += got;
      DoProgress();
    }
    result = inflate(&FZStream, Z_NO_FLUSH);
    if (result < 0) throw EZDecompressionError(ZErrorText(result));
  }
  if (result == Z_STREAM_END && FZStream.avail_in > 0) {
    // Give back what was read past the deflate data, so the source stands right after it.
    FStreamPos -= FZStream.avail_in;
    FStream->SetPosition(FStreamPos);
    FZStream.avail_in = 0;
  }
  const int64_t produced = ACount - FZStream.avail_out;
  FPosition += produced;
  return produced;
}

int64_t TZDecompressionStream::Write(const void*, int64_t) {
  throw EZDecompressionError("Invalid ZStream operation!");
}

void TZDecompressionStream::Restart() {
  const int rc = inflateReset(&FZStream);
  if (rc < 0) throw EZDecompressionError(ZErrorText(rc));
  FZStream.avail_in = 0;
  FStreamPos = FStreamStartPos;
  FPosition = 0;
}

int64_t TZDecompressionStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  int64_t target;
  switch (AOrigin) {
    case TSeekOrigin::soBeginning:
      target = AOffset;
      break;
    case TSeekOrigin::soCurrent:
      target = FPosition + AOffset;
      break;
    default:
      throw EZDecompressionError("Invalid ZStream operation!");
  }
  if (target < 0) throw EZDecompressionError("Invalid ZStream operation!");
  if (target < FPosition) Restart();
  std::array<uint8_t, 8192> scratch;
  while (FPosition < target) {
    const int64_t want = std::min<int64_t>(target - FPosition, scratch.size());
    if (Read(scratch.data(), want) < want) break;
  }
  return FPosition;
}

// --- deflate ---

namespace {
int ZLevel(TZCompressionLevel ALevel) {
  switch (ALevel) {
    case TZCompressionLevel::zcNone:
      return Z_NO_COMPRESSION;
    case TZCompressionLevel::zcFastest:
      return Z_BEST_SPEED;
    case TZCompressionLevel::zcMax:
      return Z_BEST_COMPRESSION;
    default:
      return Z_DEFAULT_COMPRESSION;
  }
}
}  // namespace

TZCompressionStream::TZCompressionStream(TStream& ADest, TZCompressionLevel ALevel, int AWindowBits)
    : TCustomZStream(ADest) {
  const int rc =
      deflateInit2(&FZStream, ZLevel(ALevel), Z_DEFLATED, AWindowBits, 8, Z_DEFAULT_STRATEGY);
  if (rc < 0) throw EZCompressionError(ZErrorText(rc));
  FZStream.next_out = FBuffer.get();
  FZStream.avail_out = kBufferSize;
}

TZCompressionStream::~TZCompressionStream() {
  try {
    Finish();
  } catch (const Exception&) {
    // A destructor cannot raise; Finish reports this to callers that ask.
  }
  deflateEnd(&FZStream);
}

int64_t TZCompressionStream::Read(void*, int64_t) {
  throw EZCompressionError("Invalid ZStream operation!");
}

void TZCompressionStream::FlushBuffer() {
  const int64_t n = kBufferSize - FZStream.avail_out;
  if (n > 0) {
    if (FStream->Position() != FStreamPos) FStream->SetPosition(FStreamPos);
    FStream->WriteBuffer(FBuffer.get(), n);
    FStreamPos = FStream->Position();
    DoProgress();
  }
  FZStream.next_out = FBuffer.get();
  FZStream.avail_out = kBufferSize;
}

int64_t TZCompressionStream::Write(const void* ABuffer, int64_t ACount) {
  if (FFinished) throw EZCompressionError("Invalid ZStream operation!");
  const auto* in = static_cast<const uint8_t*>(ABuffer);
  int64_t done = 0;
  while (done < ACount) {
    const auto piece = static_cast<uInt>(std::min<int64_t>(ACount - done, INT_MAX));
    FZStream.next_in = const_cast<uint8_t*>(in + done);  // zlib does not write through it
    FZStream.avail_in = piece;
    while (FZStream.avail_in > 0) {
      const int rc = deflate(&FZStream, Z_NO_FLUSH);
      if (rc < 0) throw EZCompressionError(ZErrorText(rc));
      if (FZStream.avail_out == 0) FlushBuffer();
    }
    done += piece;
  }
  FPosition += done;
  return done;
}

void TZCompressionStream::Finish() {
  if (FFinished) return;
  FFinished = true;
  int rc;
  do {
    rc = deflate(&FZStream, Z_FINISH);
    if (rc < 0 && rc != Z_BUF_ERROR) throw EZCompressionError(ZErrorText(rc));
    FlushBuffer();
  } while (rc != Z_STREAM_END);
}

int64_t TZCompressionStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  if ((AOrigin == TSeekOrigin::soCurrent && AOffset == 0) ||
      (AOrigin == TSeekOrigin::soBeginning && AOffset == FPosition))
    return FPosition;
  throw EZCompressionError("Invalid ZStream operation!");
}
