#include "net/IdStackBSDBase.h"

#include <algorithm>
#include <cstring>

#include "net/IdIPAddress.h"
#include "net/IdResourceStrings.h"
#include "net/IdSocketErrors.h"

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

uint16_t Swap16(uint16_t v) {
  return static_cast<uint16_t>((v >> 8) | (v << 8));
}
// Network byte order is big-endian; both targets are little-endian.
uint16_t HostToNetwork16(uint16_t v) {
  return Swap16(v);
}

}  // namespace

int TIdStackBSDBase::AddressFamily(TIdIPVersion AIpVersion) {
  switch (AIpVersion) {
    case Id_IPv4:
      return AF_INET;
    case Id_IPv6:
      return AF_INET6;
  }
  throw EIdIPVersionUnsupported(Text(RSIPVersionUnsupported));
}

void TIdStackBSDBase::FillSockAddr(TSockAddr& AAddr, const std::string& AIP, uint16_t APort,
                                   TIdIPVersion AIpVersion) {
  std::memset(AAddr.Bytes, 0, sizeof AAddr.Bytes);
  switch (AIpVersion) {
    case Id_IPv4: {
      sockaddr_in sa{};
      sa.sin_family = AF_INET;
      sa.sin_port = HostToNetwork16(APort);
      uint8_t bytes[4] = {0, 0, 0, 0};
      if (!AIP.empty() && !ParseIPv4(AIP, bytes, TIdIPv4Form::ifLenient))
        RaiseSocketError(Id_WSAEINVAL);
      std::memcpy(&sa.sin_addr, bytes, 4);
      std::memcpy(AAddr.Bytes, &sa, sizeof sa);
      AAddr.Length = 16;
      return;
    }
    case Id_IPv6: {
      sockaddr_in6 sa{};
      sa.sin6_family = AF_INET6;
      sa.sin6_port = HostToNetwork16(APort);
      uint16_t words[8] = {};
      if (!AIP.empty() && !ParseIPv6(AIP, words)) RaiseSocketError(Id_WSAEINVAL);
      uint8_t bytes[16];
      for (int k = 0; k < 8; ++k) {
        bytes[2 * k] = static_cast<uint8_t>(words[k] >> 8);
        bytes[2 * k + 1] = static_cast<uint8_t>(words[k]);
      }
      std::memcpy(&sa.sin6_addr, bytes, 16);
      std::memcpy(AAddr.Bytes, &sa, sizeof sa);
      AAddr.Length = 28;
      return;
    }
  }
  throw EIdIPVersionUnsupported(Text(RSIPVersionUnsupported));
}

std::string TIdStackBSDBase::AddressText(const void* AAddr, size_t ALength) {
  TSockAddr addr;
  std::memset(addr.Bytes, 0, sizeof addr.Bytes);
  std::memcpy(addr.Bytes, AAddr, std::min(ALength, sizeof addr.Bytes));
  addr.Length = static_cast<int>(ALength);
  std::string ip;
  uint16_t port;
  TIdIPVersion version;
  ReadSockAddr(addr, ip, port, version);
  return ip;
}

void TIdStackBSDBase::ReadSockAddr(const TSockAddr& AAddr, std::string& AIP, uint16_t& APort,
                                   TIdIPVersion& AIpVersion) {
  uint16_t family;
  std::memcpy(&family, AAddr.Bytes, sizeof family);
  if (family == AF_INET) {
    sockaddr_in sa;
    std::memcpy(&sa, AAddr.Bytes, sizeof sa);
    uint8_t b[4];
    std::memcpy(b, &sa.sin_addr, 4);
    AIP = std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
          std::to_string(b[3]);
    APort = Swap16(sa.sin_port);
    AIpVersion = Id_IPv4;
    return;
  }
  if (family == AF_INET6) {
    sockaddr_in6 sa;
    std::memcpy(&sa, AAddr.Bytes, sizeof sa);
    uint8_t b[16];
    std::memcpy(b, &sa.sin6_addr, 16);
    uint16_t words[8];
    for (int k = 0; k < 8; ++k)
      words[k] = static_cast<uint16_t>(b[2 * k] << 8 | b[2 * k + 1]);
    AIP = FormatIPv6(words);
    APort = Swap16(sa.sin6_port);
    AIpVersion = Id_IPv6;
    return;
  }
  throw EIdIPVersionUnsupported(Text(RSIPVersionUnsupported));
}

