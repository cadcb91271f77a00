#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/IdTCPConnection.h"

// A TCP connection that connects itself: the connect parameters and Connect. Protocol clients
// derive from it.
class TIdTCPClientCustom : public TIdTCPConnection {
 public:
  // Opens the connection to Host:Port, creating an implicit TIdIOHandlerStack when no handler
  // is assigned. On failure the handler is closed, an implicit one released, and the same
  // exception raised again.
  virtual void Connect();
  void Connect(const std::string& AHost);
  void Connect(const std::string& AHost, uint16_t APort);

  void SetIOHandler(TIdIOHandler* AValue) override;

  // Setting these passes the value on to an assigned handler at once.
  const std::string& Host() const { return FHost; }
  virtual void SetHost(const std::string& AValue);
  uint16_t Port() const { return FPort; }
  virtual void SetPort(uint16_t AValue);
  int ConnectTimeout() const { return FConnectTimeout; }
  void SetConnectTimeout(int AValue);
  int ReadTimeout() const { return FReadTimeout; }
  void SetReadTimeout(int AValue);
  // Setting these passes the value on to Socket at once.
  TIdIPVersion IPVersion() const { return FIPVersion; }
  virtual void SetIPVersion(TIdIPVersion AValue);
  const std::string& BoundIP() const { return FBoundIP; }
  void SetBoundIP(const std::string& AValue);
  uint16_t BoundPort() const { return FBoundPort; }
  void SetBoundPort(uint16_t AValue);
  uint16_t BoundPortMin() const { return FBoundPortMin; }
  void SetBoundPortMin(uint16_t AValue);
  uint16_t BoundPortMax() const { return FBoundPortMax; }
  void SetBoundPortMax(uint16_t AValue);
  TIdReuseSocket ReuseSocket() const { return FReuseSocket; }
  void SetReuseSocket(TIdReuseSocket AValue);
  bool UseNagle() const { return FUseNagle; }
  void SetUseNagle(bool AValue);

  std::string Destination;
  std::string Username;
  std::string Password;
  TIdNotifyEvent OnConnected;
  // Handed to the socket handler at Connect.
  TIdIOHandlerSocketEvent OnBeforeBind;
  TIdIOHandlerSocketEvent OnAfterBind;
  TIdIOHandlerSocketEvent OnSocketAllocated;

 protected:
  TIdTCPClientCustom() = default;

  // Fires OnConnected.
  virtual void DoOnConnected();
  // A handler of the default class (TIdIOHandlerStack), owned by the connection.
  virtual std::unique_ptr<TIdIOHandler> CreateImplicitIOHandler();

 private:
  void CopyParametersTo(TIdIOHandler& AHandler);

  std::string FBoundIP;
  uint16_t FBoundPort = 0;
  uint16_t FBoundPortMax = 0;
  uint16_t FBoundPortMin = 0;
  int FConnectTimeout = 0;
  std::string FHost;
  TIdIPVersion FIPVersion = Id_IPv4;
  uint16_t FPort = 0;
  int FReadTimeout = IdTimeoutDefault;
  TIdReuseSocket FReuseSocket = rsOSDependent;
  bool FUseNagle = true;
};

// The plain TCP client.
class TIdTCPClient : public TIdTCPClientCustom {
 public:
  TIdTCPClient() = default;
};
