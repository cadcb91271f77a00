#include "net/IdIOHandler.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "base/TryFinally.h"
#include "net/IdAntiFreezeBase.h"
#include "net/IdExceptionCore.h"
#include "net/IdResourceStrings.h"

TIdIOHandler::TIdIOHandler()
    : FInputBuffer(
          std::make_unique<TIdBuffer>([this](TIdBuffer&, int count) { DoWork(wmRead, count); })) {}

TIdIOHandler::~TIdIOHandler() {
  // The base part of Close; each flavour closes its own transport in its destructor.
  FOpened = false;
  FWriteBuffer.reset();
}

// ---------------------------------------------------------------------------------------------
// Lifecycle

void TIdIOHandler::Open() {
  FOpened = false;
  FClosedGracefully = false;
  WriteBufferClear();
  FInputBuffer->Clear();
  FOpened = true;
}

void TIdIOHandler::Close() {
  FOpened = false;
  WriteBufferClear();
}

bool TIdIOHandler::Connected() {
  CheckForDisconnect(false, false);
  return (!FClosedGracefully || !InputBufferIsEmpty()) && FOpened;
}

void TIdIOHandler::CheckForDisconnect(bool ARaiseExceptionIfDisconnected, bool AIgnoreBuffer) {
  bool disconnected;
  if (FClosedGracefully) {
    if (HasSocket()) {
      Close();
      DoStatus(hsDisconnected);
    }
    disconnected = true;
  } else {
    disconnected = !HasSocket();
  }
  if (disconnected && (InputBufferIsEmpty() || AIgnoreBuffer) && ARaiseExceptionIfDisconnected)
    throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
}

bool TIdIOHandler::CheckForDataOnSource(int ATimeout) {
  const int before = FInputBuffer->Size();
  if (!Connected()) return false;
  if (FInputBuffer->Size() > before) return true;
  return ReceiveIntoBuffer(false, ATimeout, false) > 0;
}

int TIdIOHandler::ReceiveIntoBuffer(bool ARaiseExceptionIfDisconnected, int ATimeout,
                                    bool ARaiseExceptionOnTimeout) {
  return ReceiveInto(nullptr, 0, ARaiseExceptionIfDisconnected, ATimeout, ARaiseExceptionOnTimeout);
}

int TIdIOHandler::ReceiveInto(uint8_t* ADest, int ARoom, bool ARaiseExceptionIfDisconnected,
                              int ATimeout, bool ARaiseExceptionOnTimeout) {
  if (ATimeout == IdTimeoutDefault)
    ATimeout =
        (ReadTimeout == IdTimeoutDefault || ReadTimeout == 0) ? IdTimeoutInfinite : ReadTimeout;
  CheckForDisconnect(ARaiseExceptionIfDisconnected, false);
  if (!HasSocket()) {
    if (ARaiseExceptionIfDisconnected) throw EIdNotConnected(RSNotConnected);
    return 0;
  }
  for (;;) {
    if (!Readable(ATimeout)) {
      if (ARaiseExceptionOnTimeout) throw EIdReadTimeout(RSReadTimeout);
      return -1;
    }
    int count = 0;
    if (!FOpened) {
      if (ARaiseExceptionIfDisconnected) throw EIdNotConnected(RSNotConnected);
    } else if (!HasSocket()) {
      if (ARaiseExceptionIfDisconnected) throw EIdClosedSocket(RSStatusDisconnected);
    } else if (ADest) {
      count = ReceiveBlock(ADest, ARoom);
    } else {
      // Received straight into the input buffer: no intermediate block to copy from.
      uint8_t* room = FInputBuffer->Reserve(RecvBufferSize);
      try {
        count = ReceiveBlock(room, RecvBufferSize);
      } catch (...) {
        FInputBuffer->Commit(0);
        throw;
      }
      FInputBuffer->Commit(count);
    }
    if (count == 0) FClosedGracefully = true;
    // A 0-byte receive closes the socket here, so a live connection sees one receive per call.
    CheckForDisconnect(ARaiseExceptionIfDisconnected, false);
    if (count != 0 || !HasSocket()) return count;
  }
}

// ---------------------------------------------------------------------------------------------
// Reading

std::string TIdIOHandler::ReadLn(const TIdTextEncoding* AByteEncoding) {
  return ReadLn("\n", IdTimeoutDefault, -1, AByteEncoding);
}

