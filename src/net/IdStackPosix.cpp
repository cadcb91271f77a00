#include "net/IdStackPosix.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/IdResourceStrings.h"
#include "net/IdSocketErrors.h"

namespace {

// The code of the last failed socket call of this thread, already mapped to WinSock.
thread_local int tLastSocketError = 0;

int Fail(int AError) {
  tLastSocketError = TIdStackPosix::ErrnoToSocketError(AError);
  return Id_SOCKET_ERROR;
}

int Fd(TIdStackSocketHandle AHandle) {
  return static_cast<int>(AHandle);
}

// Socket levels and options arrive in the Windows numbering.
bool TranslateOption(int& ALevel, int& AOption) {
  if (ALevel == Id_SOL_SOCKET) {
    ALevel = SOL_SOCKET;
    switch (AOption) {
      case Id_SO_REUSEADDR:
        AOption = SO_REUSEADDR;
        return true;
      case Id_SO_TYPE:
        AOption = SO_TYPE;
        return true;
    }
    return false;
  }
  if (ALevel == Id_SOCKETOPTIONLEVEL_TCP) {
    ALevel = IPPROTO_TCP;
    if (AOption == Id_TCP_NODELAY) {
      AOption = TCP_NODELAY;
      return true;
    }
    return false;
  }
  return false;
}

class TIdSocketListPosix : public TIdSocketList {
 public:
  void Add(TIdStackSocketHandle AHandle) override {
    std::lock_guard<TIdCriticalSection> lock(FLock);
    for (const pollfd& p : FFds)
      if (p.fd == Fd(AHandle)) return;
    if (static_cast<int>(FFds.size()) >= MaxSockets)
      throw EIdStackSetSizeExceeded(RSSetSizeExceeded);
    FFds.push_back({Fd(AHandle), POLLIN, 0});
  }
  void Remove(TIdStackSocketHandle AHandle) override {
    std::lock_guard<TIdCriticalSection> lock(FLock);
    for (size_t i = 0; i < FFds.size(); ++i)
      if (FFds[i].fd == Fd(AHandle)) {
        FFds.erase(FFds.begin() + static_cast<std::ptrdiff_t>(i));
        return;
      }
  }
  bool Contains(TIdStackSocketHandle AHandle) override {
    std::lock_guard<TIdCriticalSection> lock(FLock);
    for (const pollfd& p : FFds)
      if (p.fd == Fd(AHandle)) return true;
    return false;
  }
  int Count() override {
    std::lock_guard<TIdCriticalSection> lock(FLock);
    return static_cast<int>(FFds.size());
  }
  // poll instead of select: descriptors above FD_SETSIZE would overrun an fd_set.
  bool SelectRead(int ATimeout) override {
    std::vector<pollfd> copy;
    {
      std::lock_guard<TIdCriticalSection> lock(FLock);
      copy = FFds;
    }
    const int waitMs = ATimeout < 0 ? -1 : ATimeout;
    int result;
    do {
      result = ::poll(copy.data(), copy.size(), waitMs);
    } while (result < 0 && errno == EINTR);
    if (result < 0) GStack()->RaiseSocketError(TIdStackPosix::ErrnoToSocketError(errno));
    for (const pollfd& p : copy) {
      // select reports a descriptor that is not a socket as an error of the whole call.
      if (p.revents & POLLNVAL) GStack()->RaiseSocketError(Id_WSAENOTSOCK);
      if (p.revents & (POLLIN | POLLHUP | POLLERR)) return true;
    }
    return false;
  }

 private:
  std::vector<pollfd> FFds;
};

}  // namespace

std::unique_ptr<TIdStack> CreatePlatformStack() {
  return std::make_unique<TIdStackPosix>();
}

