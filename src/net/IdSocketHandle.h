#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "net/IdGlobal.h"
#include "net/IdStack.h"

// One native socket of a socket I/O handler: allocation through the stack, the Nagle and
// address-reuse options, binding, the peer to connect to, connecting, receiving, sending and
// closing. The handle's lock orders the two writers during a connect on the connect thread:
// Connect records the addresses under it, CloseSocket closes under it.
class TIdSocketHandle {
 public:
  TIdSocketHandle();
  ~TIdSocketHandle();
  TIdSocketHandle(const TIdSocketHandle&) = delete;
  TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

  // Closes any socket held and takes a new one of the handle's IP version.
  void AllocateSocket(int ASocketType = Id_SOCK_STREAM, int AProtocol = 0);
  // Takes over a socket (Id_INVALID_SOCKET: none) and reads its type and Nagle setting.
  void AdoptHandle(TIdStackSocketHandle AHandle);
  // SO_REUSEADDR by ReuseSocket, then binds to IP and Port (empty and 0: any) or searches the
  // client port range; EIdCouldNotBindSocket when that fails.
  void Bind();
  void SetPeer(const std::string& AIP, uint16_t APort, TIdIPVersion AIpVersion = Id_IPv4);
  // Connects to the peer, then records the local and peer addresses while the socket is
  // still allocated.
  void Connect();
  // Stops sending, closes the socket and holds none; nothing when none is held.
  void CloseSocket();
  // Holds no socket (closing one that is held), clears the peer, IPv4; resetLocal clears the
  // local address and port too.
  void Reset(bool AResetLocal = true);

  // Bytes received, 0 when the peer has closed.
  int Receive(TIdBytes& ABuffer);
  int Receive(void* ABuffer, int ALength);
  int Send(const TIdBytes& ABuffer, int AOffset = 0, int ASize = -1);
  int Send(const void* ABuffer, int ALength);

  // Waits for something to read, cut into slices while responsive waiting is in use. timeout
  // in ms; IdTimeoutDefault and IdTimeoutInfinite wait without limit. A slice that finds the
  // socket closed raises EIdConnClosedGracefully.
  bool Readable(int ATimeout = IdTimeoutInfinite);
  // One wait slice of timeout ms.
  bool Select(int ATimeout);

  TIdStackSocketHandle Handle() const { return FHandle; }
  bool HandleAllocated() const { return FHandleAllocated; }
  int SocketType() const { return FSocketType; }
  TIdIPVersion IPVersion() const { return FIPVersion; }
  // EIdCannotSetIPVersionWhenConnected while a socket is allocated.
  void SetIPVersion(TIdIPVersion AValue);
  bool UseNagle() const { return FUseNagle; }
  // Sets TCP_NODELAY to the opposite at once on an allocated stream socket.
  void SetUseNagle(bool AValue);
  int GetSockOpt(int ALevel, int AOption);
  void SetSockOpt(int ALevel, int AOption, int AValue);

  uint16_t ClientPortMin = 0;
  uint16_t ClientPortMax = 0;
  std::string IP;
  uint16_t Port = 0;
  std::string PeerIP;
  uint16_t PeerPort = 0;
  TIdReuseSocket ReuseSocket = rsOSDependent;
  bool BroadcastEnabled = false;
  bool OverLapped = false;

 private:
  bool TryBind(uint16_t APort);

  std::atomic<TIdStackSocketHandle> FHandle{Id_INVALID_SOCKET};
  std::atomic<bool> FHandleAllocated{false};
  std::unique_ptr<TIdSocketList> FReadSocketList;
  int FSocketType = 0;
  TIdIPVersion FIPVersion = Id_IPv4;
  TIdCriticalSection FConnectionHandle;
  bool FUseNagle = true;
};
