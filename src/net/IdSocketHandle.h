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
  void AllocateSocket(int socketType = Id_SOCK_STREAM, int protocol = 0);
  // Takes over a socket (Id_INVALID_SOCKET: none) and reads its type and Nagle setting.
  void AdoptHandle(TIdStackSocketHandle handle);
  // SO_REUSEADDR by ReuseSocket, then binds to IP and Port (empty and 0: any) or searches the
  // client port range; EIdCouldNotBindSocket when that fails.
  void Bind();
  void SetPeer(const std::string& ip, uint16_t port, TIdIPVersion ipVersion = Id_IPv4);
  // Connects to the peer, then records the local and peer addresses while the socket is
  // still allocated.
  void Connect();
  // Stops sending, closes the socket and holds none; nothing when none is held.
  void CloseSocket();
  // Holds no socket (closing one that is held), clears the peer, IPv4; resetLocal clears the
  // local address and port too.
  void Reset(bool resetLocal = true);

  // Bytes received, 0 when the peer has closed.
  int Receive(TIdBytes& buffer);
  int Receive(void* buffer, int length);
  int Send(const TIdBytes& buffer, int offset = 0, int size = -1);
  int Send(const void* buffer, int length);

  // Waits for something to read, cut into slices while responsive waiting is in use. timeout
  // in ms; IdTimeoutDefault and IdTimeoutInfinite wait without limit. A slice that finds the
  // socket closed raises EIdConnClosedGracefully.
  bool Readable(int timeout = IdTimeoutInfinite);
  // One wait slice of timeout ms.
  bool Select(int timeout);

  TIdStackSocketHandle Handle() const { return FHandle; }
  bool HandleAllocated() const { return FHandleAllocated; }
  int SocketType() const { return FSocketType; }
  TIdIPVersion IPVersion() const { return FIPVersion; }
  // EIdCannotSetIPVersionWhenConnected while a socket is allocated.
  void SetIPVersion(TIdIPVersion value);
  bool UseNagle() const { return FUseNagle; }
  // Sets TCP_NODELAY to the opposite at once on an allocated stream socket.
  void SetUseNagle(bool value);
  int GetSockOpt(int level, int option);
  void SetSockOpt(int level, int option, int value);

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
  bool TryBind(uint16_t port);

  std::atomic<TIdStackSocketHandle> FHandle{Id_INVALID_SOCKET};
  std::atomic<bool> FHandleAllocated{false};
  std::unique_ptr<TIdSocketList> FReadSocketList;
  int FSocketType = 0;
  TIdIPVersion FIPVersion = Id_IPv4;
  TIdCriticalSection FConnectionHandle;
  bool FUseNagle = true;
};
