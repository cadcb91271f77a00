#pragma once

// The socket error numbers, named once: WinSock's, which the Windows stack reports as they are
// and the POSIX stack maps errno and resolver results to (IdStackPosix.cpp).
inline constexpr int Id_WSA_NOT_ENOUGH_MEMORY = 8;
inline constexpr int Id_WSAEINTR = 10004;
inline constexpr int Id_WSAEBADF = 10009;
inline constexpr int Id_WSAEACCES = 10013;
inline constexpr int Id_WSAEFAULT = 10014;
inline constexpr int Id_WSAEINVAL = 10022;
inline constexpr int Id_WSAEMFILE = 10024;
inline constexpr int Id_WSAEWOULDBLOCK = 10035;
inline constexpr int Id_WSAEINPROGRESS = 10036;
inline constexpr int Id_WSAEALREADY = 10037;
inline constexpr int Id_WSAENOTSOCK = 10038;
inline constexpr int Id_WSAEDESTADDRREQ = 10039;
inline constexpr int Id_WSAEMSGSIZE = 10040;
inline constexpr int Id_WSAEPROTOTYPE = 10041;
inline constexpr int Id_WSAENOPROTOOPT = 10042;
inline constexpr int Id_WSAEPROTONOSUPPORT = 10043;
inline constexpr int Id_WSAESOCKTNOSUPPORT = 10044;
inline constexpr int Id_WSAEOPNOTSUPP = 10045;
inline constexpr int Id_WSAEPFNOSUPPORT = 10046;
inline constexpr int Id_WSAEAFNOSUPPORT = 10047;
inline constexpr int Id_WSAEADDRINUSE = 10048;
inline constexpr int Id_WSAEADDRNOTAVAIL = 10049;
inline constexpr int Id_WSAENETDOWN = 10050;
inline constexpr int Id_WSAENETUNREACH = 10051;
inline constexpr int Id_WSAENETRESET = 10052;
inline constexpr int Id_WSAECONNABORTED = 10053;
inline constexpr int Id_WSAECONNRESET = 10054;
inline constexpr int Id_WSAENOBUFS = 10055;
inline constexpr int Id_WSAEISCONN = 10056;
inline constexpr int Id_WSAENOTCONN = 10057;
inline constexpr int Id_WSAESHUTDOWN = 10058;
inline constexpr int Id_WSAETOOMANYREFS = 10059;
inline constexpr int Id_WSAETIMEDOUT = 10060;
inline constexpr int Id_WSAECONNREFUSED = 10061;
inline constexpr int Id_WSAELOOP = 10062;
inline constexpr int Id_WSAENAMETOOLONG = 10063;
inline constexpr int Id_WSAEHOSTDOWN = 10064;
inline constexpr int Id_WSAEHOSTUNREACH = 10065;
inline constexpr int Id_WSAENOTEMPTY = 10066;
inline constexpr int Id_WSANOTINITIALISED = 10093;
inline constexpr int Id_WSATYPE_NOT_FOUND = 10109;
// The resolver's: the name is unknown, the resolver asks to try again (a temporary failure), it
// failed for good, the name has no address of the kind asked for.
inline constexpr int Id_WSAHOST_NOT_FOUND = 11001;
inline constexpr int Id_WSATRY_AGAIN = 11002;
inline constexpr int Id_WSANO_RECOVERY = 11003;
inline constexpr int Id_WSANO_DATA = 11004;
