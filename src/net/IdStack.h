#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/IdExceptionCore.h"
#include "net/IdGlobal.h"

// A set of up to 64 sockets that can be waited on for readability. The descriptor set is
// copied under FLock before waiting, so another thread may add or remove sockets meanwhile.
class TIdSocketList {
 public:
  static constexpr int MaxSockets = 64;

  virtual ~TIdSocketList() = default;
  // EIdStackSetSizeExceeded "Set Size Exceeded." for a 65th socket.
  virtual void Add(TIdStackSocketHandle AHandle) = 0;
  virtual void Remove(TIdStackSocketHandle AHandle) = 0;
  virtual bool Contains(TIdStackSocketHandle AHandle) = 0;
  virtual int Count() = 0;
  // Waits up to timeout ms (IdTimeoutInfinite: without limit, 0: poll) until a socket of the
  // list is readable (data pending, closed by the peer or failed); True when one is.
  virtual bool SelectRead(int ATimeout) = 0;

 protected:
  TIdSocketList() = default;
  TIdCriticalSection FLock;
};

// The time limit handed to select for a time-out in ms: none for a negative time-out (no limit).
struct TIdTimeVal {
  long Seconds;
  long Microseconds;
};
std::optional<TIdTimeVal> SelectTimeLimit(int ATimeout);

// Creates the process's stack instance.
using TIdStackClass = std::unique_ptr<class TIdStack> (*)();

// The one process-wide object through which every socket call of the layer goes. It exists
// while any user is registered (IncUsage / DecUsage).
class TIdStack {
 public:
  virtual ~TIdStack() = default;
  TIdStack(const TIdStack&) = delete;
  TIdStack& operator=(const TIdStack&) = delete;

  // Usage counting under the class's critical section: the first user creates the instance,
  // the last one frees it.
  static void IncUsage();
  static void DecUsage();
  static int UsageCount();
  // The class to instantiate; the platform's stack is registered when the program starts.
  static void SetStackClass(TIdStackClass AStackClass);
  static TIdStackClass StackClass();

  // Name resolution.
  std::string ResolveHost(const std::string& AHost, TIdIPVersion AIpVersion = Id_IPv4);
  static bool IsIP(const std::string& AText);
  virtual std::string LookupHostAddress(const std::string& AHost, TIdIPVersion AIpVersion) = 0;

  // Sockets.
  virtual TIdStackSocketHandle NewSocketHandle(int ASocketType, int AProtocol,
                                               TIdIPVersion AIpVersion = Id_IPv4,
                                               bool AOverlapped = false) = 0;
  virtual void Bind(TIdStackSocketHandle AHandle, const std::string& AIP, uint16_t APort,
                    TIdIPVersion AIpVersion = Id_IPv4) = 0;
  virtual void Connect(TIdStackSocketHandle AHandle, const std::string& AIP, uint16_t APort,
                       TIdIPVersion AIpVersion = Id_IPv4) = 0;
  virtual void Listen(TIdStackSocketHandle AHandle, int ABacklog) = 0;
  // A new socket for the next pending connection, with the peer's address.
  virtual TIdStackSocketHandle Accept(TIdStackSocketHandle AHandle, std::string& AIP,
                                      uint16_t& APort, TIdIPVersion& AIpVersion) = 0;
  // Stops sending (shutdown) and closes the socket; neither result is tested.
  virtual void Disconnect(TIdStackSocketHandle AHandle) = 0;
  // Bytes received, 0 when the peer has closed.
  int Receive(TIdStackSocketHandle AHandle, TIdBytes& ABuffer);
  virtual int Receive(TIdStackSocketHandle AHandle, void* ABuffer, int ALength) = 0;
  // size -1: from offset to the end; never beyond the array. Returns the bytes accepted.
  int Send(TIdStackSocketHandle AHandle, const TIdBytes& ABuffer, int AOffset = 0, int ASize = -1);
  virtual int Send(TIdStackSocketHandle AHandle, const void* ABuffer, int ALength) = 0;
  virtual void GetSocketName(TIdStackSocketHandle AHandle, std::string& AIP, uint16_t& APort,
                             TIdIPVersion& AIpVersion) = 0;
  virtual void GetPeerName(TIdStackSocketHandle AHandle, std::string& AIP, uint16_t& APort,
                           TIdIPVersion& AIpVersion) = 0;
  // level and option in the Windows numbering (Id_SOL_SOCKET, Id_SO_REUSEADDR, ...).
  virtual int GetSocketOption(TIdStackSocketHandle AHandle, int ALevel, int AOption) = 0;
  virtual void SetSocketOption(TIdStackSocketHandle AHandle, int ALevel, int AOption,
                               int AValue) = 0;
  virtual std::unique_ptr<TIdSocketList> NewSocketList() = 0;

  // Errors. Codes are WinSock codes on both targets.
  int CheckForSocketError(int AResult);
  [[noreturn]] void RaiseLastSocketError();
  [[noreturn]] void RaiseSocketError(int ACode);
  virtual int WSGetLastError() = 0;
  virtual void WSSetLastError(int ACode) = 0;
  virtual std::string WSTranslateSocketErrorMsg(int ACode);

  // The text of the message table for a code, empty for a code outside it.
  static std::string SocketErrorText(int ACode);
  // The socket error code for a non-zero result of the address-information call.
  static int AddressInfoResultToSocketError(int AResult, int ALastSystemError);

 protected:
  TIdStack() = default;
};

// The process's stack instance, or null while nothing uses the stack.
TIdStack* GStack();

// The platform's stack (Windows or POSIX flavour), registered when the program starts.
std::unique_ptr<TIdStack> CreatePlatformStack();
