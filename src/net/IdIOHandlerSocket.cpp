#include "net/IdIOHandlerSocket.h"

#include "net/IdExceptionCore.h"
#include "net/IdResourceStrings.h"

TIdIOHandlerSocket::~TIdIOHandlerSocket() {
  if (FBinding) FBinding->CloseSocket();
}

void TIdIOHandlerSocket::Open() {
  TIdIOHandler::Open();
  if (FBinding)
    FBinding->Reset(true);
  else
    FBinding = std::make_unique<TIdSocketHandle>();
  FBinding->ClientPortMin = BoundPortMin;
  FBinding->ClientPortMax = BoundPortMax;
  if (!Host.empty() && Port > 0) ConnectToPeer();
}

void TIdIOHandlerSocket::Close() {
  if (FBinding) FBinding->CloseSocket();
  TIdIOHandler::Close();
}

void TIdIOHandlerSocket::ConnectToPeer() {
  DoBeforeBind();
  FBinding->SetIPVersion(IPVersion);
  FBinding->AllocateSocket(Id_SOCK_STREAM, 0);
  DoSocketAllocated();
  if (!BoundIP.empty()) FBinding->IP = BoundIP;
  FBinding->Port = BoundPort;
  FBinding->ClientPortMin = BoundPortMin;
  FBinding->ClientPortMax = BoundPortMax;
  FBinding->ReuseSocket = ReuseSocket;
  FBinding->Bind();
  FBinding->SetUseNagle(UseNagle);
  DoAfterBind();
}

bool TIdIOHandlerSocket::HasSocket() {
  return BindingAllocated();
}

int TIdIOHandlerSocket::ReceiveBlock(uint8_t* ABuffer, int ALength) {
  return FBinding->Receive(ABuffer, ALength);
}

int TIdIOHandlerSocket::SendBlock(const uint8_t* ABuffer, int ALength) {
  return FBinding->Send(ABuffer, ALength);
}

bool TIdIOHandlerSocket::Readable(int AMSec) {
  if (!FBinding) throw EIdConnClosedGracefully(Text(RSConnectionClosedGracefully));
  return FBinding->Readable(AMSec);
}

void TIdIOHandlerSocket::DoBeforeBind() {
  if (OnBeforeBind) OnBeforeBind(this);
}

void TIdIOHandlerSocket::DoAfterBind() {
  if (OnAfterBind) OnAfterBind(this);
}

void TIdIOHandlerSocket::DoSocketAllocated() {
  if (OnSocketAllocated) OnSocketAllocated(this);
}
