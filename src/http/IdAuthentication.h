#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/SecretString.h"
#include "http/IdHeaderList.h"

// What an authentication scheme needs next.
enum TIdAuthWhatsNext { wnAskTheProgram, wnDoRequest, wnFail };

// One authentication scheme's state for a connection: its parameters ("Username"; the password
// is kept apart, wiped when it goes), the challenges received, and a step counter; produces the
// text of the "Authorization" (or "Proxy-Authorization") header.
class TIdAuthentication {
 public:
  TIdAuthentication();
  virtual ~TIdAuthentication() = default;
  TIdAuthentication(const TIdAuthentication&) = delete;
  TIdAuthentication& operator=(const TIdAuthentication&) = delete;

  // The header value for the current step.
  virtual std::string Authentication() = 0;
  // Advances the scheme with what it holds; wnDoRequest when a request can be sent.
  virtual TIdAuthWhatsNext Next() = 0;
  // The number of steps of a complete exchange.
  virtual int Steps() const { return 1; }
  // Told the method and target of every request it signs (schemes that sign them use them).
  virtual void SetRequest(std::string_view AMethod, std::string_view AURI);
  virtual void Reset() { FCurrentStep = 0; }
  // True while a handshake of several legs waits for the server's next token (the last header
  // was not the final one).
  virtual bool AwaitsChallenge() const { return false; }

  int CurrentStep() const { return FCurrentStep; }
  std::string Username() const { return Params.GetValue("Username"); }
  void SetUsername(std::string_view v) { Params.SetValue("Username", v); }
  const std::string& Password() const { return FPassword.Text(); }
  void SetPassword(std::string_view v) { FPassword = v; }

  TIdHeaderList Params{QuotePlain};
  // The challenges of the last answer that asked for authentication.
  TIdHeaderList AuthParams{QuoteHTTP};

 protected:
  int FCurrentStep = 0;

 private:
  TSecretString FPassword;
};

// "Basic": the user name and password, Base64 encoded; one step.
class TIdBasicAuthentication : public TIdAuthentication {
 public:
  std::string Authentication() override;
  TIdAuthWhatsNext Next() override;
};

// Makes a new scheme object; null stands for "no scheme".
using TIdAuthenticationClass = std::unique_ptr<TIdAuthentication> (*)();

// The process-wide registry of schemes by name (compared ignoring case). "Basic" is registered
// from the start, and on Windows "Negotiate" and "NTLM" (through the system's security packages,
// IdSSPIAuthentication.h).
void RegisterAuthenticationMethod(std::string_view AMethodName, TIdAuthenticationClass AAuthClass);
void UnregisterAuthenticationMethod(std::string_view AMethodName);
// The class registered under the first word of AHeaderValue (up to the first space), or null.
TIdAuthenticationClass FindAuthClass(std::string_view AHeaderValue);

std::string Base64Encode(std::string_view AText);
// The bytes of a base64 text (padding optional, no other characters); false when it is none.
bool Base64Decode(std::string_view AText, std::string& ABytes);
