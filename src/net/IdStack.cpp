#include "net/IdStack.h"

#include <cstdlib>

#include "base/Format.h"
#include "base/StrUtils.h"
#include "net/IdIPAddress.h"
#include "net/IdResourceStrings.h"

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
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Buffer fault."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block."},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {11001, "Host not found."},
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
  if (ACode == 10038) throw EIdNotASocket(ACode, WSTranslateSocketErrorMsg(ACode));
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
  static constexpr int kEmulationCodes[] = {0, 11002, 10022, 11003, 10047,
                                            8, 11004, 11001, 10109, 10044};
  if (AResult >= 1 && AResult <= 10) return kEmulationCodes[AResult - 1];
  if (AResult == 11) return ALastSystemError;
  return AResult;
}
