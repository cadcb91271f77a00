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

  TIdStackSocketHandle NewSocketHandle(int socketType, int protocol, TIdIPVersion ipVersion,
                                       bool overlapped) override;
  void Bind(TIdStackSocketHandle handle, const std::string& ip, uint16_t port,
            TIdIPVersion ipVersion) override;
  void Connect(TIdStackSocketHandle handle, const std::string& ip, uint16_t port,
               TIdIPVersion ipVersion) override;
  void Listen(TIdStackSocketHandle handle, int backlog) override;
  TIdStackSocketHandle Accept(TIdStackSocketHandle handle, std::string& ip, uint16_t& port,
                              TIdIPVersion& ipVersion) override;
  void Disconnect(TIdStackSocketHandle handle) override;
  using TIdStack::Receive;
  using TIdStack::Send;
  int Receive(TIdStackSocketHandle handle, void* buffer, int length) override;
  int Send(TIdStackSocketHandle handle, const void* buffer, int length) override;
  void GetSocketName(TIdStackSocketHandle handle, std::string& ip, uint16_t& port,
                     TIdIPVersion& ipVersion) override;
  void GetPeerName(TIdStackSocketHandle handle, std::string& ip, uint16_t& port,
                   TIdIPVersion& ipVersion) override;
  int GetSocketOption(TIdStackSocketHandle handle, int level, int option) override;
  void SetSocketOption(TIdStackSocketHandle handle, int level, int option, int value) override;

  // Fills the area for an address text and port; EIdIPVersionUnsupported for another version,
  // and the socket error 10022 for text that is not an address of that version.
  void FillSockAddr(TSockAddr& addr, const std::string& ip, uint16_t port, TIdIPVersion ipVersion);
  // Reads an area back; EIdIPVersionUnsupported for another family.
  void ReadSockAddr(const TSockAddr& addr, std::string& ip, uint16_t& port,
                    TIdIPVersion& ipVersion);

 protected:
  TIdStackBSDBase() = default;

  // The platform's address family of an IP version; EIdIPVersionUnsupported for another.
  static int AddressFamily(TIdIPVersion ipVersion);

  // Platform primitives. They return the platform's error value (-1 or an invalid handle) on
  // failure, leaving the code for WSGetLastError.
  virtual TIdStackSocketHandle WSSocket(int family, int type, int protocol, bool overlapped) = 0;
  virtual int WSBind(TIdStackSocketHandle handle, const TSockAddr& addr) = 0;
  virtual int WSConnect(TIdStackSocketHandle handle, const TSockAddr& addr) = 0;
  virtual int WSListen(TIdStackSocketHandle handle, int backlog) = 0;
  virtual TIdStackSocketHandle WSAccept(TIdStackSocketHandle handle, TSockAddr& addr) = 0;
  virtual int WSRecv(TIdStackSocketHandle handle, void* buffer, int length) = 0;
  virtual int WSSend(TIdStackSocketHandle handle, const void* buffer, int length) = 0;
  virtual int WSShutdown(TIdStackSocketHandle handle, int how) = 0;
  virtual int WSCloseSocket(TIdStackSocketHandle handle) = 0;
  virtual int WSGetSockName(TIdStackSocketHandle handle, TSockAddr& addr) = 0;
  virtual int WSGetPeerName(TIdStackSocketHandle handle, TSockAddr& addr) = 0;
  virtual int WSGetSockOpt(TIdStackSocketHandle handle, int level, int option, int& value) = 0;
  virtual int WSSetSockOpt(TIdStackSocketHandle handle, int level, int option, int value) = 0;
};
