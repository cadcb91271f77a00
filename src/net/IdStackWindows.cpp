#include "net/IdStackWindows.h"

#include <cstring>

#include "base/UniqueHandle.h"
#include "base/Utf.h"
#include "net/IdResourceStrings.h"
#include "net/IdWinsock2.h"

namespace {

SOCKET Sock(TIdStackSocketHandle AHandle) {
  return static_cast<SOCKET>(AHandle);
}

sockaddr* Addr(TIdStackBSDBase::TSockAddr& AAddr) {
  return reinterpret_cast<sockaddr*>(AAddr.Bytes);
}
const sockaddr* Addr(const TIdStackBSDBase::TSockAddr& AAddr) {
  return reinterpret_cast<const sockaddr*>(AAddr.Bytes);
}

// The platform's descriptor set: a count followed by room for 64 socket handles.
class TIdSocketListWindows : public TIdSocketList {
 public:
  TIdSocketListWindows() { FFDSet.fd_count = 0; }

  void Add(TIdStackSocketHandle AHandle) override {
    std::lock_guard<TIdCriticalSection> lock(FLock);
    if (IndexOf(AHandle) >= 0) return;
    if (FFDSet.fd_count >= FD_SETSIZE) throw EIdStackSetSizeExceeded(RSSetSizeExceeded);
    FFDSet.fd_array[FFDSet.fd_count++] = Sock(AHandle);
  }
  void Remove(TIdStackSocketHandle AHandle) override {
    std::lock_guard<TIdCriticalSection> lock(FLock);
    const int i = IndexOf(AHandle);
    if (i < 0) return;
    for (u_int k = static_cast<u_int>(i) + 1; k < FFDSet.fd_count; ++k)
      FFDSet.fd_array[k - 1] = FFDSet.fd_array[k];
    --FFDSet.fd_count;
  }
  bool Contains(TIdStackSocketHandle AHandle) override {
    std::lock_guard<TIdCriticalSection> lock(FLock);
    return IndexOf(AHandle) >= 0;
  }
  int Count() override {
    std::lock_guard<TIdCriticalSection> lock(FLock);
    return static_cast<int>(FFDSet.fd_count);
  }
  bool SelectRead(int ATimeout) override {
    fd_set copy;
    {
      std::lock_guard<TIdCriticalSection> lock(FLock);
      copy = FFDSet;
    }
    timeval limit{};
    const std::optional<TIdTimeVal> t = SelectTimeLimit(ATimeout);
    if (t) {
      limit.tv_sec = t->Seconds;
      limit.tv_usec = t->Microseconds;
    }
    GStack()->CheckForSocketError(
        IdWinsock2::select(0, &copy, nullptr, nullptr, t ? &limit : nullptr));
    return copy.fd_count > 0;
  }

 private:
  int IndexOf(TIdStackSocketHandle AHandle) const {
    for (u_int k = 0; k < FFDSet.fd_count; ++k)
      if (FFDSet.fd_array[k] == Sock(AHandle)) return static_cast<int>(k);
    return -1;
  }
  fd_set FFDSet;
};

static_assert(FD_SETSIZE == TIdSocketList::MaxSockets, "descriptor set holds 64 sockets");

// Frees the result list of the address-information call in all cases.
using TAddrInfoOwner = TUniqueHandle<TNullHandleTraits<PADDRINFOW, IdWinsock2::FreeAddrInfoW>>;

}  // namespace

std::unique_ptr<TIdStack> CreatePlatformStack() {
  return std::make_unique<TIdStackWindows>();
}

TIdStackWindows::TIdStackWindows() {
  if (IdWinsock2::Winsock2Loaded()) return;
  try {
    IdWinsock2::LoadSocketLibrary();
    IdWinsock2::LoadAddressInfoFunctions();
    IdWinsock2::LoadIdnSupport();
  } catch (const Exception& e) {
    throw EIdStackInitializationFailed(e.Message());
  }
}

std::string TIdStackWindows::LookupHostAddress(const std::string& AHost, TIdIPVersion AIpVersion) {
  ADDRINFOW hints{};
  hints.ai_family = AddressFamily(AIpVersion);
  hints.ai_socktype = SOCK_STREAM;
  const std::wstring name = IdWinsock2::IdnToAsciiIfNeeded(ToWide(AHost));
  PADDRINFOW result = nullptr;
  const int rc = IdWinsock2::GetAddrInfoW(name.c_str(), nullptr, &hints, &result);
  TAddrInfoOwner guard(result);
  if (rc != 0) RaiseSocketError(AddressInfoResultToSocketError(rc, WSGetLastError()));
  if (!result || !result->ai_addr) RaiseSocketError(WSAHOST_NOT_FOUND);
  return AddressText(result->ai_addr, result->ai_addrlen);
}