std::string TIdIOHandler::ReadLn(const std::string& ATerminator, int ATimeout, int AMaxLineLength,
                                 const TIdTextEncoding* AByteEncoding) {
  const TIdTextEncoding& encoding = AByteEncoding ? *AByteEncoding : *DefStringEncoding;
  if (AMaxLineLength < 0) AMaxLineLength = MaxLineLength;
  const std::string terminator = ATerminator.empty() ? std::string("\n") : ATerminator;
  const TIdBytes terminatorBytes = encoding.GetBytes(terminator);
  const int terminatorLength = static_cast<int>(terminatorBytes.size());
  FReadLnSplit = false;
  FReadLnTimedOut = false;
  const uint32_t start = Ticks();
  int searchStart = 0;
  int position = -1;
  do {
    const int size = FInputBuffer->Size();
    if (size > 0) {
      position = searchStart < size ? FInputBuffer->IndexOf(terminatorBytes, searchStart) : -1;
      // The next search resumes where a terminator split across receives can begin.
      searchStart = std::max(size - terminatorLength + 1, 0);
    }
    // A terminator not among the buffered bytes can only lie after them; once those are more
    // than the limit, the line is too long whatever follows, so a peer that never ends its line
    // cannot make the buffer grow without bound.
    const bool tooLong =
        position > AMaxLineLength || (position < 0 && searchStart > AMaxLineLength);
    if (AMaxLineLength > 0 && tooLong) {
      if (MaxLineAction == maException)
        throw EIdReadLnMaxLineLengthExceeded(RSReadLnMaxLineLengthExceeded);
      FReadLnSplit = true;
      return FInputBuffer->ExtractToString(AMaxLineLength, &encoding);
    }
    if (position < 0) {
      CheckForDisconnect(true, true);
      FReadLnTimedOut = ReceiveIntoBuffer(true, ATimeout, false) == -1;
      if (!FReadLnTimedOut && ATimeout >= 0 &&
          GetTickDiff(start, Ticks()) >= static_cast<uint32_t>(ATimeout))
        FReadLnTimedOut = true;
      if (FReadLnTimedOut) return {};
    }
  } while (position < 0);
  int lineLength = position;
  if (terminator == "\n" && position > 0 && FInputBuffer->Data()[position - 1] == '\r')
    --lineLength;
  std::string line = encoding.GetString(FInputBuffer->Data(), static_cast<size_t>(lineLength));
  FInputBuffer->Remove(position + terminatorLength);
  return line;
}

void TIdIOHandler::WaitForBuffered(int ACount) {
  while (FInputBuffer->Size() < ACount) {
    const int received = ReceiveIntoBuffer(false, IdTimeoutDefault, true);
    if (received > 0 && FInputBuffer->Size() >= ACount) break;
    CheckForDisconnect(true, true);
  }
}

void TIdIOHandler::ReadBytes(TIdBytes& VBuffer, int AByteCount, bool AAppend) {
  if (AByteCount > 0) {
    WaitForBuffered(AByteCount);
    FInputBuffer->ExtractToBytes(VBuffer, AByteCount, AAppend);
  } else if (AByteCount < 0) {
    ReceiveIntoBuffer(false, ReadTimeout, false);
    CheckForDisconnect(true, true);
    FInputBuffer->ExtractToBytes(VBuffer, -1, AAppend);
  }
}

void TIdIOHandler::MoveToStream(TStream& AStream, int ACount) {
  if (ACount <= 0) return;
  // One copy from the input buffer into the stream; the removal reports the work.
  AStream.WriteBuffer(FInputBuffer->Data(), ACount);
  FInputBuffer->Remove(ACount);
}

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
      throw EIdIOHandlerStreamDataTooLarge(RSDataTooLarge);
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
            memory && !AReadUntilDisconnect)
          ReadStreamDirect(*memory, ASize);
        else
          ReadStreamBuffered(AStream, ASize, AReadUntilDisconnect);
      },
      [&] {
        EndWork(wmRead);
        const int64_t position = AStream.Position();
        if (AStream.Size() > position) AStream.SetSize(position);
      });
}

void TIdIOHandler::ReadStreamBuffered(TStream& AStream, int64_t ASize, bool AReadUntilDisconnect) {
  int64_t remaining = AReadUntilDisconnect ? 0 : ASize;
  const int buffered = FInputBuffer->Size();
  if (buffered > 0) {
    const int n =
        AReadUntilDisconnect ? buffered : static_cast<int>(std::min<int64_t>(buffered, remaining));
    MoveToStream(AStream, n);
    if (!AReadUntilDisconnect) remaining -= n;
  }
  const int block = std::max(RecvBufferSize, 1);
  for (;;) {
    const int i =
        AReadUntilDisconnect ? block : static_cast<int>(std::min<int64_t>(remaining, block));
    if (i < 1) break;
    try {
      WaitForBuffered(i);
    } catch (const EIdConnClosedGracefully&) {
      MoveToStream(AStream, std::min(i, FInputBuffer->Size()));
      if (AReadUntilDisconnect) break;
      throw;
    } catch (...) {
      MoveToStream(AStream, std::min(i, FInputBuffer->Size()));
      throw;
    }
    MoveToStream(AStream, i);
    if (!AReadUntilDisconnect) remaining -= i;
    TIdAntiFreezeBase::DoProcess(true);
  }
}

