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
          std::make_unique<TIdBuffer>([this](TIdBuffer&, int ACount) { DoWork(wmRead, ACount); })) {
}

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
    throw EIdConnClosedGracefully(Text(RSConnectionClosedGracefully));
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
    if (ARaiseExceptionIfDisconnected) throw EIdNotConnected(Text(RSNotConnected));
    return 0;
  }
  for (;;) {
    if (!Readable(ATimeout)) {
      if (ARaiseExceptionOnTimeout) throw EIdReadTimeout(Text(RSReadTimeout));
      return -1;
    }
    int count = 0;
    if (!FOpened) {
      if (ARaiseExceptionIfDisconnected) throw EIdNotConnected(Text(RSNotConnected));
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
    // Only a receive that returned nothing on a live socket is the peer's close; a socket gone
    // during the wait was closed here, by the program.
    if (count == 0 && HasSocket()) FClosedGracefully = true;
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
        throw EIdReadLnMaxLineLengthExceeded(Text(RSReadLnMaxLineLengthExceeded));
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
  if (const auto range = ClampByteRange(static_cast<int>(ABuffer.size()), AOffset, ALength))
    Write(ABuffer.data() + range->Offset, range->Length);
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
          if (got <= 0) throw EIdNoDataToRead(Text(RSNoDataToRead));
          Write(block.data(), static_cast<int>(got));
          AByteCount -= got;
        }
      },
      [&] { EndWork(wmWrite); });
}

void TIdIOHandler::WriteDirect(const TIdBytes& ABuffer, int ALength, int AOffset) {
  if (const auto range = ClampByteRange(static_cast<int>(ABuffer.size()), AOffset, ALength))
    WriteDirect(ABuffer.data() + range->Offset, range->Length);
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
