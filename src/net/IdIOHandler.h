#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/MemoryStream.h"
#include "base/Stream.h"
#include "net/IdBuffer.h"
#include "net/IdComponent.h"
#include "net/IdGlobal.h"
#include "net/IdTextEncoding.h"

// Buffered I/O between a connection and its transport. Reads are served from an input buffer
// filled in blocks of RecvBufferSize bytes; writes go out directly or, while write buffering
// is active, collect in a write buffer that is sent as a whole. Every byte removed from the
// input buffer is reported as read work; every send as write work.
class TIdIOHandler : public TIdComponent {
 public:
  ~TIdIOHandler() override;

  // Lifecycle.
  virtual void Open();
  virtual void Close();
  virtual bool Connected();
  // Registers a close: a peer close found earlier closes the handler. With ADisconnect set,
  // raises EIdConnClosedGracefully when the connection is closed and nothing usable is
  // buffered (AIgnoreBuffer: buffered bytes do not count).
  virtual void CheckForDisconnect(bool ARaiseExceptionIfDisconnected = true,
                                  bool AIgnoreBuffer = false);
  // Waits up to ATimeout ms for more bytes; True when some arrived.
  virtual bool CheckForDataOnSource(int ATimeout = 0);
  bool InputBufferIsEmpty() const { return FInputBuffer->Size() == 0; }
  TIdBuffer& InputBuffer() { return *FInputBuffer; }

  // Receives once (waiting up to ATimeout ms) into the input buffer. Returns the count, 0 when
  // the connection is found closed, -1 when the wait expired.
  int ReceiveIntoBuffer(bool ARaiseExceptionIfDisconnected = true, int ATimeout = IdTimeoutDefault,
                        bool ARaiseExceptionOnTimeout = true);

  // Reading.
  std::string ReadLn(const TIdTextEncoding* AByteEncoding = nullptr);
  std::string ReadLn(const std::string& ATerminator, int ATimeout = IdTimeoutDefault,
                     int AMaxLineLength = -1, const TIdTextEncoding* AByteEncoding = nullptr);
  void ReadBytes(TIdBytes& VBuffer, int AByteCount, bool AAppend = true);
  // ASize bytes into AStream (sized ahead), or until the peer closes with
  // AReadUntilDisconnect (or any ASize below -1).
  void ReadStream(TStream& AStream, int64_t ASize = -1, bool AReadUntilDisconnect = false);
  void Discard(int64_t AByteCount);
  void DiscardAll();

  // Writing.
  void Write(const std::string& AOut, const TIdTextEncoding* AByteEncoding = nullptr);
  void WriteLn(const std::string& AOut = {}, const TIdTextEncoding* AByteEncoding = nullptr);
  void Write(const TIdBytes& ABuffer, int ALength = -1, int AOffset = 0);
  void Write(const uint8_t* AData, int ALength);
  // AByteCount < 0: from the position to the end; 0: the whole stream from its start.
  void Write(TStream& AStream, int64_t AByteCount = 0);
  void WriteDirect(const TIdBytes& ABuffer, int ALength = -1, int AOffset = 0);
  void WriteDirect(const uint8_t* AData, int ALength);
  void WriteBufferOpen(int AThreshold = -1);
  void WriteBufferClose();
  void WriteBufferCancel();
  void WriteBufferClear();
  void WriteBufferFlush(int AByteCount = -1);
  bool WriteBufferingActive() const { return FWriteBuffer != nullptr; }

  // State.
  // True once the peer closed the connection (a receive found its end); a close made by the
  // program (Close, or a wait it abandoned) leaves it false.
  bool ClosedGracefully() const { return FClosedGracefully; }
  // True when the peer's close is known to have cut the stream short instead of ending it: a
  // secure connection closed without the TLS goodbye (close_notify). A plain connection cannot
  // tell, and says false.
  virtual bool StreamCutOff() const { return false; }
  bool Opened() const { return FOpened; }
  bool ReadLnSplit() const { return FReadLnSplit; }
  bool ReadLnTimedout() const { return FReadLnTimedOut; }

  // Properties.
  int ConnectTimeout = 0;
  std::string Destination;
  std::string Host;
  int Port = 0;
  TIdMaxLineAction MaxLineAction = maException;
  int MaxLineLength = IdMaxLineLengthDefault;
  int ReadTimeout = IdTimeoutDefault;
  int RecvBufferSize = GRecvBufferSizeDefault;
  int SendBufferSize = GSendBufferSizeDefault;
  const TIdTextEncoding* DefStringEncoding = &TextEncodingASCII();

 protected:
  TIdIOHandler();

  // Transport primitives.
  virtual bool HasSocket() = 0;
  // One receive into the area: the count, 0 when the peer has closed.
  virtual int ReceiveBlock(uint8_t* ABuffer, int ALength) = 0;
  // One send of the range: the bytes accepted.
  virtual int SendBlock(const uint8_t* ABuffer, int ALength) = 0;
  // Readiness wait: True when data or a close is pending.
  virtual bool Readable(int AMSec) = 0;

  // Waits until the input buffer holds at least ACount bytes (raising when the connection
  // closes first).
  void WaitForBuffered(int ACount);
  // ReceiveIntoBuffer, receiving into ADest (up to ARoom bytes) instead of the input buffer.
  int ReceiveInto(uint8_t* ADest, int ARoom, bool ARaiseExceptionIfDisconnected, int ATimeout,
                  bool ARaiseExceptionOnTimeout);

  bool FClosedGracefully = false;
  bool FOpened = false;

 private:
  // Where ReadStream gathers each block before the stream takes it (IdIOHandlerReadStream.cpp):
  // the input buffer, or, for a memory stream of known length, the stream's own memory.
  class TBlockSink;
  class TBufferedSink;
  class TDirectSink;
  // The body read in blocks of RecvBufferSize bytes through ASink.
  void ReadBlocks(TBlockSink& ASink, int64_t ASize, bool AReadUntilDisconnect);

  std::unique_ptr<TIdBuffer> FInputBuffer;
  std::unique_ptr<TIdBuffer> FWriteBuffer;
  int FWriteBufferThreshold = 0;
  bool FReadLnSplit = false;
  bool FReadLnTimedOut = false;
};