int TIdStackWindows::WSGetLastError() {
  const int error = IdWinsock2::WSAGetLastError();
  // Hexadecimal C000023D (the system status for an unreachable host) counts as "no route".
  if (error == static_cast<int>(0xC000023Du)) return WSAEHOSTUNREACH;
  return error;
}

void TIdStackWindows::WSSetLastError(int ACode) {
  IdWinsock2::WSASetLastError(ACode);
}

std::unique_ptr<TIdSocketList> TIdStackWindows::NewSocketList() {
  return std::make_unique<TIdSocketListWindows>();
}

TIdStackSocketHandle TIdStackWindows::WSSocket(int AFamily, int AType, int AProtocol,
                                               bool AOverlapped) {
  const SOCKET s = AOverlapped ? IdWinsock2::WSASocketW(AFamily, AType, AProtocol, nullptr, 0,
                                                        WSA_FLAG_OVERLAPPED)
                               : IdWinsock2::socket(AFamily, AType, AProtocol);
  return s == INVALID_SOCKET ? Id_INVALID_SOCKET : static_cast<TIdStackSocketHandle>(s);
}

int TIdStackWindows::WSBind(TIdStackSocketHandle AHandle, const TSockAddr& AAddr) {
  return IdWinsock2::bind(Sock(AHandle), Addr(AAddr), AAddr.Length);
}

int TIdStackWindows::WSConnect(TIdStackSocketHandle AHandle, const TSockAddr& AAddr) {
  return IdWinsock2::connect(Sock(AHandle), Addr(AAddr), AAddr.Length);
}

int TIdStackWindows::WSListen(TIdStackSocketHandle AHandle, int ABacklog) {
  return IdWinsock2::listen(Sock(AHandle), ABacklog);
}

TIdStackSocketHandle TIdStackWindows::WSAccept(TIdStackSocketHandle AHandle, TSockAddr& AAddr) {
  int length = AAddr.Length;
  const SOCKET s = IdWinsock2::accept(Sock(AHandle), Addr(AAddr), &length);
  AAddr.Length = length;
  return s == INVALID_SOCKET ? Id_INVALID_SOCKET : static_cast<TIdStackSocketHandle>(s);
}

int TIdStackWindows::WSRecv(TIdStackSocketHandle AHandle, void* ABuffer, int ALength) {
  return IdWinsock2::recv(Sock(AHandle), static_cast<char*>(ABuffer), ALength, 0);
}

int TIdStackWindows::WSSend(TIdStackSocketHandle AHandle, const void* ABuffer, int ALength) {
  return IdWinsock2::send(Sock(AHandle), static_cast<const char*>(ABuffer), ALength, 0);
}

int TIdStackWindows::WSShutdown(TIdStackSocketHandle AHandle, int AHow) {
  return IdWinsock2::shutdown(Sock(AHandle), AHow);
}

int TIdStackWindows::WSCloseSocket(TIdStackSocketHandle AHandle) {
  return IdWinsock2::closesocket(Sock(AHandle));
}

int TIdStackWindows::WSGetSockName(TIdStackSocketHandle AHandle, TSockAddr& AAddr) {
  int length = static_cast<int>(sizeof AAddr.Bytes);
  const int rc = IdWinsock2::getsockname(Sock(AHandle), Addr(AAddr), &length);
  AAddr.Length = length;
  return rc;
}

int TIdStackWindows::WSGetPeerName(TIdStackSocketHandle AHandle, TSockAddr& AAddr) {
  int length = static_cast<int>(sizeof AAddr.Bytes);
  const int rc = IdWinsock2::getpeername(Sock(AHandle), Addr(AAddr), &length);
  AAddr.Length = length;
  return rc;
}

int TIdStackWindows::WSGetSockOpt(TIdStackSocketHandle AHandle, int ALevel, int AOption,
                                  int& AValue) {
  int length = sizeof AValue;
  AValue = 0;
  return IdWinsock2::getsockopt(Sock(AHandle), ALevel, AOption, reinterpret_cast<char*>(&AValue),
                                &length);
}

int TIdStackWindows::WSSetSockOpt(TIdStackSocketHandle AHandle, int ALevel, int AOption,
                                  int AValue) {
  return IdWinsock2::setsockopt(Sock(AHandle), ALevel, AOption,
                                reinterpret_cast<const char*>(&AValue), sizeof AValue);
}
