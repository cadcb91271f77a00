#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "net/IdBytes.h"
#include "net/IdIPVersion.h"

// Types and constants shared by the whole connection layer.

// The platform's pointer-sized socket handle; all bits set means "no socket". POSIX file
// descriptors are stored in it too.
using TIdStackSocketHandle = uintptr_t;
constexpr TIdStackSocketHandle Id_INVALID_SOCKET = ~TIdStackSocketHandle(0);
constexpr int Id_SOCKET_ERROR = -1;

// Socket types, levels and options in the Windows numbering; the POSIX stack translates them.
constexpr int Id_SOCK_STREAM = 1;
constexpr int Id_SOL_SOCKET = 65535;
constexpr int Id_SO_REUSEADDR = 4;
constexpr int Id_SO_TYPE = 4104;
constexpr int Id_SOCKETOPTIONLEVEL_TCP = 6;
constexpr int Id_TCP_NODELAY = 1;

enum TIdReuseSocket { rsOSDependent, rsTrue, rsFalse };
enum TIdMaxLineAction { maException, maSplit };

// Time-out arguments in milliseconds.
constexpr int IdTimeoutDefault = -1;
constexpr int IdTimeoutInfinite = -2;

constexpr int IdMaxLineLengthDefault = 16384;
constexpr int GRecvBufferSizeDefault = 32768;
constexpr int GSendBufferSizeDefault = 32768;
// A body of announced length is given room up to this size before it arrives; beyond it the
// room grows with the bytes received, so a length a peer merely claims reserves no more.
constexpr int64_t IdStreamPresizeLimit = int64_t{64} << 20;

using TIdCriticalSection = std::mutex;

// The part of an array of ASize bytes that starts at AOffset and runs ALength bytes (below 0:
// to the end), clipped to the array; none when the offset lies outside it.
struct TIdByteRange {
  int Offset = 0;
  int Length = 0;
};
inline std::optional<TIdByteRange> ClampByteRange(int ASize, int AOffset, int ALength) {
  if (AOffset < 0 || AOffset >= ASize) return std::nullopt;
  if (ALength < 0 || ALength > ASize - AOffset) ALength = ASize - AOffset;
  return TIdByteRange{AOffset, ALength};
}

// A 32-bit millisecond tick count that wraps around after about 49.7 days.
uint32_t Ticks();
// Milliseconds from start to stop of a wrapping 32-bit tick count.
uint32_t GetTickDiff(uint32_t AStart, uint32_t AStop);
