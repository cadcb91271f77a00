#include "net/IdWinsock2.h"

#include <atomic>

#include "base/Exception.h"
#include "base/FileSystem.h"
#include "base/Format.h"
#include "base/SystemLibrary.h"
#include "base/Utf.h"
#include "net/IdExceptionCore.h"
#include "net/IdResourceStrings.h"

namespace IdWinsock2 {

namespace {

using TWSAStartup = int(WSAAPI*)(WORD, LPWSADATA);
using TWSACleanup = int(WSAAPI*)();
using TGetAddrInfoW = int(WSAAPI*)(PCWSTR, PCWSTR, const ADDRINFOW*, PADDRINFOW*);
using TGetNameInfoW = int(WSAAPI*)(const SOCKADDR*, socklen_t, PWCHAR, DWORD, PWCHAR, DWORD, INT);
using TFreeAddrInfoW = void(WSAAPI*)(PADDRINFOW);
using TIdnToAscii = int(WINAPI*)(DWORD, LPCWSTR, int, LPWSTR, int);
using TIdnToUnicode = int(WINAPI*)(DWORD, LPCWSTR, int, LPWSTR, int);

// Process-wide library state, kept for the life of the process. At program end the socket
// library is shut down and every library unloaded.
struct TLibraryState {
  TUniqueModule Winsock;
  TUniqueModule Wship6;
  TUniqueModule IdnDL;
  TUniqueModule Normaliz;
  std::atomic<bool> Started{false};
  TGetAddrInfoW GetAddrInfoW = nullptr;
  TGetNameInfoW GetNameInfoW = nullptr;
  TFreeAddrInfoW FreeAddrInfoW = nullptr;
  TIdnToAscii IdnToAscii = nullptr;
  TIdnToUnicode IdnToUnicode = nullptr;

