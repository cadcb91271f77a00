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
  virtual void Add(TIdStackSocketHandle handle) = 0;
  virtual void Remove(TIdStackSocketHandle handle) = 0;
  virtual bool Contains(TIdStackSocketHandle handle) = 0;
  virtual int Count() = 0;
  // Waits up to timeout ms (IdTimeoutInfinite: without limit, 0: poll) until a socket of the
  // list is readable (data pending, closed by the peer or failed); True when one is.
  virtual bool SelectRead(int timeout) = 0;

 protected:
  TIdSocketList() = default;
  TIdCriticalSection FLock;
};

// The time limit handed to select for a time-out in ms: none for a negative time-out (no limit).
struct TIdTimeVal {
  long Seconds;
  long Microseconds;
};
std::optional<TIdTimeVal> SelectTimeLimit(int timeout);

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
  static void SetStackClass(TIdStackClass stackClass);
  static TIdStackClass StackClass();

  // Name resolution.
  std::string ResolveHost(const std::string& host, TIdIPVersion ipVersion = Id_IPv4);
  static bool IsIP(const std::string& text);
  virtual std::string LookupHostAddress(const std::string& host, TIdIPVersion ipVersion) = 0;

  // Sockets.
  virtual TIdStackSocketHandle NewSocketHandle(int socketType, int protocol,
                                               TIdIPVersion ipVersion = Id_IPv4,
                                               bool overlapped = false) = 0;
  virtual void Bind(TIdStackSocketHandle handle, const std::string& ip, uint16_t port,
                    TIdIPVersion ipVersion = Id_IPv4) = 0;
  virtual void Connect(TIdStackSocketHandle handle, const std::string& ip, uint16_t port,
                       TIdIPVersion ipVersion = Id_IPv4) = 0;
  virtual void Listen(TIdStackSocketHandle handle, int backlog) = 0;
  // A new socket for the next pending connection, with the peer's address.
  virtual TIdStackSocketHandle Accept(TIdStackSocketHandle handle, std::string& ip, uint16_t& port,
                                      TIdIPVersion& ipVersion) = 0;
  // Stops sending (shutdown) and closes the socket; neither result is tested.
  virtual void Disconnect(TIdStackSocketHandle handle) = 0;
  // Bytes received, 0 when the peer has closed.
  int Receive(TIdStackSocketHandle handle, TIdBytes& buffer);
  virtual int Receive(TIdStackSocketHandle handle, void* buffer, int length) = 0;
  // size -1: from offset to the end; never beyond the array. Returns the bytes accepted.
  int Send(TIdStackSocketHandle handle, const TIdBytes& buffer, int offset = 0, int size = -1);
  virtual int Send(TIdStackSocketHandle handle, const void* buffer, int length) = 0;
  virtual void GetSocketName(TIdStackSocketHandle handle, std::string& ip, uint16_t& port,
                             TIdIPVersion& ipVersion) = 0;
  virtual void GetPeerName(TIdStackSocketHandle handle, std::string& ip, uint16_t& port,
                           TIdIPVersion& ipVersion) = 0;
  // level and option in the Windows numbering (Id_SOL_SOCKET, Id_SO_REUSEADDR, ...).
  virtual int GetSocketOption(TIdStackSocketHandle handle, int level, int option) = 0;
  virtual void SetSocketOption(TIdStackSocketHandle handle, int level, int option, int value) = 0;
  virtual std::unique_ptr<TIdSocketList> NewSocketList() = 0;

  // Errors. Codes are WinSock codes on both targets.
  int CheckForSocketError(int result);
  [[noreturn]] void RaiseLastSocketError();
  [[noreturn]] void RaiseSocketError(int code);
  virtual int WSGetLastError() = 0;
  virtual void WSSetLastError(int code) = 0;
  virtual std::string WSTranslateSocketErrorMsg(int code);

  // The text of the message table for a code, empty for a code outside it.
  static std::string SocketErrorText(int code);
  // The socket error code for a non-zero result of the address-information call.
  static int AddressInfoResultToSocketError(int result, int lastSystemError);

 protected:
  TIdStack() = default;
};

// The process's stack instance, or null while nothing uses the stack.
TIdStack* GStack();

// The platform's stack (Windows or POSIX flavour), registered when the program starts.
std::unique_ptr<TIdStack> CreatePlatformStack();
