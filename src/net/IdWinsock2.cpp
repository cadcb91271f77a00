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
Fn As(FARPROC AProc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(AProc));
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
Fn Entry(std::atomic<FARPROC>& ASlot, const char* AName) {
  FARPROC proc = ASlot.load(std::memory_order_acquire);
  if (!proc) {
    proc = GetEntryPoint(AName);
    ASlot.store(proc, std::memory_order_release);
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

FARPROC GetEntryPoint(const char* AName) {
  HMODULE module = State().Winsock.get();
  const std::string title = Format(RSWinsockCallError, AName);
  if (!module) throw EIdWinsockStubError(WSANOTINITIALISED, title);
  const auto proc = GetProcedure<FARPROC>(module, AName);
  if (!proc) throw EIdWinsockStubError(WSAEINVAL, title);
  return proc;
}

int WSAGetLastError() {
  ID_WINSOCK_CALL(WSAGetLastError);
}
void WSASetLastError(int AError) {
  ID_WINSOCK_CALL(WSASetLastError, AError);
}
SOCKET socket(int AAf, int AType, int AProtocol) {
  ID_WINSOCK_CALL(socket, AAf, AType, AProtocol);
}
SOCKET WSASocketW(int AAf, int AType, int AProtocol, LPWSAPROTOCOL_INFOW AInfo, GROUP g,
                  DWORD AFlags) {
  ID_WINSOCK_CALL(WSASocketW, AAf, AType, AProtocol, AInfo, g, AFlags);
}
int bind(SOCKET s, const sockaddr* AName, int ALength) {
  ID_WINSOCK_CALL(bind, s, AName, ALength);
}
int connect(SOCKET s, const sockaddr* AName, int ALength) {
  ID_WINSOCK_CALL(connect, s, AName, ALength);
}
int listen(SOCKET s, int ABacklog) {
  ID_WINSOCK_CALL(listen, s, ABacklog);
}
SOCKET accept(SOCKET s, sockaddr* AAddr, int* ALength) {
  ID_WINSOCK_CALL(accept, s, AAddr, ALength);
}
int recv(SOCKET s, char* ABuffer, int ALength, int AFlags) {
  ID_WINSOCK_CALL(recv, s, ABuffer, ALength, AFlags);
}
int send(SOCKET s, const char* ABuffer, int ALength, int AFlags) {
  ID_WINSOCK_CALL(send, s, ABuffer, ALength, AFlags);
}
int shutdown(SOCKET s, int AHow) {
  ID_WINSOCK_CALL(shutdown, s, AHow);
}
int closesocket(SOCKET s) {
  ID_WINSOCK_CALL(closesocket, s);
}
int getsockname(SOCKET s, sockaddr* AName, int* ALength) {
  ID_WINSOCK_CALL(getsockname, s, AName, ALength);
}
int getpeername(SOCKET s, sockaddr* AName, int* ALength) {
  ID_WINSOCK_CALL(getpeername, s, AName, ALength);
}
int getsockopt(SOCKET s, int ALevel, int AOption, char* AValue, int* ALength) {
  ID_WINSOCK_CALL(getsockopt, s, ALevel, AOption, AValue, ALength);
}
int setsockopt(SOCKET s, int ALevel, int AOption, const char* AValue, int ALength) {
  ID_WINSOCK_CALL(setsockopt, s, ALevel, AOption, AValue, ALength);
}
int select(int ANfds, fd_set* AReadfds, fd_set* AWritefds, fd_set* AExceptfds, timeval* ATimeout) {
  ID_WINSOCK_CALL(select, ANfds, AReadfds, AWritefds, AExceptfds, ATimeout);
}

int GetAddrInfoW(PCWSTR ANode, PCWSTR AService, const ADDRINFOW* AHints, PADDRINFOW* AResult) {
  TGetAddrInfoW fn = State().GetAddrInfoW;
  if (!fn) throw EIdWinsockStubError(WSAEINVAL, Format(RSWinsockCallError, "GetAddrInfoW"));
  return fn(ANode, AService, AHints, AResult);
}

void FreeAddrInfoW(PADDRINFOW AInfo) {
  TFreeAddrInfoW fn = State().FreeAddrInfoW;
  if (fn && AInfo) fn(AInfo);
}

std::wstring IdnToAsciiIfNeeded(const std::wstring& AHost) {
  TLibraryState& state = State();
  if (!state.IdnToAscii || !state.IdnToUnicode || !IsWindowsBefore62()) return AHost;
  const int length = state.IdnToAscii(0, AHost.c_str(), -1, nullptr, 0);
  if (length <= 0) RaiseLastOSError();
  std::wstring out(static_cast<size_t>(length), L'\0');
  const int written = state.IdnToAscii(0, AHost.c_str(), -1, out.data(), length);
  if (written <= 0) RaiseLastOSError();
  // The count includes the terminating null.
  out.resize(static_cast<size_t>(written > 0 ? written - 1 : 0));
  return out;
}

}  // namespace IdWinsock2
