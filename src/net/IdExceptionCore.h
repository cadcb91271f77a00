#pragma once

#include <string>

#include "net/IdException.h"

// The exception tree of the connection layer; every class derives from EIdException.

// Marks failures that callers expect as part of normal operation (a peer closing).
PLENWICK_DECLARE_EXCEPTION(EIdSilentException, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdConnClosedGracefully, EIdSilentException)

// Socket stack
PLENWICK_DECLARE_EXCEPTION(EIdStackError, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdStackInitializationFailed, EIdStackError)
PLENWICK_DECLARE_EXCEPTION(EIdIPVersionUnsupported, EIdStackError)
PLENWICK_DECLARE_EXCEPTION(EIdStackSetSizeExceeded, EIdStackError)

// A failed socket call; LastError is the WinSock error code on both targets.
class EIdSocketError : public EIdException {
 public:
  EIdSocketError(int ALastError, std::string AMessage)
      : EIdException(std::move(AMessage)), FLastError(ALastError) {}
  int LastError() const noexcept { return FLastError; }

 private:
  int FLastError;
};
PLENWICK_DECLARE_EXCEPTION(EIdNotASocket, EIdSocketError)

// The socket library or one of its entry points is missing. The message is the title, plus
// ": " and the system's text when a code is present.
class EIdWinsockStubError : public EIdException {
 public:
  EIdWinsockStubError(int AWin32Error, const std::string& ATitle);
  int Win32Error() const noexcept { return FWin32Error; }
  const std::string& Title() const noexcept { return FTitle; }

 private:
  int FWin32Error;
  std::string FTitle;
};

// Socket handle
PLENWICK_DECLARE_EXCEPTION(EIdSocketHandleError, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdCouldNotBindSocket, EIdSocketHandleError)
PLENWICK_DECLARE_EXCEPTION(EIdCannotSetIPVersionWhenConnected, EIdSocketHandleError)
PLENWICK_DECLARE_EXCEPTION(EIdInvalidPortRange, EIdSocketHandleError)
PLENWICK_DECLARE_EXCEPTION(EIdCanNotBindPortInRange, EIdSocketHandleError)

// TCP connection
PLENWICK_DECLARE_EXCEPTION(EIdAlreadyConnected, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdHostRequired, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdPortRequired, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdConnectTimeout, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdConnectException, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdNotConnected, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdTCPConnectionError, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdNoDataToRead, EIdTCPConnectionError)

// I/O handler
PLENWICK_DECLARE_EXCEPTION(EIdClosedSocket, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdReadTimeout, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdReadLnMaxLineLengthExceeded, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdIOHandler, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdIOHandlerStreamDataTooLarge, EIdIOHandler)

// Byte queue
PLENWICK_DECLARE_EXCEPTION(EIdTooMuchDataInBuffer, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdNotEnoughDataInBuffer, EIdException)
