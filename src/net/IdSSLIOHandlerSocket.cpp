#include "net/IdSSLIOHandlerSocket.h"

#include <algorithm>

#include "base/Format.h"
#include "net/IdExceptionCore.h"
#include "net/IdGlobal.h"
#include "net/IdResourceStrings.h"

TIdSSLIOHandlerSocket::~TIdSSLIOHandlerSocket() {
  // The session goes before the socket it talks through.
  FSession.reset();
}

void TIdSSLIOHandlerSocket::Open() {
  FSession.reset();
  FCutOff = false;
  TIdIOHandlerStack::Open();
}

void TIdSSLIOHandlerSocket::Close() {
  if (std::unique_ptr<TIdTLSSession> session = std::move(FSession);
      session && HasSocket() && !FClosedGracefully)
    session->Shutdown();
  TIdIOHandlerStack::Close();
}

void TIdSSLIOHandlerSocket::ConnectToPeer() {
  FSession.reset();
  TIdIOHandlerStack::ConnectToPeer();
  if (!PassThrough) StartTLS(HostToCheck.empty() ? Host : HostToCheck);
}

int TIdSSLIOHandlerSocket::WaitLimit() const {
  return (ReadTimeout == IdTimeoutDefault || ReadTimeout == 0) ? IdTimeoutInfinite : ReadTimeout;
}

void TIdSSLIOHandlerSocket::StartTLS(const std::string& AHost) {
  FSession.reset();
  FCutOff = false;
  // Kept aside until the server has been accepted: a refused session never carries a byte.
  std::unique_ptr<TIdTLSSession> session = CreateTLSSession(*this, AHost);
  const int limit = WaitLimit();
  bool done = session->Handshake(false);
  while (!done) {
    if (!TIdIOHandlerStack::Readable(limit)) throw EIdReadTimeout(Text(RSReadTimeout));
    // Closed while the window's messages were processed during the wait.
    if (!HasSocket()) throw EIdConnClosedGracefully(Text(RSConnectionClosedGracefully));
    done = session->Handshake(true);
  }
  FSession = std::move(session);
  const TIdTLSFacts facts = FSession->Facts();
  DoStatus(hsStatusText,
           Format("Secure connection: %s; certificate of \"%s\", issued by \"%s\", valid until %s",
                  facts.Protocol.c_str(), facts.Subject.c_str(), facts.Issuer.c_str(),
                  facts.NotAfter.c_str()));
}

bool TIdSSLIOHandlerSocket::Readable(int AMSec) {
  if (!FSession) return TIdIOHandlerStack::Readable(AMSec);
  if (FSession->Pump(false)) return true;
  // The socket may bring only part of a record: wait again, within what is left of the time
  // since the last byte came.
  uint32_t start = Ticks();
  for (;;) {
    int wait = AMSec;
    if (AMSec >= 0) {
      const uint32_t elapsed = GetTickDiff(start, Ticks());
      wait = elapsed >= static_cast<uint32_t>(AMSec) ? 0 : AMSec - static_cast<int>(elapsed);
    }
    if (!TIdIOHandlerStack::Readable(wait)) return false;
    // A close made during the wait: the caller finds it.
    if (!FSession || !HasSocket()) return true;
    const uint64_t before = FReceived;
    if (FSession->Pump(true)) return true;
    if (FReceived != before) start = Ticks();
    if (AMSec >= 0 && GetTickDiff(start, Ticks()) >= static_cast<uint32_t>(AMSec)) return false;
  }
}

int TIdSSLIOHandlerSocket::ReceiveBlock(uint8_t* ABuffer, int ALength) {
  if (!FSession) return TIdIOHandlerStack::ReceiveBlock(ABuffer, ALength);
  for (;;) {
    const int n = FSession->Read(ABuffer, ALength);
    if (n == 0) FCutOff = FSession->CutOff();
    if (n >= 0) return n;
    if (!Readable(WaitLimit())) throw EIdReadTimeout(Text(RSReadTimeout));
    if (!FSession || !HasSocket()) return 0;
  }
}

int TIdSSLIOHandlerSocket::SendBlock(const uint8_t* ABuffer, int ALength) {
  if (!FSession) return TIdIOHandlerStack::SendBlock(ABuffer, ALength);
  FSession->Write(ABuffer, ALength);
  return ALength;
}

int TIdSSLIOHandlerSocket::TLSReceive(uint8_t* ABuffer, int ALength) {
  const int n = Binding()->Receive(ABuffer, ALength);
  if (n > 0) FReceived += static_cast<uint64_t>(n);
  return n;
}

void TIdSSLIOHandlerSocket::TLSSend(const uint8_t* AData, int ALength) {
  while (ALength > 0) {
    const int sent = Binding()->Send(AData, ALength);
    if (sent <= 0) {
      FClosedGracefully = true;
      throw EIdConnClosedGracefully(Text(RSConnectionClosedGracefully));
    }
    AData += sent;
    ALength -= sent;
  }
}
