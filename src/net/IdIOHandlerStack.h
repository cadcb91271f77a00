#pragma once

#include "net/IdIOHandlerSocket.h"

// The socket I/O handler of the shared stack: resolves the host, connects (on a connect
// thread while responsive waiting is in use or a connect time-out is set) and polls the
// socket for its connection state.
class TIdIOHandlerStack : public TIdIOHandlerSocket {
 public:
  TIdIOHandlerStack() = default;

  bool Connected() override;
  void ConnectToPeer() override;

  // The longest connect while responsive waiting is in use, in ms.
  static constexpr int ResponsiveConnectLimit = 120000;

 protected:
  // Connects on a TIdConnectThread, polling it; ALimit in ms, -1 (or below 0): no limit.
  // EIdConnectTimeout "Connect timed out." when the limit passes first.
  virtual void ConnectWithTimeout(int ALimit);
};
