#pragma once

#include <cstdint>
#include <functional>

#include "net/IdSSLIOHandlerSocket.h"

// The download client's handler: the TLS socket handler (plain for "http"), telling every
// receive as it comes, however long the block it fills takes.
class TWatchedIOHandler : public TIdSSLIOHandlerSocket {
 public:
  // After every receive that brought bytes (the decrypted ones over TLS): their count. What it
  // raises ends the read.
  std::function<void(int ACount)> OnReceived;

 protected:
  int ReceiveBlock(uint8_t* ABuffer, int ALength) override {
    const int count = TIdSSLIOHandlerSocket::ReceiveBlock(ABuffer, ALength);
    if (count > 0 && OnReceived) OnReceived(count);
    return count;
  }
};
