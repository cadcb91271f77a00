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
      if (p.revents & POLLNVAL) GStack()->RaiseSocketError(10038);
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
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
      return 10013;
    case EPERM:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
      return 10024;
    case ENFILE:
      return 10024;
    case EWOULDBLOCK:
      return 10035;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
      return 10054;
    // Writing to a connection the peer has reset.
    case EPIPE:
      return 10054;
    case ENOBUFS:
      return 10055;
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
  }
  return AError;
}

int TIdStackPosix::ResolverErrorToSocketError(int AResult, int AError) {
  switch (AResult) {
    case EAI_NONAME:
      return 11001;  // host not found
    case EAI_AGAIN:
      return 11002;  // try again
    case EAI_FAIL:
      return 11003;  // non-recoverable
#ifdef EAI_NODATA
    case EAI_NODATA:
      return 11004;  // no address of the requested kind
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return 11004;
#endif
    case EAI_FAMILY:
      return 10047;
    case EAI_SOCKTYPE:
      return 10044;
    case EAI_SERVICE:
      return 10109;
    case EAI_MEMORY:
      return 8;
    case EAI_BADFLAGS:
      return 10022;
    case EAI_SYSTEM:
      return ErrnoToSocketError(AError);
  }
  return 11003;
}

std::string TIdStackPosix::LookupHostAddress(const std::string& AHost, TIdIPVersion AIpVersion) {
  addrinfo hints{};
  hints.ai_family = AddressFamily(AIpVersion);
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int rc = ::getaddrinfo(AHost.c_str(), nullptr, &hints, &result);
  if (rc != 0) RaiseSocketError(ResolverErrorToSocketError(rc, errno));
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> guard(result, &::freeaddrinfo);
  if (!result || !result->ai_addr) RaiseSocketError(11001);
  return AddressText(result->ai_addr, result->ai_addrlen);
}

int TIdStackPosix::WSGetLastError() {
  // Hexadecimal C000023D (the system status for an unreachable host) counts as "no route".
  if (tLastSocketError == static_cast<int>(0xC000023Du)) return 10065;
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
