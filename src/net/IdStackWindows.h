#pragma once

#include "net/IdStackBSDBase.h"

// The Windows flavour: WinSock 2 loaded at run time from the system folder.
class TIdStackWindows : public TIdStackBSDBase {
 public:
  // Loads and starts the socket library once per process; EIdStackInitializationFailed with
  // the message of the failure.
  TIdStackWindows();

  std::string LookupHostAddress(const std::string& host, TIdIPVersion ipVersion) override;
  int WSGetLastError() override;
  void WSSetLastError(int code) override;
  std::unique_ptr<TIdSocketList> NewSocketList() override;

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
