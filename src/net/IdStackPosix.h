#pragma once

#include "net/IdStackBSDBase.h"

// The native flavour: the C library's sockets and resolver. Failures are reported with the
// WinSock codes (errno and resolver results are mapped), so every message text is the same as
// on Windows.
class TIdStackPosix : public TIdStackBSDBase {
 public:
  TIdStackPosix() = default;

  std::string LookupHostAddress(const std::string& AHost, TIdIPVersion AIpVersion) override;
  int WSGetLastError() override;
  void WSSetLastError(int ACode) override;
  std::unique_ptr<TIdSocketList> NewSocketList() override;

  // The WinSock code for an errno value (the value itself when there is none).
  static int ErrnoToSocketError(int AError);
  // The WinSock code for a non-zero getaddrinfo result.
  static int ResolverErrorToSocketError(int AResult, int AError);

 protected:
  TIdStackSocketHandle WSSocket(int AFamily, int AType, int AProtocol, bool AOverlapped) override;
  int WSBind(TIdStackSocketHandle AHandle, const TSockAddr& AAddr) override;
  int WSConnect(TIdStackSocketHandle AHandle, const TSockAddr& AAddr) override;
  int WSListen(TIdStackSocketHandle AHandle, int ABacklog) override;
  TIdStackSocketHandle WSAccept(TIdStackSocketHandle AHandle, TSockAddr& AAddr) override;
  int WSRecv(TIdStackSocketHandle AHandle, void* ABuffer, int ALength) override;
  int WSSend(TIdStackSocketHandle AHandle, const void* ABuffer, int ALength) override;
  int WSShutdown(TIdStackSocketHandle AHandle, int AHow) override;
  int WSCloseSocket(TIdStackSocketHandle AHandle) override;
  int WSGetSockName(TIdStackSocketHandle AHandle, TSockAddr& AAddr) override;
  int WSGetPeerName(TIdStackSocketHandle AHandle, TSockAddr& AAddr) override;
  int WSGetSockOpt(TIdStackSocketHandle AHandle, int ALevel, int AOption, int& AValue) override;
  int WSSetSockOpt(TIdStackSocketHandle AHandle, int ALevel, int AOption, int AValue) override;
};
