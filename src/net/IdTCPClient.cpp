#include "net/IdTCPClient.h"

#include "net/IdExceptionCore.h"
#include "net/IdIOHandlerStack.h"
#include "net/IdResourceStrings.h"

void TIdTCPClientCustom::Connect(const std::string& AHost) {
  SetHost(AHost);
  Connect();
}

void TIdTCPClientCustom::Connect(const std::string& AHost, uint16_t APort) {
  SetHost(AHost);
  SetPort(APort);
  Connect();
}

void TIdTCPClientCustom::Connect() {
  if (Connected()) throw EIdAlreadyConnected(RSAlreadyConnected);
  if (FHost.empty()) throw EIdHostRequired("");
  if (FPort == 0) throw EIdPortRequired("");
  if (!IOHandler()) {
    std::unique_ptr<TIdIOHandler> handler = CreateImplicitIOHandler();
    handler->OnStatus = OnStatus;
    SetManagedIOHandler(std::move(handler));
  }
  try {
    TIdIOHandler& handler = *IOHandler();
    if (!Destination.empty()) handler.Destination = Destination;
    CopyParametersTo(handler);
    handler.Open();
    DoStatus(hsConnected, "Connected to " + FHost);
    DoOnConnected();
  } catch (...) {
    if (TIdIOHandler* handler = IOHandler()) {
      try {
        handler->Close();
      } catch (...) {
        // The failure of the connect is the one to report.
      }
      if (ManagedIOHandler()) ReleaseManagedIOHandler();
    }
    throw;
  }
}

void TIdTCPClientCustom::CopyParametersTo(TIdIOHandler& AHandler) {
  AHandler.Port = FPort;
  AHandler.Host = FHost;
  AHandler.ConnectTimeout = FConnectTimeout;
  AHandler.ReadTimeout = FReadTimeout;
  if (TIdIOHandlerSocket* socket = dynamic_cast<TIdIOHandlerSocket*>(&AHandler)) {
    socket->BoundIP = FBoundIP;
    socket->BoundPort = FBoundPort;
    socket->BoundPortMin = FBoundPortMin;
    socket->BoundPortMax = FBoundPortMax;
    socket->IPVersion = FIPVersion;
    socket->ReuseSocket = FReuseSocket;
    socket->UseNagle = FUseNagle;
    socket->OnBeforeBind = OnBeforeBind;
    socket->OnAfterBind = OnAfterBind;
    socket->OnSocketAllocated = OnSocketAllocated;
  }
}

void TIdTCPClientCustom::SetIOHandler(TIdIOHandler* AValue) {
  TIdTCPConnection::SetIOHandler(AValue);
  if (IOHandler()) CopyParametersTo(*IOHandler());
}

void TIdTCPClientCustom::DoOnConnected() {
  if (OnConnected) OnConnected(this);
}

std::unique_ptr<TIdIOHandler> TIdTCPClientCustom::CreateImplicitIOHandler() {
  return std::make_unique<TIdIOHandlerStack>();
}

void TIdTCPClientCustom::SetHost(const std::string& AValue) {
  FHost = AValue;
  if (IOHandler()) IOHandler()->Host = AValue;
}

void TIdTCPClientCustom::SetPort(uint16_t AValue) {
  FPort = AValue;
  if (IOHandler()) IOHandler()->Port = AValue;
}

void TIdTCPClientCustom::SetConnectTimeout(int AValue) {
  FConnectTimeout = AValue;
  if (IOHandler()) IOHandler()->ConnectTimeout = AValue;
}

void TIdTCPClientCustom::SetReadTimeout(int AValue) {
  FReadTimeout = AValue;
  if (IOHandler()) IOHandler()->ReadTimeout = AValue;
}

void TIdTCPClientCustom::SetIPVersion(TIdIPVersion AValue) {
  FIPVersion = AValue;
  if (Socket()) Socket()->IPVersion = AValue;
}

void TIdTCPClientCustom::SetBoundIP(const std::string& AValue) {
  FBoundIP = AValue;
  if (Socket()) Socket()->BoundIP = AValue;
}

void TIdTCPClientCustom::SetBoundPort(uint16_t AValue) {
  FBoundPort = AValue;
  if (Socket()) Socket()->BoundPort = AValue;
}

void TIdTCPClientCustom::SetBoundPortMin(uint16_t AValue) {
  FBoundPortMin = AValue;
  if (Socket()) Socket()->BoundPortMin = AValue;
}

void TIdTCPClientCustom::SetBoundPortMax(uint16_t AValue) {
  FBoundPortMax = AValue;
  if (Socket()) Socket()->BoundPortMax = AValue;
}

void TIdTCPClientCustom::SetReuseSocket(TIdReuseSocket AValue) {
  FReuseSocket = AValue;
  if (Socket()) Socket()->ReuseSocket = AValue;
}

void TIdTCPClientCustom::SetUseNagle(bool AValue) {
  FUseNagle = AValue;
  if (Socket()) Socket()->UseNagle = AValue;
}
