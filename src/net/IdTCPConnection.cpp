#include "net/IdTCPConnection.h"

#include "net/IdExceptionCore.h"
#include "net/IdResourceStrings.h"

TIdTCPConnection::~TIdTCPConnection() {
  // The handler is closed before it goes.
  if (FIOHandler && FIOHandler->Opened()) FIOHandler->Close();
  if (FIOHandler) {
    FIOHandler->SetWorkTarget(nullptr);
    FIOHandler->RemoveFreeNotification(this);
  }
  FIOHandler = nullptr;
  FSocket = nullptr;
  FOwnedIOHandler.reset();
}

bool TIdTCPConnection::Connected() {
  return FIOHandler && FIOHandler->Connected();
}

void TIdTCPConnection::Disconnect(bool ANotifyPeer) {
  if (ANotifyPeer) {
    try {
      // Connected polls the socket, which may let the application process its messages.
      if (Connected()) DisconnectNotifyPeer();
    } catch (...) {
      CloseOnDisconnect();
      throw;
    }
  }
  CloseOnDisconnect();
}

void TIdTCPConnection::CloseOnDisconnect() {
  // A handler that is already closed stays as it is.
  if (!FIOHandler || !FIOHandler->Opened()) return;
  DoStatus(hsDisconnecting, "Disconnecting");
  FIOHandler->Close();
  DoOnDisconnected();
  DoStatus(hsDisconnected, "Disconnected");
}

void TIdTCPConnection::DisconnectNotifyPeer() {}

void TIdTCPConnection::CheckForGracefulDisconnect(bool ARaiseExceptionIfDisconnected) {
  if (FIOHandler)
    FIOHandler->CheckForDisconnect(ARaiseExceptionIfDisconnected, false);
  else if (ARaiseExceptionIfDisconnected)
    throw EIdException(Text(RSNotConnected));
}

void TIdTCPConnection::SetIOHandler(TIdIOHandler* AValue) {
  if (AValue == FIOHandler) return;
  if (FManagedIOHandler) {
    // Freeing it sends the free notification, which forgets the references.
    std::unique_ptr<TIdIOHandler> owned = std::move(FOwnedIOHandler);
    FManagedIOHandler = false;
    owned.reset();
  }
  FSocket = nullptr;
  if (FIOHandler) {
    FIOHandler->SetWorkTarget(nullptr);
    FIOHandler->RemoveFreeNotification(this);
  }
  FIOHandler = AValue;
  if (AValue) {
    AValue->FreeNotification(this);
    AValue->SetWorkTarget(this);
    FSocket = dynamic_cast<TIdIOHandlerSocket*>(AValue);
  }
}

void TIdTCPConnection::SetManagedIOHandler(std::unique_ptr<TIdIOHandler> AHandler) {
  TIdIOHandler* handler = AHandler.get();
  SetIOHandler(handler);
  FOwnedIOHandler = std::move(AHandler);
  FManagedIOHandler = true;
}

void TIdTCPConnection::ReleaseManagedIOHandler() {
  if (FManagedIOHandler) SetIOHandler(nullptr);
}

void TIdTCPConnection::DoOnDisconnected() {
  if (OnDisconnected) OnDisconnected(this);
}

void TIdTCPConnection::RequireIOHandler() {
  if (!FIOHandler) throw EIdNotConnected(Text(RSNotConnected));
}

void TIdTCPConnection::Notification(TComponent* AComponent, TOperation AOperation) {
  TIdComponent::Notification(AComponent, AOperation);
  if (AOperation == TOperation::opRemove && AComponent && AComponent == FIOHandler) {
    FIOHandler = nullptr;
    FSocket = nullptr;
    FManagedIOHandler = false;
  }
}
