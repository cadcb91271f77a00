#pragma once

#include "net/IdStackBSDBase.h"

// The Windows flavour: WinSock 2 loaded at run time from the system folder.
class TIdStackWindows : public TIdStackBSDBase {
 public:
  // Loads and starts the socket library once per process; EIdStackInitializationFailed with
  // the message of the failure.
  TIdStackWindows();

  std::string LookupHostAddress(const std::string& AHost, TIdIPVersion AIpVersion) override;
  int WSGetLastError() override;
  void WSSetLastError(int ACode) override;
  std::unique_ptr<TIdSocketList> NewSocketList() override;

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
