#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/IdIOHandlerStack.h"
#include "net/IdTLSSession.h"

// The socket I/O handler with TLS: after the connect, a TLS 1.2 or 1.3 handshake through the
// platform's library (SChannel on Windows, OpenSSL elsewhere), and the server's certificate
// checked against the host. Reads and writes then pass through the session with the same
// buffering, blocks, work events and responsive waits as the plain handler. With PassThrough
// set it is the plain handler.
class TIdSSLIOHandlerSocket : public TIdIOHandlerStack, private TIdTLSTransport {
 public:
  TIdSSLIOHandlerSocket() = default;
  ~TIdSSLIOHandlerSocket() override;

  void Open() override;
  // Tells the peer that the secure session ends (when it can still hear it), then closes.
  void Close() override;
  // Connects, then starts TLS unless PassThrough is set.
  void ConnectToPeer() override;

  // Starts TLS on the connected socket, checking the server against AHost (also sent as the
  // server name). Waits for the server like a read does: responsively, within ReadTimeout. A
  // tunnel through a proxy calls it once the tunnel stands, with the host behind the proxy.
  // Once the server is accepted, OnStatus (hsStatusText) tells the protocol and the server's
  // certificate (TIdTLSSession::Facts).
  void StartTLS(const std::string& AHost);
  // True from a completed StartTLS to the next Close or Open.
  bool TLSActive() const { return FSession != nullptr; }
  // The standing session's protocol and certificate; empty without one.
  TIdTLSFacts TLSFacts() const { return FSession ? FSession->Facts() : TIdTLSFacts{}; }
  // The secure session's close came without the TLS goodbye; kept after the close, until the
  // next Open or StartTLS.
  bool StreamCutOff() const override { return FCutOff; }

  // Set: the connection stays plain (a client that fetches both "http" and "https" URLs).
  bool PassThrough = true;
  // The host the server's certificate must name; empty: Host.
  std::string HostToCheck;

 protected:
  int ReceiveBlock(uint8_t* ABuffer, int ALength) override;
  int SendBlock(const uint8_t* ABuffer, int ALength) override;
  // True when decrypted bytes (or the peer's close) are at hand, not merely encrypted bytes.
  // AMSec bounds the silence, not the whole wait: every encrypted byte that arrives restarts
  // it, so a record that a slow link brings in pieces does not time out.
  bool Readable(int AMSec) override;

 private:
  int TLSReceive(uint8_t* ABuffer, int ALength) override;
  void TLSSend(const uint8_t* AData, int ALength) override;
  // ReadTimeout as one wait takes it: no limit for -1 and 0.
  int WaitLimit() const;

  std::unique_ptr<TIdTLSSession> FSession;
  bool FCutOff = false;
  // Encrypted bytes received so far (the waits restart when it grows).
  uint64_t FReceived = 0;
};
