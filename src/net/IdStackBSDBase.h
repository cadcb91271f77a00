#pragma once

#include "net/IdStack.h"

// The calls that follow the Berkeley socket model, built on a handful of platform primitives
// that each flavour supplies. Socket addresses are assembled here, in a zero-filled 128-byte
// area, in the same way on both targets.
class TIdStackBSDBase : public TIdStack {
 public:
  // A socket address area; Length is 16 for IPv4 and 28 for IPv6.
  struct TSockAddr {
    alignas(8) uint8_t Bytes[128];
    int Length;
  };

  TIdStackSocketHandle NewSocketHandle(int ASocketType, int AProtocol, TIdIPVersion AIpVersion,
                                       bool AOverlapped) override;
  void Bind(TIdStackSocketHandle AHandle, const std::string& AIP, uint16_t APort,
            TIdIPVersion AIpVersion) override;
  void Connect(TIdStackSocketHandle AHandle, const std::string& AIP, uint16_t APort,
               TIdIPVersion AIpVersion) override;
  void Listen(TIdStackSocketHandle AHandle, int ABacklog) override;
  TIdStackSocketHandle Accept(TIdStackSocketHandle AHandle, std::string& AIP, uint16_t& APort,
                              TIdIPVersion& AIpVersion) override;
  void Disconnect(TIdStackSocketHandle AHandle) override;
  using TIdStack::Receive;
  using TIdStack::Send;
  int Receive(TIdStackSocketHandle AHandle, void* ABuffer, int ALength) override;
  int Send(TIdStackSocketHandle AHandle, const void* ABuffer, int ALength) override;
  void GetSocketName(TIdStackSocketHandle AHandle, std::string& AIP, uint16_t& APort,
                     TIdIPVersion& AIpVersion) override;
  void GetPeerName(TIdStackSocketHandle AHandle, std::string& AIP, uint16_t& APort,
                   TIdIPVersion& AIpVersion) override;
  int GetSocketOption(TIdStackSocketHandle AHandle, int ALevel, int AOption) override;
  void SetSocketOption(TIdStackSocketHandle AHandle, int ALevel, int AOption, int AValue) override;

  // Fills the area for an address text and port; EIdIPVersionUnsupported for another version,
  // and the socket error 10022 for text that is not an address of that version.
  void FillSockAddr(TSockAddr& AAddr, const std::string& AIP, uint16_t APort,
                    TIdIPVersion AIpVersion);
  // Reads an area back; EIdIPVersionUnsupported for another family.
  void ReadSockAddr(const TSockAddr& AAddr, std::string& AIP, uint16_t& APort,
                    TIdIPVersion& AIpVersion);
  // The IP text of an address the resolver returned (ALength bytes at AAddr, of which no more
  // than the area holds are read).
  std::string AddressText(const void* AAddr, size_t ALength);

 protected:
  TIdStackBSDBase() = default;

  // The platform's address family of an IP version; EIdIPVersionUnsupported for another.
  static int AddressFamily(TIdIPVersion AIpVersion);

  // Platform primitives. They return the platform's error value (-1 or an invalid handle) on
  // failure, leaving the code for WSGetLastError.
  virtual TIdStackSocketHandle WSSocket(int AFamily, int AType, int AProtocol,
                                        bool AOverlapped) = 0;
  virtual int WSBind(TIdStackSocketHandle AHandle, const TSockAddr& AAddr) = 0;
  virtual int WSConnect(TIdStackSocketHandle AHandle, const TSockAddr& AAddr) = 0;
  virtual int WSListen(TIdStackSocketHandle AHandle, int ABacklog) = 0;
  virtual TIdStackSocketHandle WSAccept(TIdStackSocketHandle AHandle, TSockAddr& AAddr) = 0;
  virtual int WSRecv(TIdStackSocketHandle AHandle, void* ABuffer, int ALength) = 0;
  virtual int WSSend(TIdStackSocketHandle AHandle, const void* ABuffer, int ALength) = 0;
  virtual int WSShutdown(TIdStackSocketHandle AHandle, int AHow) = 0;
  virtual int WSCloseSocket(TIdStackSocketHandle AHandle) = 0;
  virtual int WSGetSockName(TIdStackSocketHandle AHandle, TSockAddr& AAddr) = 0;
  virtual int WSGetPeerName(TIdStackSocketHandle AHandle, TSockAddr& AAddr) = 0;
  virtual int WSGetSockOpt(TIdStackSocketHandle AHandle, int ALevel, int AOption, int& AValue) = 0;
  virtual int WSSetSockOpt(TIdStackSocketHandle AHandle, int ALevel, int AOption, int AValue) = 0;
};
