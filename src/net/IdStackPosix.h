#pragma once

#include "net/IdStackBSDBase.h"

// The native flavour: the C library's sockets and resolver. Failures are reported with the
// WinSock codes (errno and resolver results are mapped), so every message text is the same as
// on Windows.
class TIdStackPosix : public TIdStackBSDBase {
 public:
  TIdStackPosix() = default;

  std::string LookupHostAddress(const std::string& host, TIdIPVersion ipVersion) override;
  int WSGetLastError() override;
  void WSSetLastError(int code) override;
  std::unique_ptr<TIdSocketList> NewSocketList() override;

  // The WinSock code for an errno value (the value itself when there is none).
  static int ErrnoToSocketError(int error);
  // The WinSock code for a non-zero getaddrinfo result.
  static int ResolverErrorToSocketError(int result, int error);

 protected:
  TIdStackSocketHandle WSSocket(int family, int type, int protocol, bool overlapped) override;
  int WSBind(TIdStackSocketHandle handle, const TSockAddr& addr) override;
  int WSConnect(TIdStackSocketHandle handle, const TSockAddr& addr) override;
  int WSListen(TIdStackSocketHandle handle, int backlog) override;
  TIdStackSocketHandle WSAccept(TIdStackSocketHandle handle, TSockAddr& addr) override;
  int WSRecv(TIdStackSocketHandle handle, void* buffer, int length) override;
  int WSSend(TIdStackSocketHandle handle, const void* buffer, int length) override;
  int WSShutdown(TIdStackSocketHandle handle, int how) override;
  int WSCloseSocket(TIdStackSocketHandle handle) override;
  int WSGetSockName(TIdStackSocketHandle handle, TSockAddr& addr) override;
  int WSGetPeerName(TIdStackSocketHandle handle, TSockAddr& addr) override;
  int WSGetSockOpt(TIdStackSocketHandle handle, int level, int option, int& value) override;
  int WSSetSockOpt(TIdStackSocketHandle handle, int level, int option, int value) override;
};