  ~TLibraryState() {
    if (Started && Winsock) {
      auto cleanup = GetProcedure<TWSACleanup>(Winsock.get(), "WSACleanup");
      if (cleanup) cleanup();
    }
  }
};

TLibraryState& State() {
  static TLibraryState state;
  return state;
}

template <typename Fn>
Fn As(FARPROC proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

// Windows before 6.2 needs host names converted to their ASCII-compatible form.
bool IsWindowsBefore62() {
  using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto rtlGetVersion =
      GetProcedure<TRtlGetVersion>(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
  if (!rtlGetVersion) return false;
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (rtlGetVersion(&info) != 0) return false;
  return info.dwMajorVersion < 6 || (info.dwMajorVersion == 6 && info.dwMinorVersion < 2);
}

[[noreturn]] void RaiseLastOSError() {
  const DWORD error = ::GetLastError();
  throw EOSError(SysErrorMessage(static_cast<int>(error)));
}

// The entry point cache: one slot per function, filled on its first call.
template <typename Fn>
Fn Entry(std::atomic<FARPROC>& slot, const char* name) {
  FARPROC proc = slot.load(std::memory_order_acquire);
  if (!proc) {
    proc = GetEntryPoint(name);
    slot.store(proc, std::memory_order_release);
  }
  return As<Fn>(proc);
}

#define ID_WINSOCK_CALL(name, ...)           \
  static std::atomic<FARPROC> slot{nullptr}; \
  return Entry<decltype(&::name)>(slot, #name)(__VA_ARGS__)

}  // namespace

void LoadSocketLibrary() {
  TLibraryState& state = State();
  if (state.Winsock) return;
  const std::string title = Format(RSWinsockLoadError, "WS2_32.DLL");
  TUniqueModule module = LoadSystemLibrary(WINSOCK2_DLL);
  if (!module) throw EIdWinsockStubError(static_cast<int>(::GetLastError()), title);
  auto startup = GetProcedure<TWSAStartup>(module.get(), "WSAStartup");
  if (!startup) throw EIdWinsockStubError(static_cast<int>(::GetLastError()), title);
  WSADATA data;
  const int rc = startup(MAKEWORD(2, 2), &data);
  // On failure the library is unloaded again as module goes out of scope.
  if (rc != 0) throw EIdWinsockStubError(rc, title);
  state.Winsock = std::move(module);
  state.Started = true;
}

bool Winsock2Loaded() {
  return State().Started;
}

HMODULE SocketLibraryHandle() {
  return State().Winsock.get();
}

void LoadAddressInfoFunctions() {
  TLibraryState& state = State();
  HMODULE source = state.Winsock.get();
  if (!GetProcedure<TGetAddrInfoW>(source, "GetAddrInfoW")) {
    if (!state.Wship6) state.Wship6 = LoadSystemLibrary(WSHIP6_DLL);
    source = state.Wship6.get();
  }
  state.GetAddrInfoW = GetProcedure<TGetAddrInfoW>(source, "GetAddrInfoW");
  if (state.GetAddrInfoW) {
    state.GetNameInfoW = GetProcedure<TGetNameInfoW>(source, "GetNameInfoW");
    state.FreeAddrInfoW = GetProcedure<TFreeAddrInfoW>(source, "FreeAddrInfoW");
  }
  if (!state.GetAddrInfoW || !state.GetNameInfoW || !state.FreeAddrInfoW) {
    // Systems this old are not supported: name resolution then reports the missing call.
    state.GetAddrInfoW = nullptr;
    state.GetNameInfoW = nullptr;
    state.FreeAddrInfoW = nullptr;
  }
}

void LoadIdnSupport() {
  TLibraryState& state = State();
  if (!state.IdnDL) state.IdnDL = LoadSystemLibrary(IDNDL_DLL);
  if (!state.Normaliz) state.Normaliz = LoadSystemLibrary(NORMALIZ_DLL);
  state.IdnToAscii = GetProcedure<TIdnToAscii>(state.Normaliz.get(), "IdnToAscii");
  state.IdnToUnicode = GetProcedure<TIdnToUnicode>(state.Normaliz.get(), "IdnToUnicode");
}

FARPROC GetEntryPoint(const char* name) {
  HMODULE module = State().Winsock.get();
  const std::string title = Format(RSWinsockCallError, name);
  if (!module) throw EIdWinsockStubError(WSANOTINITIALISED, title);
  FARPROC proc = ::GetProcAddress(module, name);
  if (!proc) throw EIdWinsockStubError(WSAEINVAL, title);
  return proc;
}

int WSAGetLastError() {
  ID_WINSOCK_CALL(WSAGetLastError);
}
void WSASetLastError(int error) {
  ID_WINSOCK_CALL(WSASetLastError, error);
}
SOCKET socket(int af, int type, int protocol) {
  ID_WINSOCK_CALL(socket, af, type, protocol);
}
SOCKET WSASocketW(int af, int type, int protocol, LPWSAPROTOCOL_INFOW info, GROUP g, DWORD flags) {
  ID_WINSOCK_CALL(WSASocketW, af, type, protocol, info, g, flags);
}
int bind(SOCKET s, const sockaddr* name, int length) {
  ID_WINSOCK_CALL(bind, s, name, length);
}
int connect(SOCKET s, const sockaddr* name, int length) {
  ID_WINSOCK_CALL(connect, s, name, length);
}
int listen(SOCKET s, int backlog) {
  ID_WINSOCK_CALL(listen, s, backlog);
}
SOCKET accept(SOCKET s, sockaddr* addr, int* length) {
  ID_WINSOCK_CALL(accept, s, addr, length);
}
int recv(SOCKET s, char* buffer, int length, int flags) {
  ID_WINSOCK_CALL(recv, s, buffer, length, flags);
}
int send(SOCKET s, const char* buffer, int length, int flags) {
  ID_WINSOCK_CALL(send, s, buffer, length, flags);
}
int shutdown(SOCKET s, int how) {
  ID_WINSOCK_CALL(shutdown, s, how);
}
int closesocket(SOCKET s) {
  ID_WINSOCK_CALL(closesocket, s);
}
int getsockname(SOCKET s, sockaddr* name, int* length) {
  ID_WINSOCK_CALL(getsockname, s, name, length);
}
int getpeername(SOCKET s, sockaddr* name, int* length) {
  ID_WINSOCK_CALL(getpeername, s, name, length);
}
int getsockopt(SOCKET s, int level, int option, char* value, int* length) {
  ID_WINSOCK_CALL(getsockopt, s, level, option, value, length);
}
int setsockopt(SOCKET s, int level, int option, const char* value, int length) {
  ID_WINSOCK_CALL(setsockopt, s, level, option, value, length);
}
int select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, timeval* timeout) {
  ID_WINSOCK_CALL(select, nfds, readfds, writefds, exceptfds, timeout);
}

int GetAddrInfoW(PCWSTR node, PCWSTR service, const ADDRINFOW* hints, PADDRINFOW* result) {
  TGetAddrInfoW fn = State().GetAddrInfoW;
  if (!fn) throw EIdWinsockStubError(WSAEINVAL, Format(RSWinsockCallError, "GetAddrInfoW"));
  return fn(node, service, hints, result);
}

void FreeAddrInfoW(PADDRINFOW info) {
  TFreeAddrInfoW fn = State().FreeAddrInfoW;
  if (fn && info) fn(info);
}

std::wstring IdnToAsciiIfNeeded(const std::wstring& host) {
  TLibraryState& state = State();
  if (!state.IdnToAscii || !state.IdnToUnicode || !IsWindowsBefore62()) return host;
  const int length = state.IdnToAscii(0, host.c_str(), -1, nullptr, 0);
  if (length <= 0) RaiseLastOSError();
  std::wstring out(static_cast<size_t>(length), L'\0');
  const int written = state.IdnToAscii(0, host.c_str(), -1, out.data(), length);
  if (written <= 0) RaiseLastOSError();
  // The count includes the terminating null.
  out.resize(static_cast<size_t>(written > 0 ? written - 1 : 0));
  return out;
}

}  // namespace IdWinsock2