namespace {
// How far ahead of the receives the stream's pages are made present.
constexpr int64_t kPrefaultStretch = int64_t{2} << 20;
}  // namespace

// The same receives, blocks, counts and clean-up as the general read, but the bytes go from the
// socket straight into the stream's memory instead of through the input buffer. Bytes received
// ahead of the current block ("pending") sit after the stream's position, exactly where the
// input buffer would have held them, and are counted when their block is complete.
void TIdIOHandler::ReadStreamDirect(TMemoryStream& AStream, int64_t ASize) {
  int64_t remaining = ASize;
  int64_t pending = 0;
  auto destination = [&] { return AStream.Memory() + AStream.Position() + pending; };
  // Room for n more bytes at the destination: a stream sized short of the announced length
  // doubles, up to that length.
  auto makeRoom = [&](int64_t n) {
    const int64_t needed = AStream.Position() + pending + n;
    if (needed <= AStream.Size()) return;
    const int64_t end = AStream.Position() + remaining;
    AStream.SetSize(std::min(end, std::max(needed, AStream.Size() * 2)));
  };
  // Buffered bytes come first: those that arrived with the headers, and those a handler's
  // connection poll pulled in during the read.
  auto absorbBuffered = [&] {
    const int n = static_cast<int>(std::min<int64_t>(FInputBuffer->Size(), remaining - pending));
    if (n <= 0) return;
    makeRoom(n);
    std::memcpy(destination(), FInputBuffer->Data(), static_cast<size_t>(n));
    FInputBuffer->RemoveUnreported(n);
    pending += n;
  };
  auto count = [&](int64_t n) {
    if (n <= 0) return;
    AStream.Seek(n, TSeekOrigin::soCurrent);
    pending -= n;
    remaining -= n;
    DoWork(wmRead, n);
  };
  absorbBuffered();
  count(pending);
  const int block = std::max(RecvBufferSize, 1);
  // The stream's fresh pages are made present a stretch at a time ahead of the receives: one
  // call instead of a page fault per page inside every receive, and the sender keeps filling the
  // socket buffer meanwhile.
  int64_t prefaulted = AStream.Position();
  const int64_t end = AStream.Position() + remaining;
  while (remaining > 0) {
    const int64_t i = std::min<int64_t>(remaining, block);
    if (AStream.Position() + pending + block > prefaulted && prefaulted < end) {
      const int64_t stretch = std::min(kPrefaultStretch, end - prefaulted);
      AStream.Prefault(prefaulted, stretch);
      prefaulted += stretch;
    }
    try {
      absorbBuffered();
      while (pending < i) {
        int received;
        if (remaining - pending >= block) {
          makeRoom(block);
          received = ReceiveInto(destination(), block, false, IdTimeoutDefault, true);
          if (received > 0) pending += received;
        } else {
          // The last receive may bring bytes beyond the body: they stay in the input buffer.
          received = ReceiveIntoBuffer(false, IdTimeoutDefault, true);
          absorbBuffered();
        }
        if (received > 0 && pending >= i) break;
        CheckForDisconnect(true, true);
        absorbBuffered();
      }
    } catch (...) {
      absorbBuffered();
      count(std::min(i, pending));
      throw;
    }
    count(i);
    TIdAntiFreezeBase::DoProcess(true);
  }
}

void TIdIOHandler::Discard(int64_t AByteCount) {
  if (AByteCount <= 0) return;
  BeginWork(wmRead, AByteCount);
  TryFinally(
      [&] {
        for (;;) {
          if (FInputBuffer->Size() > 0) {
            const int n = static_cast<int>(std::min<int64_t>(AByteCount, FInputBuffer->Size()));
            FInputBuffer->Remove(n);
            AByteCount -= n;
            if (AByteCount == 0) break;
          }
          if (ReceiveIntoBuffer(false, IdTimeoutDefault, true) <= 0) CheckForDisconnect(true, true);
        }
      },
      [&] { EndWork(wmRead); });
}

void TIdIOHandler::DiscardAll() {
  BeginWork(wmRead, 0);
  TryFinally(
      [&] {
        // Clearing reports no removal, so only the bracket is seen.
        FInputBuffer->Clear();
        try {
          for (;;) {
            if (ReceiveIntoBuffer(false, IdTimeoutDefault, true) < 1)
              CheckForDisconnect(true, true);
            else
              FInputBuffer->Clear();
            TIdAntiFreezeBase::DoProcess(true);
          }
        } catch (const EIdConnClosedGracefully&) {
          FInputBuffer->Clear();
        } catch (...) {
          FInputBuffer->Clear();
          throw;
        }
      },
      [&] { EndWork(wmRead); });
}

