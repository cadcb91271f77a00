#include "net/IdStackWindows.h"

#include <cstring>

#include "base/UniqueHandle.h"
#include "base/Utf.h"
#include "net/IdResourceStrings.h"
#include "net/IdWinsock2.h"

namespace {

SOCKET Sock(TIdStackSocketHandle handle) {
  return static_cast<SOCKET>(handle);
}

sockaddr* Addr(TIdStackBSDBase::TSockAddr& addr) {
  return reinterpret_cast<sockaddr*>(addr.Bytes);
}
const sockaddr* Addr(const TIdStackBSDBase::TSockAddr& addr) {
  return reinterpret_cast<const sockaddr*>(addr.Bytes);
}

// The platform's descriptor set: a count followed by room for 64 socket handles.
class TIdSocketListWindows : public TIdSocketList {
 public:
  TIdSocketListWindows() { FFDSet.fd_count = 0; }

  void Add(TIdStackSocketHandle handle) override {
    std::lock_guard<TIdCriticalSection> lock(FLock);
    if (IndexOf(handle) >= 0) return;
    if (FFDSet.fd_count >= FD_SETSIZE) throw EIdStackSetSizeExceeded(RSSetSizeExceeded);
    FFDSet.fd_array[FFDSet.fd_count++] = Sock(handle);
  }
  void Remove(TIdStackSocketHandle handle) override {
    std::lock_guard<TIdCriticalSection> lock(FLock);
    const int i = IndexOf(handle);
    if (i < 0) return;
    for (u_int k = static_cast<u_int>(i) + 1; k < FFDSet.fd_count; ++k)
      FFDSet.fd_array[k - 1] = FFDSet.fd_array[k];
    --FFDSet.fd_count;
  }
  bool Contains(TIdStackSocketHandle handle) override {
    std::lock_guard<TIdCriticalSection> lock(FLock);
    return IndexOf(handle) >= 0;
  }
  int Count() override {
    std::lock_guard<TIdCriticalSection> lock(FLock);
    return static_cast<int>(FFDSet.fd_count);
  }
  bool SelectRead(int timeout) override {
    fd_set copy;
    {
      std::lock_guard<TIdCriticalSection> lock(FLock);
      copy = FFDSet;
    }
    timeval limit{};
    const std::optional<TIdTimeVal> t = SelectTimeLimit(timeout);
    if (t) {
      limit.tv_sec = t->Seconds;
      limit.tv_usec = t->Microseconds;
    }
    GStack()->CheckForSocketError(
        IdWinsock2::select(0, &copy, nullptr, nullptr, t ? &limit : nullptr));
    return copy.fd_count > 0;
  }

 private:
  int IndexOf(TIdStackSocketHandle handle) const {
    for (u_int k = 0; k < FFDSet.fd_count; ++k)
      if (FFDSet.fd_array[k] == Sock(handle)) return static_cast<int>(k);
    return -1;
  }
  fd_set FFDSet;
};

static_assert(FD_SETSIZE == TIdSocketList::MaxSockets, "descriptor set holds 64 sockets");

// Frees the result list of the address-information call in all cases.
struct TAddrInfoTraits {
  using Type = PADDRINFOW;
  static PADDRINFOW Invalid() { return nullptr; }
  static void Close(PADDRINFOW p) { IdWinsock2::FreeAddrInfoW(p); }
};

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

std::string TIdStackWindows::LookupHostAddress(const std::string& host, TIdIPVersion ipVersion) {
  ADDRINFOW hints{};
  hints.ai_family = AddressFamily(ipVersion);
  hints.ai_socktype = SOCK_STREAM;
  const std::wstring name = IdWinsock2::IdnToAsciiIfNeeded(ToWide(host));
  PADDRINFOW result = nullptr;
  const int rc = IdWinsock2::GetAddrInfoW(name.c_str(), nullptr, &hints, &result);
  TUniqueHandle<TAddrInfoTraits> guard(result);
  if (rc != 0) RaiseSocketError(AddressInfoResultToSocketError(rc, WSGetLastError()));
  if (!result || !result->ai_addr) RaiseSocketError(WSAHOST_NOT_FOUND);
  TSockAddr addr;
  std::memset(addr.Bytes, 0, sizeof addr.Bytes);
  std::memcpy(addr.Bytes, result->ai_addr,
              result->ai_addrlen < sizeof addr.Bytes ? result->ai_addrlen : sizeof addr.Bytes);
  addr.Length = static_cast<int>(result->ai_addrlen);
  std::string ip;
  uint16_t port;
  TIdIPVersion version;
  ReadSockAddr(addr, ip, port, version);
  return ip;
}

int TIdStackWindows::WSGetLastError() {
  const int error = IdWinsock2::WSAGetLastError();
  // Hexadecimal C000023D (the system status for an unreachable host) counts as "no route".
  if (error == static_cast<int>(0xC000023Du)) return WSAEHOSTUNREACH;
  return error;
}

void TIdStackWindows::WSSetLastError(int code) {
  IdWinsock2::WSASetLastError(code);
}

std::unique_ptr<TIdSocketList> TIdStackWindows::NewSocketList() {
  return std::make_unique<TIdSocketListWindows>();
}

TIdStackSocketHandle TIdStackWindows::WSSocket(int family, int type, int protocol,
                                               bool overlapped) {
  const SOCKET s =
      overlapped ? IdWinsock2::WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED)
                 : IdWinsock2::socket(family, type, protocol);
  return s == INVALID_SOCKET ? Id_INVALID_SOCKET : static_cast<TIdStackSocketHandle>(s);
}

