#include "LoopbackServer.h"

#include <chrono>

#include "net/IdStack.h"

TStackUser::TStackUser() {
  TIdStack::IncUsage();
}
TStackUser::~TStackUser() {
  TIdStack::DecUsage();
}

void TLoopbackPeer::Send(std::string_view data) {
  while (!data.empty()) {
    const int n = GStack()->Send(FSocket, data.data(), static_cast<int>(data.size()));
    data.remove_prefix(static_cast<size_t>(n));
  }
}

void TLoopbackPeer::Pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string TLoopbackPeer::ReceiveUntilClosed() {
  std::string out;
  char buf[4096];
  for (;;) {
    int n = 0;
    try {
      n = GStack()->Receive(FSocket, buf, sizeof buf);
    } catch (const EIdSocketError&) {
      break;  // a reset ends it too
    }
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

std::string TLoopbackPeer::Receive(int count) {
  std::string out(static_cast<size_t>(count), '\0');
  const int n = GStack()->Receive(FSocket, out.data(), count);
  out.resize(static_cast<size_t>(n > 0 ? n : 0));
  return out;
}

void TLoopbackPeer::Close() {
  if (FSocket == Id_INVALID_SOCKET) return;
  GStack()->Disconnect(FSocket);
  FSocket = Id_INVALID_SOCKET;
}

TLoopbackServer::TLoopbackServer(TScript script, int backlog) : FScript(std::move(script)) {
  FListener = GStack()->NewSocketHandle(Id_SOCK_STREAM, 0);
  GStack()->Bind(FListener, "127.0.0.1", 0);
  GStack()->Listen(FListener, backlog);
  std::string ip;
  TIdIPVersion version;
  GStack()->GetSocketName(FListener, ip, FPort, version);
  if (FScript) FThread = std::thread([this] { Run(); });
}

TLoopbackServer::~TLoopbackServer() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
  GStack()->Disconnect(FListener);
}

void TLoopbackServer::Run() {
  std::unique_ptr<TIdSocketList> list = GStack()->NewSocketList();
  list->Add(FListener);
  for (;;) {
    // Short waits, so that the destructor is never kept waiting for a client; connections
    // already made are served before the server stops.
    if (!list->SelectRead(20)) {
      if (FStop) break;
      continue;
    }
    std::string ip;
    uint16_t port;
    TIdIPVersion version;
    TLoopbackPeer peer(GStack()->Accept(FListener, ip, port, version));
    const int index = FAccepted++;
    try {
      FScript(peer, index);
    } catch (const std::exception&) {
      // The client went away early; the test's own checks report what matters.
    }
    peer.Close();
  }
}
