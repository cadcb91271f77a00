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
FARPROC GetEntryPoint(const char* AName);

// The entry points the stack calls.
int WSAGetLastError();
void WSASetLastError(int AError);
SOCKET socket(int AAf, int AType, int AProtocol);
SOCKET WSASocketW(int AAf, int AType, int AProtocol, LPWSAPROTOCOL_INFOW AInfo, GROUP g,
                  DWORD AFlags);
int bind(SOCKET s, const sockaddr* AName, int ALength);
int connect(SOCKET s, const sockaddr* AName, int ALength);
int listen(SOCKET s, int ABacklog);
SOCKET accept(SOCKET s, sockaddr* AAddr, int* ALength);
int recv(SOCKET s, char* ABuffer, int ALength, int AFlags);
int send(SOCKET s, const char* ABuffer, int ALength, int AFlags);
int shutdown(SOCKET s, int AHow);
int closesocket(SOCKET s);
int getsockname(SOCKET s, sockaddr* AName, int* ALength);
int getpeername(SOCKET s, sockaddr* AName, int* ALength);
int getsockopt(SOCKET s, int ALevel, int AOption, char* AValue, int* ALength);
int setsockopt(SOCKET s, int ALevel, int AOption, const char* AValue, int ALength);
int select(int ANfds, fd_set* AReadfds, fd_set* AWritefds, fd_set* AExceptfds, timeval* ATimeout);
// The address-information calls; EIdWinsockStubError 10022 when neither library has them.
int GetAddrInfoW(PCWSTR ANode, PCWSTR AService, const ADDRINFOW* AHints, PADDRINFOW* AResult);
void FreeAddrInfoW(PADDRINFOW AInfo);

// Host names in their ASCII-compatible form where the system needs it (Windows before 6.2
// with the IDN functions present); otherwise the name unchanged.
std::wstring IdnToAsciiIfNeeded(const std::wstring& AHost);

}  // namespace IdWinsock2
