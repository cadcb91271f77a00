#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "net/IdGlobal.h"

// Holds a user of the socket stack for its lifetime.
class TStackUser {
 public:
  TStackUser();
  ~TStackUser();
  TStackUser(const TStackUser&) = delete;
  TStackUser& operator=(const TStackUser&) = delete;
};

// One accepted connection as the server's script sees it.
class TLoopbackPeer {
 public:
  explicit TLoopbackPeer(TIdStackSocketHandle socket) : FSocket(socket) {}
  void Send(std::string_view data);
  void Pause(int ms);
  // Everything the client sends until it closes.
  std::string ReceiveUntilClosed();
  // At most count bytes, waiting for the first of them; empty when the client closed.
  std::string Receive(int count);
  // Stops sending (the client sees the close) and closes the socket.
  void Close();

 private:
  TIdStackSocketHandle FSocket;
};

// A scripted peer on 127.0.0.1 with a port of the system's choice. Each accepted connection
// runs the script on the server's thread, with its index (0 for the first); the connection is
// closed after the script unless the script did it. Without a script nothing is accepted, so
// connections beyond the backlog wait.
class TLoopbackServer {
 public:
  using TScript = std::function<void(TLoopbackPeer& peer, int index)>;
  explicit TLoopbackServer(TScript script, int backlog = 5);
  ~TLoopbackServer();
  uint16_t Port() const { return FPort; }
  int Accepted() const { return FAccepted; }

 private:
  void Run();

  TStackUser FUser;
  TScript FScript;
  TIdStackSocketHandle FListener = Id_INVALID_SOCKET;
  uint16_t FPort = 0;
  std::atomic<bool> FStop{false};
  std::atomic<int> FAccepted{0};
  std::thread FThread;
};
