// Reading a body into a stream: blocks of RecvBufferSize bytes gathered where they are
// received, counted as work, then taken by the stream.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "base/MemoryStream.h"
#include "base/TryFinally.h"
#include "net/IdAntiFreezeBase.h"
#include "net/IdExceptionCore.h"
#include "net/IdIOHandler.h"
#include "net/IdResourceStrings.h"

// Where a block gathers: Available bytes are at hand, Fill waits until ACount are (raising, as
// a read that needs bytes does, when the connection closes first), and Commit hands ACount of
// them to the stream, reporting them as read work.
class TIdIOHandler::TBlockSink {
 public:
  virtual ~TBlockSink() = default;
  virtual int Available() = 0;
  virtual void Fill(int ACount) = 0;
  virtual void Commit(int ACount) = 0;
  // Before each block is filled.
  virtual void BeforeBlock() {}
};

// Any stream: the block gathers in the input buffer and is copied into the stream.
class TIdIOHandler::TBufferedSink : public TBlockSink {
 public:
  TBufferedSink(TIdIOHandler& AHandler, TStream& AStream) : FHandler(AHandler), FStream(AStream) {}

  int Available() override { return FHandler.FInputBuffer->Size(); }
  void Fill(int ACount) override { FHandler.WaitForBuffered(ACount); }
  void Commit(int ACount) override {
    if (ACount <= 0) return;
    // One copy from the input buffer into the stream; the removal reports the work.
    FStream.WriteBuffer(FHandler.FInputBuffer->Data(), ACount);
    FHandler.FInputBuffer->Remove(ACount);
  }

 private:
  TIdIOHandler& FHandler;
  TStream& FStream;
};

// A memory stream of known length: the socket's bytes go straight into the stream's memory
// instead of through the input buffer. Bytes received ahead of the current block ("pending")
// sit after the stream's position, exactly where the input buffer would have held them, and
// are counted when their block is committed.
class TIdIOHandler::TDirectSink : public TBlockSink {
 public:
  TDirectSink(TIdIOHandler& AHandler, TMemoryStream& AStream, int64_t ASize)
      : FHandler(AHandler), FStream(AStream), FRemaining(ASize), FEnd(AStream.Position() + ASize) {}

  int Available() override {
    AbsorbBuffered();
    return static_cast<int>(FPending);
  }
  void Fill(int ACount) override {
    const int block = std::max(FHandler.RecvBufferSize, 1);
    AbsorbBuffered();
    while (FPending < ACount) {
      int received;
      if (FRemaining - FPending >= block) {
        MakeRoom(block);
        received = FHandler.ReceiveInto(Destination(), block, false, IdTimeoutDefault, true);
        if (received > 0) FPending += received;
      } else {
        // The last receive may bring bytes beyond the body: they stay in the input buffer.
        received = FHandler.ReceiveIntoBuffer(false, IdTimeoutDefault, true);
        AbsorbBuffered();
      }
      if (received > 0 && FPending >= ACount) break;
      FHandler.CheckForDisconnect(true, true);
      AbsorbBuffered();
    }
  }
  void Commit(int ACount) override {
    if (ACount <= 0) return;
    FStream.Seek(ACount, TSeekOrigin::soCurrent);
    FPending -= ACount;
    FRemaining -= ACount;
    FHandler.DoWork(wmRead, ACount);
  }
  // The stream's fresh pages are made present a stretch at a time ahead of the receives: one
  // call instead of a page fault per page inside every receive, and the sender keeps filling
  // the socket buffer meanwhile.
  void BeforeBlock() override {
    const int block = std::max(FHandler.RecvBufferSize, 1);
    if (FPrefaulted < 0) FPrefaulted = FStream.Position();
    if (FStream.Position() + FPending + block > FPrefaulted && FPrefaulted < FEnd) {
      const int64_t stretch = std::min(kPrefaultStretch, FEnd - FPrefaulted);
      FStream.Prefault(FPrefaulted, stretch);
      FPrefaulted += stretch;
    }
  }

 private:
  // How far ahead of the receives the stream's pages are made present.
  static constexpr int64_t kPrefaultStretch = int64_t{2} << 20;

