#pragma once

#include <cstdint>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// The position a seek by AOffset from AOrigin gives a stream of ASize bytes now at APosition.
int64_t SeekTarget(int64_t APosition, int64_t ASize, int64_t AOffset, TSeekOrigin AOrigin);
// How many of ACount bytes a read at APosition finds in ASize bytes: none at a position before
// the start (a seek may put it there) or at the end or beyond.
int64_t ReadableCount(int64_t APosition, int64_t ASize, int64_t ACount);

// A sequence of bytes with a position. Read and Write move as many bytes as they can and
// return that count; ReadBuffer and WriteBuffer insist on the whole count.
class TStream {
 public:
  virtual ~TStream() = default;

  virtual int64_t Read(void* ABuffer, int64_t ACount) = 0;
  virtual int64_t Write(const void* ABuffer, int64_t ACount) = 0;
  virtual int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t APos) { Seek(APos, TSeekOrigin::soBeginning); }
  virtual int64_t Size();
  // Streams that cannot change their size raise EStreamError.
  virtual void SetSize(int64_t ANewSize);

  // EReadError "Stream read error" unless all count bytes arrive.
  void ReadBuffer(void* ABuffer, int64_t ACount);
  // EWriteError "Stream write error" unless all count bytes are taken.
  void WriteBuffer(const void* ABuffer, int64_t ACount);
  // Copies count bytes from source's current position (count 0: all of source from its start).
  int64_t CopyFrom(TStream& ASource, int64_t ACount);

 protected:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
};