int TIdStackPosix::ErrnoToSocketError(int AError) {
  switch (AError) {
    case EINTR:
      return Id_WSAEINTR;
    case EBADF:
      return Id_WSAEBADF;
    case EACCES:
      return Id_WSAEACCES;
    case EPERM:
      return Id_WSAEACCES;
    case EFAULT:
      return Id_WSAEFAULT;
    case EINVAL:
      return Id_WSAEINVAL;
    case EMFILE:
      return Id_WSAEMFILE;
    case ENFILE:
      return Id_WSAEMFILE;
    case EWOULDBLOCK:
      return Id_WSAEWOULDBLOCK;
    case EINPROGRESS:
      return Id_WSAEINPROGRESS;
    case EALREADY:
      return Id_WSAEALREADY;
    case ENOTSOCK:
      return Id_WSAENOTSOCK;
    case EDESTADDRREQ:
      return Id_WSAEDESTADDRREQ;
    case EMSGSIZE:
      return Id_WSAEMSGSIZE;
    case EPROTOTYPE:
      return Id_WSAEPROTOTYPE;
    case ENOPROTOOPT:
      return Id_WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
      return Id_WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
      return Id_WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
      return Id_WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
      return Id_WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
      return Id_WSAEAFNOSUPPORT;
    case EADDRINUSE:
      return Id_WSAEADDRINUSE;
    case EADDRNOTAVAIL:
      return Id_WSAEADDRNOTAVAIL;
    case ENETDOWN:
      return Id_WSAENETDOWN;
    case ENETUNREACH:
      return Id_WSAENETUNREACH;
    case ENETRESET:
      return Id_WSAENETRESET;
    case ECONNABORTED:
      return Id_WSAECONNABORTED;
    case ECONNRESET:
      return Id_WSAECONNRESET;
    // Writing to a connection the peer has reset.
    case EPIPE:
      return Id_WSAECONNRESET;
    case ENOBUFS:
      return Id_WSAENOBUFS;
    case ENOMEM:
      return Id_WSAENOBUFS;
    case EISCONN:
      return Id_WSAEISCONN;
    case ENOTCONN:
      return Id_WSAENOTCONN;
    case ESHUTDOWN:
      return Id_WSAESHUTDOWN;
    case ETOOMANYREFS:
      return Id_WSAETOOMANYREFS;
    case ETIMEDOUT:
      return Id_WSAETIMEDOUT;
    case ECONNREFUSED:
      return Id_WSAECONNREFUSED;
    case ELOOP:
      return Id_WSAELOOP;
    case ENAMETOOLONG:
      return Id_WSAENAMETOOLONG;
    case EHOSTDOWN:
      return Id_WSAEHOSTDOWN;
    case EHOSTUNREACH:
      return Id_WSAEHOSTUNREACH;
    case ENOTEMPTY:
      return Id_WSAENOTEMPTY;
  }
  return AError;
}

int TIdStackPosix::ResolverErrorToSocketError(int AResult, int AError) {
  switch (AResult) {
    case EAI_NONAME:
      return Id_WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
      return Id_WSATRY_AGAIN;
    case EAI_FAIL:
      return Id_WSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return Id_WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return Id_WSANO_DATA;
#endif
    case EAI_FAMILY:
      return Id_WSAEAFNOSUPPORT;
    case EAI_SOCKTYPE:
      return Id_WSAESOCKTNOSUPPORT;
    case EAI_SERVICE:
      return Id_WSATYPE_NOT_FOUND;
    case EAI_MEMORY:
      return Id_WSA_NOT_ENOUGH_MEMORY;
    case EAI_BADFLAGS:
      return Id_WSAEINVAL;
    case EAI_SYSTEM:
      return ErrnoToSocketError(AError);
  }
  return Id_WSANO_RECOVERY;
}

std::string TIdStackPosix::LookupHostAddress(const std::string& AHost, TIdIPVersion AIpVersion) {
  addrinfo hints{};
  hints.ai_family = AddressFamily(AIpVersion);
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int rc = ::getaddrinfo(AHost.c_str(), nullptr, &hints, &result);
  if (rc != 0) RaiseSocketError(ResolverErrorToSocketError(rc, errno));
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> guard(result, &::freeaddrinfo);
  if (!result || !result->ai_addr) RaiseSocketError(Id_WSAHOST_NOT_FOUND);
  return AddressText(result->ai_addr, result->ai_addrlen);
}

int TIdStackPosix::WSGetLastError() {
  // Hexadecimal C000023D (the system status for an unreachable host) counts as "no route".
  if (tLastSocketError == static_cast<int>(0xC000023Du)) return Id_WSAEHOSTUNREACH;
  return tLastSocketError;
}

void TIdStackPosix::WSSetLastError(int ACode) {
  tLastSocketError = ACode;
}

std::unique_ptr<TIdSocketList> TIdStackPosix::NewSocketList() {
  return std::make_unique<TIdSocketListPosix>();
}

TIdStackSocketHandle TIdStackPosix::WSSocket(int AFamily, int AType, int AProtocol, bool) {
  const int fd = ::socket(AFamily, AType | SOCK_CLOEXEC, AProtocol);
  if (fd < 0) {
    Fail(errno);
    return Id_INVALID_SOCKET;
  }
  return static_cast<TIdStackSocketHandle>(fd);
}