  uint8_t* Destination() { return FStream.Memory() + FStream.Position() + FPending; }
  // Room for ACount more bytes at the destination: a stream sized short of the announced length
  // doubles, up to that length.
  void MakeRoom(int64_t ACount) {
    const int64_t needed = FStream.Position() + FPending + ACount;
    if (needed <= FStream.Size()) return;
    const int64_t end = FStream.Position() + FRemaining;
    FStream.SetSize(std::min(end, std::max(needed, FStream.Size() * 2)));
  }
  // Buffered bytes come first: those that arrived with the headers, and those a handler's
  // connection poll pulled in during the read.
  void AbsorbBuffered() {
    TIdBuffer& buffer = *FHandler.FInputBuffer;
    const int n = static_cast<int>(std::min<int64_t>(buffer.Size(), FRemaining - FPending));
    if (n <= 0) return;
    MakeRoom(n);
    std::memcpy(Destination(), buffer.Data(), static_cast<size_t>(n));
    buffer.RemoveUnreported(n);
    FPending += n;
  }

  TIdIOHandler& FHandler;
  TMemoryStream& FStream;
  int64_t FRemaining;
  int64_t FPending = 0;
  int64_t FPrefaulted = -1;  // not yet: from where the first block goes
  const int64_t FEnd;
};

void TIdIOHandler::ReadStream(TStream& AStream, int64_t ASize, bool AReadUntilDisconnect) {
  if (ASize == -1 && !AReadUntilDisconnect) {
    // A 32-bit size in network byte order comes first.
    TIdBytes prefix;
    ReadBytes(prefix, 4, false);
    ASize = static_cast<int64_t>(static_cast<uint32_t>(prefix[0]) << 24 |
                                 static_cast<uint32_t>(prefix[1]) << 16 |
                                 static_cast<uint32_t>(prefix[2]) << 8 | prefix[3]);
  } else if (ASize < 0) {
    AReadUntilDisconnect = true;
  }
  if (ASize >= 0) {
    const int64_t position = AStream.Position();
    if (position > std::numeric_limits<int64_t>::max() - ASize)
      throw EIdIOHandlerStreamDataTooLarge(Text(RSDataTooLarge));
    // The part of an announced length beyond what is sized now costs address space only, where
    // the system can reserve it (Windows): the stream then grows into it without copying.
    if (TMemoryStream* memory = dynamic_cast<TMemoryStream*>(&AStream);
        memory && ASize > IdStreamPresizeLimit)
      memory->ReserveAddressSpace(position + ASize);
    // Sized once at the announced length, as far as that may be trusted before the bytes come.
    AStream.SetSize(position + std::min(ASize, IdStreamPresizeLimit));
    AStream.SetPosition(position);
  }
  BeginWork(wmRead, AReadUntilDisconnect ? 0 : ASize);
  TryFinally(
      [&] {
        if (TMemoryStream* memory = dynamic_cast<TMemoryStream*>(&AStream);
            memory && !AReadUntilDisconnect) {
          TDirectSink sink(*this, *memory, ASize);
          ReadBlocks(sink, ASize, false);
        } else {
          TBufferedSink sink(*this, AStream);
          ReadBlocks(sink, ASize, AReadUntilDisconnect);
        }
      },
      [&] {
        EndWork(wmRead);
        const int64_t position = AStream.Position();
        if (AStream.Size() > position) AStream.SetSize(position);
      });
}

void TIdIOHandler::ReadBlocks(TBlockSink& ASink, int64_t ASize, bool AReadUntilDisconnect) {
  int64_t remaining = AReadUntilDisconnect ? 0 : ASize;
  // Bytes that arrived with the headers go first.
  const int buffered = ASink.Available();
  if (buffered > 0) {
    const int n =
        AReadUntilDisconnect ? buffered : static_cast<int>(std::min<int64_t>(buffered, remaining));
    ASink.Commit(n);
    if (!AReadUntilDisconnect) remaining -= n;
  }
  const int block = std::max(RecvBufferSize, 1);
  for (;;) {
    const int i =
        AReadUntilDisconnect ? block : static_cast<int>(std::min<int64_t>(remaining, block));
    if (i < 1) break;
    ASink.BeforeBlock();
    try {
      ASink.Fill(i);
    } catch (const EIdConnClosedGracefully&) {
      ASink.Commit(std::min(i, ASink.Available()));
      if (AReadUntilDisconnect) break;
      throw;
    } catch (...) {
      ASink.Commit(std::min(i, ASink.Available()));
      throw;
    }
    ASink.Commit(i);
    if (!AReadUntilDisconnect) remaining -= i;
    TIdAntiFreezeBase::DoProcess(true);
  }
}