int TIdStackWindows::WSBind(TIdStackSocketHandle handle, const TSockAddr& addr) {
  return IdWinsock2::bind(Sock(handle), Addr(addr), addr.Length);
}

int TIdStackWindows::WSConnect(TIdStackSocketHandle handle, const TSockAddr& addr) {
  return IdWinsock2::connect(Sock(handle), Addr(addr), addr.Length);
}

int TIdStackWindows::WSListen(TIdStackSocketHandle handle, int backlog) {
  return IdWinsock2::listen(Sock(handle), backlog);
}

TIdStackSocketHandle TIdStackWindows::WSAccept(TIdStackSocketHandle handle, TSockAddr& addr) {
  int length = addr.Length;
  const SOCKET s = IdWinsock2::accept(Sock(handle), Addr(addr), &length);
  addr.Length = length;
  return s == INVALID_SOCKET ? Id_INVALID_SOCKET : static_cast<TIdStackSocketHandle>(s);
}

int TIdStackWindows::WSRecv(TIdStackSocketHandle handle, void* buffer, int length) {
  return IdWinsock2::recv(Sock(handle), static_cast<char*>(buffer), length, 0);
}

int TIdStackWindows::WSSend(TIdStackSocketHandle handle, const void* buffer, int length) {
  return IdWinsock2::send(Sock(handle), static_cast<const char*>(buffer), length, 0);
}

int TIdStackWindows::WSShutdown(TIdStackSocketHandle handle, int how) {
  return IdWinsock2::shutdown(Sock(handle), how);
}

int TIdStackWindows::WSCloseSocket(TIdStackSocketHandle handle) {
  return IdWinsock2::closesocket(Sock(handle));
}

int TIdStackWindows::WSGetSockName(TIdStackSocketHandle handle, TSockAddr& addr) {
  int length = static_cast<int>(sizeof addr.Bytes);
  const int rc = IdWinsock2::getsockname(Sock(handle), Addr(addr), &length);
  addr.Length = length;
  return rc;
}

int TIdStackWindows::WSGetPeerName(TIdStackSocketHandle handle, TSockAddr& addr) {
  int length = static_cast<int>(sizeof addr.Bytes);
  const int rc = IdWinsock2::getpeername(Sock(handle), Addr(addr), &length);
  addr.Length = length;
  return rc;
}

int TIdStackWindows::WSGetSockOpt(TIdStackSocketHandle handle, int level, int option, int& value) {
  int length = sizeof value;
  value = 0;
  return IdWinsock2::getsockopt(Sock(handle), level, option, reinterpret_cast<char*>(&value),
                                &length);
}

int TIdStackWindows::WSSetSockOpt(TIdStackSocketHandle handle, int level, int option, int value) {
  return IdWinsock2::setsockopt(Sock(handle), level, option, reinterpret_cast<const char*>(&value),
                                sizeof value);
}
