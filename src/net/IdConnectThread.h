#pragma once

#include <atomic>
#include <string>
#include <thread>

class TIdSocketHandle;

// Performs one blocking connect of a socket handle on a thread of its own, so the main thread
// can keep processing messages while it polls. The outcome may be read once the thread has
// marked itself terminated (or after WaitFor).
class TIdConnectThread {
 public:
  // Starts at once.
  explicit TIdConnectThread(TIdSocketHandle& ABinding);
  // Waits for the thread.
  ~TIdConnectThread();
  TIdConnectThread(const TIdConnectThread&) = delete;
  TIdConnectThread& operator=(const TIdConnectThread&) = delete;

  bool Terminated() const { return FTerminated.load(std::memory_order_acquire); }
  void Terminate() { FTerminated.store(true, std::memory_order_release); }
  void WaitFor();

  // A socket error code worth reporting (not 10009 or 10038), else 0.
  int FLastSocketError = 0;
  std::string FExceptionMessage;
  bool FExceptionOccured = false;

 private:
  void Execute();

  TIdSocketHandle& FBinding;
  std::atomic<bool> FTerminated{false};
  std::thread FThread;
};
