#pragma once

// The messages of the connection layer that a user can see are in the program's text table
// (base/Texts.h); these few only a misuse by code raises, and stay as they are.
#include "base/Texts.h"

// Socket stack
inline constexpr const char* RSStackAlreadyCreated = "Stack already created.";
inline constexpr const char* RSStackClassUndefined = "Stack Class is undefined.";
inline constexpr const char* RSSetSizeExceeded = "Set Size Exceeded.";

// TCP connection and socket handle
inline constexpr const char* RSAlreadyConnected = "Already connected.";
inline constexpr const char* RSCannotSetIPVersionWhenConnected =
    "Cannot change IPVersion when connected";
inline constexpr const char* RSInvalidPortRange = "Invalid Port Range (%d - %d)";
inline constexpr const char* RSCannotBindRange = "Can not bind in port range (%d - %d)";

// I/O handler: the status text of the disconnect event.
inline constexpr const char* RSStatusDisconnected = "Disconnected.";

// Byte queue
inline constexpr const char* RSTooMuchDataInBuffer = "Too much data in buffer.";
inline constexpr const char* RSNotEnoughDataInBuffer = "Not enough data in buffer.";
inline constexpr const char* RSBufferMissingTerminator = "Buffer terminator must be specified.";
inline constexpr const char* RSBufferInvalidStartPos = "Buffer start position is invalid.";

// Responsive waiting
inline constexpr const char* RSOnlyOneAntiFreeze =
    "Only one TIdAntiFreeze can exist per application.";
