#include "net/IdStack.h"

#include <cstdlib>

#include "base/Format.h"
#include "base/StrUtils.h"
#include "net/IdIPAddress.h"
#include "net/IdResourceStrings.h"
#include "net/IdSocketErrors.h"

namespace {

// The stack class, its instance and its usage count, guarded by the class's critical section.
struct TStackClassState {
  TIdCriticalSection Lock;
  TIdStackClass StackClass = &CreatePlatformStack;
  std::unique_ptr<TIdStack> Instance;
  int Usage = 0;
};

TStackClassState& StackState() {
  static TStackClassState state;
  return state;
}

struct TErrorText {
  int Code;
  const char* Text;
};

constexpr TErrorText kSocketErrorTexts[] = {
    {Id_WSAEINTR, "Interrupted system call."},
    {Id_WSAEBADF, "Bad file number."},
    {Id_WSAEACCES, "Access denied."},
    {Id_WSAEFAULT, "Buffer fault."},
    {Id_WSAEINVAL, "Invalid argument."},
    {Id_WSAEMFILE, "Too many open files."},
    {Id_WSAEWOULDBLOCK, "Operation would block."},
    {Id_WSAEINPROGRESS, "Operation now in progress."},
    {Id_WSAEALREADY, "Operation already in progress."},
    {Id_WSAENOTSOCK, "Socket operation on non-socket."},
    {Id_WSAEDESTADDRREQ, "Destination address required."},
    {Id_WSAEMSGSIZE, "Message too long."},
    {Id_WSAEPROTOTYPE, "Protocol wrong type for socket."},
    {Id_WSAENOPROTOOPT, "Bad protocol option."},
    {Id_WSAEPROTONOSUPPORT, "Protocol not supported."},
    {Id_WSAESOCKTNOSUPPORT, "Socket type not supported."},
    {Id_WSAEOPNOTSUPP, "Operation not supported on socket."},
    {Id_WSAEPFNOSUPPORT, "Protocol family not supported."},
    {Id_WSAEAFNOSUPPORT, "Address family not supported by protocol family."},
    {Id_WSAEADDRINUSE, "Address already in use."},
    {Id_WSAEADDRNOTAVAIL, "Cannot assign requested address."},
    {Id_WSAENETDOWN, "Network is down."},
    {Id_WSAENETUNREACH, "Network is unreachable."},
    {Id_WSAENETRESET, "Net dropped connection or reset."},
    {Id_WSAECONNABORTED, "Software caused connection abort."},
    {Id_WSAECONNRESET, "Connection reset by peer."},
    {Id_WSAENOBUFS, "No buffer space available."},
    {Id_WSAEISCONN, "Socket is already connected."},
    {Id_WSAENOTCONN, "Socket is not connected."},
    {Id_WSAESHUTDOWN, "Cannot send or receive after socket is closed."},
    {Id_WSAETOOMANYREFS, "Too many references, cannot splice."},
    {Id_WSAETIMEDOUT, "Connection timed out."},
    {Id_WSAECONNREFUSED, "Connection refused."},
    {Id_WSAELOOP, "Too many levels of symbolic links."},
    {Id_WSAENAMETOOLONG, "File name too long."},
    {Id_WSAEHOSTDOWN, "Host is down."},
    {Id_WSAEHOSTUNREACH, "No route to host."},
    {Id_WSAENOTEMPTY, "Directory not empty"},
    {Id_WSAHOST_NOT_FOUND, "Host not found."},
};

}  // namespace

std::optional<TIdTimeVal> SelectTimeLimit(int ATimeout) {
  if (ATimeout < 0) return std::nullopt;
  return TIdTimeVal{ATimeout / 1000, (ATimeout % 1000) * 1000L};
}

TIdStack* GStack() {
  return StackState().Instance.get();
}

void TIdStack::IncUsage() {
  TStackClassState& state = StackState();
  std::lock_guard<TIdCriticalSection> lock(state.Lock);
  if (state.Usage == 0) {
    if (state.Instance) throw EIdException(RSStackAlreadyCreated);
    if (!state.StackClass) throw EIdException(RSStackClassUndefined);
    state.Instance = state.StackClass();
  }
  ++state.Usage;
}

