#pragma once

#include <cstdint>
#include <memory>
#include <string>

// What a session that stands tells of itself, for a log: its protocol and the server's
// certificate.
struct TIdTLSFacts {
  std::string Protocol;  // "TLS 1.2", "TLS 1.3"
  std::string Subject;   // the certificate's subject, most specific part first ("CN=host, O=...")
  std::string Issuer;    // its issuer, written the same way
  std::string NotAfter;  // the end of its validity, "2030-01-31 23:59:59 UTC"
};

// What a TLS session needs of the connection below it. The session never waits: the I/O
// handler does every wait (responsive, with its time-outs) and only then lets the session
// receive.
class TIdTLSTransport {
 public:
  // One receive of encrypted bytes, made only when the socket was found readable, so it does
  // not wait. 0: the peer has closed.
  virtual int TLSReceive(uint8_t* ABuffer, int ALength) = 0;
  // Sends all of the bytes.
  virtual void TLSSend(const uint8_t* AData, int ALength) = 0;

 protected:
  ~TIdTLSTransport() = default;
};

// One TLS 1.2 or 1.3 client connection through the platform's library, checked against a host
// name: the server's certificate must chain to an authority the system trusts, be valid now,
// and name that host; the name is also sent as the server name (SNI). Failures raise the
// classes of IdTLSExceptions.h.
//
// Calls that take AMayReceive make at most one receive through the transport when it is set;
// without it they work only on what has been received already.
class TIdTLSSession {
 public:
  virtual ~TIdTLSSession() = default;

  // Advances the handshake as far as the bytes at hand allow. True once it is complete and the
  // certificate has been accepted.
  virtual bool Handshake(bool AMayReceive) = 0;
  // True when Read has something to give without receiving: decrypted bytes, or the peer's
  // close.
  virtual bool Pump(bool AMayReceive) = 0;
  // Decrypted bytes into ADest (at most ALength): the count, 0 once the peer has closed, -1
  // when nothing has been decrypted yet (Pump first).
  virtual int Read(uint8_t* ADest, int ALength) = 0;
  // Encrypts the bytes and sends them all.
  virtual void Write(const uint8_t* AData, int ALength) = 0;
  // Tells the peer that nothing more will be sent, as far as that is possible; raises nothing.
  virtual void Shutdown() noexcept = 0;
  // True once Read has reported the peer's close and that close came without the peer's TLS
  // goodbye (close_notify): the stream may have been cut short by anyone on the way. Whether
  // that matters is for the protocol above to judge, by its own framing.
  virtual bool CutOff() const = 0;
  // The protocol and certificate of a session whose Handshake has returned True.
  virtual TIdTLSFacts Facts() const = 0;
};

// A session of the platform's library (SChannel on Windows, OpenSSL elsewhere) for a server
// checked against AHost, over ATransport (which must outlive it).
std::unique_ptr<TIdTLSSession> CreateTLSSession(TIdTLSTransport& ATransport,
                                                const std::string& AHost);
