#pragma once

// The Windows socket library, loaded at run time. The program imports nothing from it: every
// entry point is looked up by name on its first call, so a missing library or function is a
// clear exception instead of a refusal to start. Every library here is loaded from the
// system folder only, never from the program's own folder where a planted copy could wait.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

namespace IdWinsock2 {

inline constexpr const wchar_t* WINSOCK2_DLL = L"WS2_32.DLL";
inline constexpr const wchar_t* WSHIP6_DLL = L"Wship6.dll";
inline constexpr const wchar_t* IDNDL_DLL = L"IdnDL.dll";
inline constexpr const wchar_t* NORMALIZ_DLL = L"Normaliz.dll";

// Loads "WS2_32.DLL" and starts it, asking for version 2.2. EIdWinsockStubError
// "Error on loading Winsock2 library (WS2_32.DLL)" with the load's or WSAStartup's code.
void LoadSocketLibrary();
bool Winsock2Loaded();
HMODULE SocketLibraryHandle();
// GetAddrInfoW, GetNameInfoW and FreeAddrInfoW from "WS2_32.DLL", or else "Wship6.dll".
void LoadAddressInfoFunctions();
// "IdnDL.dll" and "Normaliz.dll", each only when present.
void LoadIdnSupport();

// An entry point of the socket library by name, remembered after the first look-up.
// EIdWinsockStubError "Error on call to Winsock2 library function %s" with 10093 before the
// library is loaded and with 10022 when the library lacks the function.
FARPROC GetEntryPoint(const char* name);

// The entry points the stack calls.
int WSAGetLastError();
void WSASetLastError(int error);
SOCKET socket(int af, int type, int protocol);
SOCKET WSASocketW(int af, int type, int protocol, LPWSAPROTOCOL_INFOW info, GROUP g, DWORD flags);
int bind(SOCKET s, const sockaddr* name, int length);
int connect(SOCKET s, const sockaddr* name, int length);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, sockaddr* addr, int* length);
int recv(SOCKET s, char* buffer, int length, int flags);
int send(SOCKET s, const char* buffer, int length, int flags);
int shutdown(SOCKET s, int how);
int closesocket(SOCKET s);
int getsockname(SOCKET s, sockaddr* name, int* length);
int getpeername(SOCKET s, sockaddr* name, int* length);
int getsockopt(SOCKET s, int level, int option, char* value, int* length);
int setsockopt(SOCKET s, int level, int option, const char* value, int length);
int select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, timeval* timeout);
// The address-information calls; EIdWinsockStubError 10022 when neither library has them.
int GetAddrInfoW(PCWSTR node, PCWSTR service, const ADDRINFOW* hints, PADDRINFOW* result);
void FreeAddrInfoW(PADDRINFOW info);

// Host names in their ASCII-compatible form where the system needs it (Windows before 6.2
// with the IDN functions present); otherwise the name unchanged.
std::wstring IdnToAsciiIfNeeded(const std::wstring& host);

}  // namespace IdWinsock2
