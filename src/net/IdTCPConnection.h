#pragma once

#include <functional>
#include <memory>

#include "net/IdComponent.h"
#include "net/IdIOHandler.h"
#include "net/IdIOHandlerSocket.h"

class TIdTCPConnection;
using TIdNotifyEvent = std::function<void(TIdComponent* ASender)>;

// A connection holding one I/O handler: its state, its disconnect, and the handler's work
// events, which it receives as the handler's work target.
class TIdTCPConnection : public TIdComponent {
 public:
  ~TIdTCPConnection() override;

  // False without a handler, else the handler's Connected.
  virtual bool Connected();
  void Disconnect() { Disconnect(true); }
  // With ANotifyPeer and a live connection the peer is told first (nothing is sent here);
  // then an open handler is closed (unread input stays readable) and OnDisconnected fires.
  virtual void Disconnect(bool ANotifyPeer);
  virtual void DisconnectNotifyPeer();
  // With a handler: its CheckForDisconnect(ARaiseExceptionIfDisconnected, False); without one
  // and with the flag set: EIdException "Not Connected".
  virtual void CheckForGracefulDisconnect(bool ARaiseExceptionIfDisconnected = true);

  TIdIOHandler* IOHandler() const { return FIOHandler; }
  // Replaces the handler (freeing a managed one), making this connection its work target.
  virtual void SetIOHandler(TIdIOHandler* AValue);
  // The same handler when it is a socket handler, else null.
  TIdIOHandlerSocket* Socket() const { return FSocket; }
  // True when the connection created the handler and frees it when it is replaced or released.
  bool ManagedIOHandler() const { return FManagedIOHandler; }

  TIdNotifyEvent OnDisconnected;

 protected:
  TIdTCPConnection() = default;

  // Fires OnDisconnected; extended by protocol clients.
  virtual void DoOnDisconnected();
  // EIdNotConnected "Not Connected" when no handler is assigned.
  void RequireIOHandler();
  // Takes ownership of a handler created by the connection and assigns it.
  void SetManagedIOHandler(std::unique_ptr<TIdIOHandler> AHandler);
  // Frees a managed handler (the next Connect creates a fresh one).
  void ReleaseManagedIOHandler();
  void Notification(TComponent* AComponent, TOperation AOperation) override;

 private:
  void CloseOnDisconnect();

  TIdIOHandler* FIOHandler = nullptr;
  std::unique_ptr<TIdIOHandler> FOwnedIOHandler;
  bool FManagedIOHandler = false;
  TIdIOHandlerSocket* FSocket = nullptr;
};
