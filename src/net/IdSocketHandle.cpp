#include "net/IdSocketHandle.h"

#include <algorithm>

#include "base/Format.h"
#include "net/IdAntiFreezeBase.h"
#include "net/IdResourceStrings.h"

TIdSocketHandle::TIdSocketHandle() : FReadSocketList(GStack()->NewSocketList()) {
  Reset(true);
}

TIdSocketHandle::~TIdSocketHandle() {
  CloseSocket();
}

void TIdSocketHandle::AllocateSocket(int socketType, int protocol) {
  CloseSocket();
  AdoptHandle(GStack()->NewSocketHandle(socketType, protocol, FIPVersion, OverLapped));
}

void TIdSocketHandle::AdoptHandle(TIdStackSocketHandle handle) {
  const TIdStackSocketHandle old = FHandle;
  if (old != Id_INVALID_SOCKET) FReadSocketList->Remove(old);
  FHandle = handle;
  FHandleAllocated = handle != Id_INVALID_SOCKET;
  if (FHandleAllocated) {
    FReadSocketList->Add(handle);
    FSocketType = GStack()->GetSocketOption(handle, Id_SOL_SOCKET, Id_SO_TYPE);
    if (FSocketType == Id_SOCK_STREAM)
      FUseNagle = GStack()->GetSocketOption(handle, Id_SOCKETOPTIONLEVEL_TCP, Id_TCP_NODELAY) == 0;
  } else {
    FSocketType = 0;
  }
}

bool TIdSocketHandle::TryBind(uint16_t port) {
  try {
    GStack()->Bind(FHandle, IP, port, FIPVersion);
    TIdIPVersion version;
    GStack()->GetSocketName(FHandle, IP, Port, version);
    return true;
  } catch (const EIdSocketError&) {
    return false;
  }
}

void TIdSocketHandle::Bind() {
  SetSockOpt(Id_SOL_SOCKET, Id_SO_REUSEADDR, ReuseSocket == rsTrue ? 1 : 0);
  if (Port == 0 && ClientPortMin != 0 && ClientPortMax != 0) {
    if (ClientPortMin > ClientPortMax)
      throw EIdInvalidPortRange(Format(RSInvalidPortRange, ClientPortMin, ClientPortMax));
    for (int port = ClientPortMin; port <= ClientPortMax; ++port)
      if (TryBind(static_cast<uint16_t>(port))) return;
    throw EIdCanNotBindPortInRange(Format(RSCannotBindRange, ClientPortMin, ClientPortMax));
  }
  if (!TryBind(Port)) throw EIdCouldNotBindSocket(RSCouldNotBindSocket);
}

void TIdSocketHandle::SetPeer(const std::string& ip, uint16_t port, TIdIPVersion ipVersion) {
  PeerIP = ip;
  PeerPort = port;
  FIPVersion = ipVersion;
}

void TIdSocketHandle::Connect() {
  GStack()->Connect(FHandle, PeerIP, PeerPort, FIPVersion);
  std::lock_guard<TIdCriticalSection> lock(FConnectionHandle);
  // A close from the window's thread may have come first; then there is nothing to record.
  if (FHandleAllocated) {
    TIdIPVersion version;
    GStack()->GetSocketName(FHandle, IP, Port, version);
    GStack()->GetPeerName(FHandle, PeerIP, PeerPort, version);
  }
}

void TIdSocketHandle::CloseSocket() {
  if (!FHandleAllocated) return;
  std::lock_guard<TIdCriticalSection> lock(FConnectionHandle);
  if (!FHandleAllocated) return;
  FHandleAllocated = false;
  GStack()->Disconnect(FHandle);
  AdoptHandle(Id_INVALID_SOCKET);
}

void TIdSocketHandle::Reset(bool resetLocal) {
  CloseSocket();
  AdoptHandle(Id_INVALID_SOCKET);
  PeerIP.clear();
  PeerPort = 0;
  if (resetLocal) {
    IP.clear();
    Port = 0;
  }
  FIPVersion = Id_IPv4;
}

int TIdSocketHandle::Receive(TIdBytes& buffer) {
  return GStack()->Receive(FHandle, buffer);
}

int TIdSocketHandle::Receive(void* buffer, int length) {
  return GStack()->Receive(FHandle, buffer, length);
}

int TIdSocketHandle::Send(const TIdBytes& buffer, int offset, int size) {
  return GStack()->Send(FHandle, buffer, offset, size);
}

int TIdSocketHandle::Send(const void* buffer, int length) {
  return GStack()->Send(FHandle, buffer, length);
}

bool TIdSocketHandle::Select(int timeout) {
  // A close made by an event handler during the wait ends the wait here.
  if (!FHandleAllocated) throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
  const bool readable = FReadSocketList->SelectRead(timeout);
  TIdAntiFreezeBase::DoProcessAfterWait(readable);
  // Nothing more is wanted from the peer: closed as a handler would close it, ending the wait.
  if (TIdAntiFreezeBase::WaitAbandoned()) {
    CloseSocket();
    throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
  }
  return readable;
}

bool TIdSocketHandle::Readable(int timeout) {
  int remaining = timeout < 0 ? IdTimeoutInfinite : timeout;
  for (;;) {
    // Asked at every slice: the component may go away while messages are processed.
    if (!TIdAntiFreezeBase::ShouldUse()) return Select(remaining);
    const int idle = std::max(TIdAntiFreezeBase::Instance()->IdleTimeOut, 1);
    if (remaining == IdTimeoutInfinite) {
      if (Select(idle)) return true;
    } else if (remaining > idle) {
      if (Select(idle)) return true;
      remaining -= idle;
    } else {
      return Select(remaining);
    }
  }
}

void TIdSocketHandle::SetIPVersion(TIdIPVersion value) {
  if (value == FIPVersion) return;
  if (FHandleAllocated) throw EIdCannotSetIPVersionWhenConnected(RSCannotSetIPVersionWhenConnected);
  FIPVersion = value;
}

void TIdSocketHandle::SetUseNagle(bool value) {
  if (value == FUseNagle) return;
  FUseNagle = value;
  if (FHandleAllocated && FSocketType == Id_SOCK_STREAM)
    SetSockOpt(Id_SOCKETOPTIONLEVEL_TCP, Id_TCP_NODELAY, value ? 0 : 1);
}

int TIdSocketHandle::GetSockOpt(int level, int option) {
  return GStack()->GetSocketOption(FHandle, level, option);
}

void TIdSocketHandle::SetSockOpt(int level, int option, int value) {
  GStack()->SetSocketOption(FHandle, level, option, value);
}
