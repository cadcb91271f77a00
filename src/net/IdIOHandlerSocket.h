#pragma once

#include <functional>
#include <memory>
#include <string>

#include "net/IdIOHandler.h"
#include "net/IdSocketHandle.h"

class TIdIOHandlerSocket;
using TIdIOHandlerSocketEvent = std::function<void(TIdIOHandlerSocket* ASender)>;

// An I/O handler that moves bytes through one socket handle of the shared stack. The socket
// handle is created at the first Open and reused for every connection after it.
class TIdIOHandlerSocket : public TIdIOHandler {
 public:
  ~TIdIOHandlerSocket() override;

  void Open() override;
  void Close() override;

  // Allocates, binds and connects the socket to Host and Port.
  virtual void ConnectToPeer();

  // The socket handle, or null before the first Open.
  TIdSocketHandle* Binding() const { return FBinding.get(); }
  bool BindingAllocated() const { return FBinding && FBinding->HandleAllocated(); }

  std::string BoundIP;
  uint16_t BoundPort = 0;
  uint16_t BoundPortMax = 0;
  uint16_t BoundPortMin = 0;
  uint16_t DefaultPort = 0;
  TIdIPVersion IPVersion = Id_IPv4;
  TIdReuseSocket ReuseSocket = rsOSDependent;
  bool UseNagle = true;
  TIdIOHandlerSocketEvent OnBeforeBind;
  TIdIOHandlerSocketEvent OnAfterBind;
  TIdIOHandlerSocketEvent OnSocketAllocated;

 protected:
  TIdIOHandlerSocket() = default;

  bool HasSocket() override;
  int ReceiveBlock(uint8_t* ABuffer, int ALength) override;
  int SendBlock(const uint8_t* ABuffer, int ALength) override;
  bool Readable(int AMSec) override;

  virtual void DoBeforeBind();
  virtual void DoAfterBind();
  virtual void DoSocketAllocated();

 private:
  std::unique_ptr<TIdSocketHandle> FBinding;
};