TIdStackSocketHandle TIdStackBSDBase::NewSocketHandle(int ASocketType, int AProtocol,
                                                      TIdIPVersion AIpVersion, bool AOverlapped) {
  const TIdStackSocketHandle handle =
      WSSocket(AddressFamily(AIpVersion), ASocketType, AProtocol, AOverlapped);
  if (handle == Id_INVALID_SOCKET) RaiseLastSocketError();
  return handle;
}

void TIdStackBSDBase::Bind(TIdStackSocketHandle AHandle, const std::string& AIP, uint16_t APort,
                           TIdIPVersion AIpVersion) {
  TSockAddr addr;
  FillSockAddr(addr, AIP, APort, AIpVersion);
  CheckForSocketError(WSBind(AHandle, addr));
}

void TIdStackBSDBase::Connect(TIdStackSocketHandle AHandle, const std::string& AIP, uint16_t APort,
                              TIdIPVersion AIpVersion) {
  TSockAddr addr;
  FillSockAddr(addr, AIP, APort, AIpVersion);
  CheckForSocketError(WSConnect(AHandle, addr));
}

void TIdStackBSDBase::Listen(TIdStackSocketHandle AHandle, int ABacklog) {
  CheckForSocketError(WSListen(AHandle, ABacklog));
}

TIdStackSocketHandle TIdStackBSDBase::Accept(TIdStackSocketHandle AHandle, std::string& AIP,
                                             uint16_t& APort, TIdIPVersion& AIpVersion) {
  TSockAddr addr;
  std::memset(addr.Bytes, 0, sizeof addr.Bytes);
  addr.Length = sizeof addr.Bytes;
  const TIdStackSocketHandle accepted = WSAccept(AHandle, addr);
  if (accepted == Id_INVALID_SOCKET) RaiseLastSocketError();
  ReadSockAddr(addr, AIP, APort, AIpVersion);
  return accepted;
}

void TIdStackBSDBase::Disconnect(TIdStackSocketHandle AHandle) {
  WSShutdown(AHandle, 1);
  WSCloseSocket(AHandle);
}

int TIdStackBSDBase::Receive(TIdStackSocketHandle AHandle, void* ABuffer, int ALength) {
  return CheckForSocketError(WSRecv(AHandle, ABuffer, ALength));
}

int TIdStackBSDBase::Send(TIdStackSocketHandle AHandle, const void* ABuffer, int ALength) {
  if (ALength <= 0) return ALength;
  return CheckForSocketError(WSSend(AHandle, ABuffer, ALength));
}

void TIdStackBSDBase::GetSocketName(TIdStackSocketHandle AHandle, std::string& AIP, uint16_t& APort,
                                    TIdIPVersion& AIpVersion) {
  TSockAddr addr;
  std::memset(addr.Bytes, 0, sizeof addr.Bytes);
  addr.Length = sizeof addr.Bytes;
  CheckForSocketError(WSGetSockName(AHandle, addr));
  ReadSockAddr(addr, AIP, APort, AIpVersion);
}

void TIdStackBSDBase::GetPeerName(TIdStackSocketHandle AHandle, std::string& AIP, uint16_t& APort,
                                  TIdIPVersion& AIpVersion) {
  TSockAddr addr;
  std::memset(addr.Bytes, 0, sizeof addr.Bytes);
  addr.Length = sizeof addr.Bytes;
  CheckForSocketError(WSGetPeerName(AHandle, addr));
  ReadSockAddr(addr, AIP, APort, AIpVersion);
}

int TIdStackBSDBase::GetSocketOption(TIdStackSocketHandle AHandle, int ALevel, int AOption) {
  int value = 0;
  CheckForSocketError(WSGetSockOpt(AHandle, ALevel, AOption, value));
  return value;
}

void TIdStackBSDBase::SetSocketOption(TIdStackSocketHandle AHandle, int ALevel, int AOption,
                                      int AValue) {
  CheckForSocketError(WSSetSockOpt(AHandle, ALevel, AOption, AValue));
}
