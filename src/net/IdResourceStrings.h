#pragma once

// The fixed message texts of the connection layer.

// Socket stack
inline constexpr const char* RSStackAlreadyCreated = "Stack already created.";
inline constexpr const char* RSStackClassUndefined = "Stack Class is undefined.";
inline constexpr const char* RSStackError = "Socket Error # %d\r\n%s";
inline constexpr const char* RSIPVersionUnsupported =
    "The requested IPVersion / Address family is not supported.";
inline constexpr const char* RSSetSizeExceeded = "Set Size Exceeded.";
inline constexpr const char* RSWinsockLoadError = "Error on loading Winsock2 library (%s)";
inline constexpr const char* RSWinsockCallError = "Error on call to Winsock2 library function %s";

// TCP connection and socket handle
inline constexpr const char* RSAlreadyConnected = "Already connected.";
inline constexpr const char* RSConnectTimeout = "Connect timed out.";
inline constexpr const char* RSNotConnected = "Not Connected";
inline constexpr const char* RSCouldNotBindSocket =
    "Could not bind socket. Address and port are already in use.";
inline constexpr const char* RSCannotSetIPVersionWhenConnected =
    "Cannot change IPVersion when connected";
inline constexpr const char* RSInvalidPortRange = "Invalid Port Range (%d - %d)";
inline constexpr const char* RSCannotBindRange = "Can not bind in port range (%d - %d)";

// I/O handler
inline constexpr const char* RSConnectionClosedGracefully = "Connection Closed Gracefully.";
inline constexpr const char* RSStatusDisconnected = "Disconnected.";
inline constexpr const char* RSReadTimeout = "Read timed out.";
inline constexpr const char* RSReadLnMaxLineLengthExceeded = "Max line length exceeded.";
inline constexpr const char* RSDataTooLarge = "Data is too large for stream";
inline constexpr const char* RSNoDataToRead = "No data to read.";

// Byte queue
inline constexpr const char* RSTooMuchDataInBuffer = "Too much data in buffer.";
inline constexpr const char* RSNotEnoughDataInBuffer = "Not enough data in buffer.";
inline constexpr const char* RSBufferMissingTerminator = "Buffer terminator must be specified.";
inline constexpr const char* RSBufferInvalidStartPos = "Buffer start position is invalid.";

// Responsive waiting
inline constexpr const char* RSOnlyOneAntiFreeze =
    "Only one TIdAntiFreeze can exist per application.";