void TIdStack::DecUsage() {
  TStackClassState& state = StackState();
  std::unique_ptr<TIdStack> freed;
  {
    std::lock_guard<TIdCriticalSection> lock(state.Lock);
    if (state.Usage > 0 && --state.Usage == 0) freed = std::move(state.Instance);
  }
}

int TIdStack::UsageCount() {
  TStackClassState& state = StackState();
  std::lock_guard<TIdCriticalSection> lock(state.Lock);
  return state.Usage;
}

void TIdStack::SetStackClass(TIdStackClass AStackClass) {
  TStackClassState& state = StackState();
  std::lock_guard<TIdCriticalSection> lock(state.Lock);
  state.StackClass = AStackClass;
}

TIdStackClass TIdStack::StackClass() {
  TStackClassState& state = StackState();
  std::lock_guard<TIdCriticalSection> lock(state.Lock);
  return state.StackClass;
}

std::string TIdStack::ResolveHost(const std::string& AHost, TIdIPVersion AIpVersion) {
  switch (AIpVersion) {
    case Id_IPv4:
      if (SameText(AHost, "LOCALHOST")) return "127.0.0.1";
      if (IsIP(AHost)) return AHost;
      return LookupHostAddress(AHost, Id_IPv4);
    case Id_IPv6: {
      uint16_t words[8];
      if (ParseIPv6(AHost, words)) return FormatIPv6(words);
      return LookupHostAddress(AHost, Id_IPv6);
    }
  }
  throw EIdIPVersionUnsupported(Text(RSIPVersionUnsupported));
}

bool TIdStack::IsIP(const std::string& AText) {
  return IsIPv4Literal(AText, TIdIPv4Form::ifLenient);
}

int TIdStack::Receive(TIdStackSocketHandle AHandle, TIdBytes& ABuffer) {
  return Receive(AHandle, ABuffer.data(), static_cast<int>(ABuffer.size()));
}

int TIdStack::Send(TIdStackSocketHandle AHandle, const TIdBytes& ABuffer, int AOffset, int ASize) {
  const auto range = ClampByteRange(static_cast<int>(ABuffer.size()), AOffset, ASize);
  if (!range || range->Length <= 0) return 0;
  return Send(AHandle, ABuffer.data() + range->Offset, range->Length);
}

int TIdStack::CheckForSocketError(int AResult) {
  if (AResult == Id_SOCKET_ERROR) RaiseLastSocketError();
  return AResult;
}

void TIdStack::RaiseLastSocketError() {
  RaiseSocketError(WSGetLastError());
}

void TIdStack::RaiseSocketError(int ACode) {
  if (ACode == Id_WSAENOTSOCK) throw EIdNotASocket(ACode, WSTranslateSocketErrorMsg(ACode));
  throw EIdSocketError(ACode, WSTranslateSocketErrorMsg(ACode));
}

std::string TIdStack::WSTranslateSocketErrorMsg(int ACode) {
  return Format(RSStackError, ACode, SocketErrorText(ACode).c_str());
}

std::string TIdStack::SocketErrorText(int ACode) {
  for (const TErrorText& entry : kSocketErrorTexts)
    if (entry.Code == ACode) return entry.Text;
  return {};
}

int TIdStack::AddressInfoResultToSocketError(int AResult, int ALastSystemError) {
  // Results 1 to 10 are those of the emulation used where the system lacks the call.
  static constexpr int kEmulationCodes[] = {0,
                                            Id_WSATRY_AGAIN,
                                            Id_WSAEINVAL,
                                            Id_WSANO_RECOVERY,
                                            Id_WSAEAFNOSUPPORT,
                                            Id_WSA_NOT_ENOUGH_MEMORY,
                                            Id_WSANO_DATA,
                                            Id_WSAHOST_NOT_FOUND,
                                            Id_WSATYPE_NOT_FOUND,
                                            Id_WSAESOCKTNOSUPPORT};
  if (AResult >= 1 && AResult <= 10) return kEmulationCodes[AResult - 1];
  if (AResult == 11) return ALastSystemError;
  return AResult;
}