int TIdStackPosix::WSBind(TIdStackSocketHandle AHandle, const TSockAddr& AAddr) {
  if (::bind(Fd(AHandle), reinterpret_cast<const sockaddr*>(AAddr.Bytes),
             static_cast<socklen_t>(AAddr.Length)) < 0)
    return Fail(errno);
  return 0;
}

int TIdStackPosix::WSConnect(TIdStackSocketHandle AHandle, const TSockAddr& AAddr) {
  if (::connect(Fd(AHandle), reinterpret_cast<const sockaddr*>(AAddr.Bytes),
                static_cast<socklen_t>(AAddr.Length)) < 0)
    return Fail(errno);
  return 0;
}

int TIdStackPosix::WSListen(TIdStackSocketHandle AHandle, int ABacklog) {
  if (::listen(Fd(AHandle), ABacklog) < 0) return Fail(errno);
  return 0;
}

TIdStackSocketHandle TIdStackPosix::WSAccept(TIdStackSocketHandle AHandle, TSockAddr& AAddr) {
  socklen_t length = static_cast<socklen_t>(AAddr.Length);
  int fd;
  do {
    fd = ::accept4(Fd(AHandle), reinterpret_cast<sockaddr*>(AAddr.Bytes), &length, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Fail(errno);
    return Id_INVALID_SOCKET;
  }
  AAddr.Length = static_cast<int>(length);
  return static_cast<TIdStackSocketHandle>(fd);
}

int TIdStackPosix::WSRecv(TIdStackSocketHandle AHandle, void* ABuffer, int ALength) {
  ssize_t n;
  do {
    n = ::recv(Fd(AHandle), ABuffer, static_cast<size_t>(ALength), 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return Fail(errno);
  return static_cast<int>(n);
}

int TIdStackPosix::WSSend(TIdStackSocketHandle AHandle, const void* ABuffer, int ALength) {
  ssize_t n;
  do {
    // No SIGPIPE: a peer that has gone is reported as an error like on Windows.
    n = ::send(Fd(AHandle), ABuffer, static_cast<size_t>(ALength), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return Fail(errno);
  return static_cast<int>(n);
}

int TIdStackPosix::WSShutdown(TIdStackSocketHandle AHandle, int AHow) {
  if (::shutdown(Fd(AHandle), AHow) < 0) return Fail(errno);
  return 0;
}

int TIdStackPosix::WSCloseSocket(TIdStackSocketHandle AHandle) {
  if (::close(Fd(AHandle)) < 0) return Fail(errno);
  return 0;
}

int TIdStackPosix::WSGetSockName(TIdStackSocketHandle AHandle, TSockAddr& AAddr) {
  socklen_t length = static_cast<socklen_t>(AAddr.Length);
  if (::getsockname(Fd(AHandle), reinterpret_cast<sockaddr*>(AAddr.Bytes), &length) < 0)
    return Fail(errno);
  AAddr.Length = static_cast<int>(length);
  return 0;
}

int TIdStackPosix::WSGetPeerName(TIdStackSocketHandle AHandle, TSockAddr& AAddr) {
  socklen_t length = static_cast<socklen_t>(AAddr.Length);
  if (::getpeername(Fd(AHandle), reinterpret_cast<sockaddr*>(AAddr.Bytes), &length) < 0)
    return Fail(errno);
  AAddr.Length = static_cast<int>(length);
  return 0;
}

int TIdStackPosix::WSGetSockOpt(TIdStackSocketHandle AHandle, int ALevel, int AOption,
                                int& AValue) {
  if (!TranslateOption(ALevel, AOption)) return Fail(ENOPROTOOPT);
  int v = 0;
  socklen_t length = sizeof v;
  if (::getsockopt(Fd(AHandle), ALevel, AOption, &v, &length) < 0) return Fail(errno);
  // SO_TYPE reports the native type number; stream is 1 on both targets.
  AValue = v;
  return 0;
}

int TIdStackPosix::WSSetSockOpt(TIdStackSocketHandle AHandle, int ALevel, int AOption, int AValue) {
  if (!TranslateOption(ALevel, AOption)) return Fail(ENOPROTOOPT);
  if (::setsockopt(Fd(AHandle), ALevel, AOption, &AValue, sizeof AValue) < 0) return Fail(errno);
  return 0;
}
