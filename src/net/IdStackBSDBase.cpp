#include "net/IdStackBSDBase.h"

#include <cstring>

#include "net/IdIPAddress.h"
#include "net/IdResourceStrings.h"

#ifdef _WIN32
// Structure definitions only: every socket function is called through the run-time loaded
// library.
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace {

constexpr int kWSAEINVAL = 10022;

uint16_t Swap16(uint16_t v) {
  return static_cast<uint16_t>((v >> 8) | (v << 8));
}
// Network byte order is big-endian; both targets are little-endian.
uint16_t HostToNetwork16(uint16_t v) {
  return Swap16(v);
}

}  // namespace

int TIdStackBSDBase::AddressFamily(TIdIPVersion ipVersion) {
  switch (ipVersion) {
    case Id_IPv4:
      return AF_INET;
    case Id_IPv6:
      return AF_INET6;
  }
  throw EIdIPVersionUnsupported(RSIPVersionUnsupported);
}

void TIdStackBSDBase::FillSockAddr(TSockAddr& addr, const std::string& ip, uint16_t port,
                                   TIdIPVersion ipVersion) {
  std::memset(addr.Bytes, 0, sizeof addr.Bytes);
  switch (ipVersion) {
    case Id_IPv4: {
      sockaddr_in sa{};
      sa.sin_family = AF_INET;
      sa.sin_port = HostToNetwork16(port);
      uint8_t bytes[4] = {0, 0, 0, 0};
      if (!ip.empty() && !ParseIPv4(ip, bytes, TIdIPv4Form::ifLenient))
        RaiseSocketError(kWSAEINVAL);
      std::memcpy(&sa.sin_addr, bytes, 4);
      std::memcpy(addr.Bytes, &sa, sizeof sa);
      addr.Length = 16;
      return;
    }
    case Id_IPv6: {
      sockaddr_in6 sa{};
      sa.sin6_family = AF_INET6;
      sa.sin6_port = HostToNetwork16(port);
      uint16_t words[8] = {};
      if (!ip.empty() && !ParseIPv6(ip, words)) RaiseSocketError(kWSAEINVAL);
      uint8_t bytes[16];
      for (int k = 0; k < 8; ++k) {
        bytes[2 * k] = static_cast<uint8_t>(words[k] >> 8);
        bytes[2 * k + 1] = static_cast<uint8_t>(words[k]);
      }
      std::memcpy(&sa.sin6_addr, bytes, 16);
      std::memcpy(addr.Bytes, &sa, sizeof sa);
      addr.Length = 28;
      return;
    }
  }
  throw EIdIPVersionUnsupported(RSIPVersionUnsupported);
}

void TIdStackBSDBase::ReadSockAddr(const TSockAddr& addr, std::string& ip, uint16_t& port,
                                   TIdIPVersion& ipVersion) {
  uint16_t family;
  std::memcpy(&family, addr.Bytes, sizeof family);
  if (family == AF_INET) {
    sockaddr_in sa;
    std::memcpy(&sa, addr.Bytes, sizeof sa);
    uint8_t b[4];
    std::memcpy(b, &sa.sin_addr, 4);
    ip = std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
         std::to_string(b[3]);
    port = Swap16(sa.sin_port);
    ipVersion = Id_IPv4;
    return;
  }
  if (family == AF_INET6) {
    sockaddr_in6 sa;
    std::memcpy(&sa, addr.Bytes, sizeof sa);
    uint8_t b[16];
    std::memcpy(b, &sa.sin6_addr, 16);
    uint16_t words[8];
    for (int k = 0; k < 8; ++k)
      words[k] = static_cast<uint16_t>(b[2 * k] << 8 | b[2 * k + 1]);
    ip = FormatIPv6(words);
    port = Swap16(sa.sin6_port);
    ipVersion = Id_IPv6;
    return;
  }
  throw EIdIPVersionUnsupported(RSIPVersionUnsupported);
}

TIdStackSocketHandle TIdStackBSDBase::NewSocketHandle(int socketType, int protocol,
                                                      TIdIPVersion ipVersion, bool overlapped) {
  const TIdStackSocketHandle handle =
      WSSocket(AddressFamily(ipVersion), socketType, protocol, overlapped);
  if (handle == Id_INVALID_SOCKET) RaiseLastSocketError();
  return handle;
}

void TIdStackBSDBase::Bind(TIdStackSocketHandle handle, const std::string& ip, uint16_t port,
                           TIdIPVersion ipVersion) {
  TSockAddr addr;
  FillSockAddr(addr, ip, port, ipVersion);
  CheckForSocketError(WSBind(handle, addr));
}

void TIdStackBSDBase::Connect(TIdStackSocketHandle handle, const std::string& ip, uint16_t port,
                              TIdIPVersion ipVersion) {
  TSockAddr addr;
  FillSockAddr(addr, ip, port, ipVersion);
  CheckForSocketError(WSConnect(handle, addr));
}

void TIdStackBSDBase::Listen(TIdStackSocketHandle handle, int backlog) {
  CheckForSocketError(WSListen(handle, backlog));
}

TIdStackSocketHandle TIdStackBSDBase::Accept(TIdStackSocketHandle handle, std::string& ip,
                                             uint16_t& port, TIdIPVersion& ipVersion) {
  TSockAddr addr;
  std::memset(addr.Bytes, 0, sizeof addr.Bytes);
  addr.Length = sizeof addr.Bytes;
  const TIdStackSocketHandle accepted = WSAccept(handle, addr);
  if (accepted == Id_INVALID_SOCKET) RaiseLastSocketError();
  ReadSockAddr(addr, ip, port, ipVersion);
  return accepted;
}

void TIdStackBSDBase::Disconnect(TIdStackSocketHandle handle) {
  WSShutdown(handle, 1);
  WSCloseSocket(handle);
}

int TIdStackBSDBase::Receive(TIdStackSocketHandle handle, void* buffer, int length) {
  return CheckForSocketError(WSRecv(handle, buffer, length));
}

int TIdStackBSDBase::Send(TIdStackSocketHandle handle, const void* buffer, int length) {
  if (length <= 0) return length;
  return CheckForSocketError(WSSend(handle, buffer, length));
}

void TIdStackBSDBase::GetSocketName(TIdStackSocketHandle handle, std::string& ip, uint16_t& port,
                                    TIdIPVersion& ipVersion) {
  TSockAddr addr;
  std::memset(addr.Bytes, 0, sizeof addr.Bytes);
  addr.Length = sizeof addr.Bytes;
  CheckForSocketError(WSGetSockName(handle, addr));
  ReadSockAddr(addr, ip, port, ipVersion);
}

void TIdStackBSDBase::GetPeerName(TIdStackSocketHandle handle, std::string& ip, uint16_t& port,
                                  TIdIPVersion& ipVersion) {
  TSockAddr addr;
  std::memset(addr.Bytes, 0, sizeof addr.Bytes);
  addr.Length = sizeof addr.Bytes;
  CheckForSocketError(WSGetPeerName(handle, addr));
  ReadSockAddr(addr, ip, port, ipVersion);
}

int TIdStackBSDBase::GetSocketOption(TIdStackSocketHandle handle, int level, int option) {
  int value = 0;
  CheckForSocketError(WSGetSockOpt(handle, level, option, value));
  return value;
}

void TIdStackBSDBase::SetSocketOption(TIdStackSocketHandle handle, int level, int option,
                                      int value) {
  CheckForSocketError(WSSetSockOpt(handle, level, option, value));
}