// ---------------------------------------------------------------------------------------------
// Writing

void TIdIOHandler::Write(const std::string& AOut, const TIdTextEncoding* AByteEncoding) {
  if (AOut.empty()) return;
  const TIdTextEncoding& encoding = AByteEncoding ? *AByteEncoding : *DefStringEncoding;
  Write(encoding.GetBytes(AOut));
}

void TIdIOHandler::WriteLn(const std::string& AOut, const TIdTextEncoding* AByteEncoding) {
  Write(AOut + "\r\n", AByteEncoding);
}

void TIdIOHandler::Write(const TIdBytes& ABuffer, int ALength, int AOffset) {
  const int size = static_cast<int>(ABuffer.size());
  if (AOffset < 0 || AOffset >= size) return;
  if (ALength < 0 || ALength > size - AOffset) ALength = size - AOffset;
  Write(ABuffer.data() + AOffset, ALength);
}

void TIdIOHandler::Write(const uint8_t* AData, int ALength) {
  if (ALength <= 0) return;
  if (!FWriteBuffer) {
    WriteDirect(AData, ALength);
    return;
  }
  FWriteBuffer->Write(AData, ALength);
  if (FWriteBufferThreshold > 0)
    while (FWriteBuffer && FWriteBuffer->Size() >= FWriteBufferThreshold)
      WriteBufferFlush(FWriteBufferThreshold);
}

void TIdIOHandler::Write(TStream& AStream, int64_t AByteCount) {
  if (AByteCount < 0) {
    AByteCount = AStream.Size() - AStream.Position();
  } else if (AByteCount == 0) {
    AStream.SetPosition(0);
    AByteCount = AStream.Size();
  }
  BeginWork(wmWrite, AByteCount);
  TryFinally(
      [&] {
        const int blockSize = std::max(SendBufferSize, 1);
        TIdBytes block(static_cast<size_t>(std::min<int64_t>(AByteCount, blockSize)));
        while (AByteCount > 0) {
          const int n = static_cast<int>(std::min<int64_t>(AByteCount, blockSize));
          const int64_t got = AStream.Read(block.data(), n);
          if (got <= 0) throw EIdNoDataToRead(RSNoDataToRead);
          Write(block.data(), static_cast<int>(got));
          AByteCount -= got;
        }
      },
      [&] { EndWork(wmWrite); });
}

void TIdIOHandler::WriteDirect(const TIdBytes& ABuffer, int ALength, int AOffset) {
  const int size = static_cast<int>(ABuffer.size());
  if (AOffset < 0 || AOffset >= size) return;
  if (ALength < 0 || ALength > size - AOffset) ALength = size - AOffset;
  WriteDirect(ABuffer.data() + AOffset, ALength);
}

void TIdIOHandler::WriteDirect(const uint8_t* AData, int ALength) {
  // A closed connection refuses before anything is sent.
  CheckForDisconnect(true, true);
  while (ALength > 0) {
    const int sent = SendBlock(AData, ALength);
    TIdAntiFreezeBase::DoProcess(false);
    if (sent == 0) FClosedGracefully = true;
    CheckForDisconnect(true, false);
    DoWork(wmWrite, sent);
    AData += sent;
    ALength -= sent;
  }
}

void TIdIOHandler::WriteBufferOpen(int AThreshold) {
  if (FWriteBuffer)
    FWriteBuffer->Clear();
  else
    FWriteBuffer = std::make_unique<TIdBuffer>();
  FWriteBufferThreshold = AThreshold;
}

void TIdIOHandler::WriteBufferClose() {
  TryFinally([&] { WriteBufferFlush(-1); }, [&] { FWriteBuffer.reset(); });
}

void TIdIOHandler::WriteBufferCancel() {
  WriteBufferClear();
  WriteBufferClose();
}

void TIdIOHandler::WriteBufferClear() {
  if (FWriteBuffer) FWriteBuffer->Clear();
}

void TIdIOHandler::WriteBufferFlush(int AByteCount) {
  if (!FWriteBuffer || FWriteBuffer->Size() == 0) return;
  if (AByteCount < 0 || AByteCount > FWriteBuffer->Size()) AByteCount = FWriteBuffer->Size();
  TIdBytes bytes;
  FWriteBuffer->ExtractToBytes(bytes, AByteCount, false);
  WriteDirect(bytes.data(), AByteCount);
}
