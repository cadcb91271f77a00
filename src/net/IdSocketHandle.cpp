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

void TIdSocketHandle::AllocateSocket(int ASocketType, int AProtocol) {
  CloseSocket();
  AdoptHandle(GStack()->NewSocketHandle(ASocketType, AProtocol, FIPVersion, OverLapped));
}

void TIdSocketHandle::AdoptHandle(TIdStackSocketHandle AHandle) {
  const TIdStackSocketHandle old = FHandle;
  if (old != Id_INVALID_SOCKET) FReadSocketList->Remove(old);
  FHandle = AHandle;
  FHandleAllocated = AHandle != Id_INVALID_SOCKET;
  if (FHandleAllocated) {
    FReadSocketList->Add(AHandle);
    FSocketType = GStack()->GetSocketOption(AHandle, Id_SOL_SOCKET, Id_SO_TYPE);
    if (FSocketType == Id_SOCK_STREAM)
      FUseNagle = GStack()->GetSocketOption(AHandle, Id_SOCKETOPTIONLEVEL_TCP, Id_TCP_NODELAY) == 0;
  } else {
    FSocketType = 0;
  }
}

bool TIdSocketHandle::TryBind(uint16_t APort) {
  try {
    GStack()->Bind(FHandle, IP, APort, FIPVersion);
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
  if (!TryBind(Port)) throw EIdCouldNotBindSocket(Text(RSCouldNotBindSocket));
}

void TIdSocketHandle::SetPeer(const std::string& AIP, uint16_t APort, TIdIPVersion AIpVersion) {
  PeerIP = AIP;
  PeerPort = APort;
  FIPVersion = AIpVersion;
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

void TIdSocketHandle::Reset(bool AResetLocal) {
  CloseSocket();
  AdoptHandle(Id_INVALID_SOCKET);
  PeerIP.clear();
  PeerPort = 0;
  if (AResetLocal) {
    IP.clear();
    Port = 0;
  }
  FIPVersion = Id_IPv4;
}

int TIdSocketHandle::Receive(TIdBytes& ABuffer) {
  return GStack()->Receive(FHandle, ABuffer);
}

int TIdSocketHandle::Receive(void* ABuffer, int ALength) {
  return GStack()->Receive(FHandle, ABuffer, ALength);
}

int TIdSocketHandle::Send(const TIdBytes& ABuffer, int AOffset, int ASize) {
  return GStack()->Send(FHandle, ABuffer, AOffset, ASize);
}

int TIdSocketHandle::Send(const void* ABuffer, int ALength) {
  return GStack()->Send(FHandle, ABuffer, ALength);
}

bool TIdSocketHandle::Select(int ATimeout) {
  // A close made by an event handler during the wait ends the wait here.
  if (!FHandleAllocated) throw EIdConnClosedGracefully(Text(RSConnectionClosedGracefully));
  const bool readable = FReadSocketList->SelectRead(ATimeout);
  TIdAntiFreezeBase::DoProcessAfterWait(readable);
  // Nothing more is wanted from the peer: closed as a handler would close it, ending the wait.
  if (TIdAntiFreezeBase::WaitAbandoned()) {
    CloseSocket();
    throw EIdConnClosedGracefully(Text(RSConnectionClosedGracefully));
  }
  return readable;
}

bool TIdSocketHandle::Readable(int ATimeout) {
  int remaining = ATimeout < 0 ? IdTimeoutInfinite : ATimeout;
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

void TIdSocketHandle::SetIPVersion(TIdIPVersion AValue) {
  if (AValue == FIPVersion) return;
  if (FHandleAllocated) throw EIdCannotSetIPVersionWhenConnected(RSCannotSetIPVersionWhenConnected);
  FIPVersion = AValue;
}

void TIdSocketHandle::SetUseNagle(bool AValue) {
  if (AValue == FUseNagle) return;
  FUseNagle = AValue;
  if (FHandleAllocated && FSocketType == Id_SOCK_STREAM)
    SetSockOpt(Id_SOCKETOPTIONLEVEL_TCP, Id_TCP_NODELAY, AValue ? 0 : 1);
}

int TIdSocketHandle::GetSockOpt(int ALevel, int AOption) {
  return GStack()->GetSocketOption(FHandle, ALevel, AOption);
}

void TIdSocketHandle::SetSockOpt(int ALevel, int AOption, int AValue) {
  GStack()->SetSocketOption(FHandle, ALevel, AOption, AValue);
}
