#pragma once

#include <string>

#include "base/SecretString.h"

// A user name and password given for a server or proxy (not the signed-in user's, which the
// system's security packages hold). The password is wiped from memory when it goes.
struct TIdCredentials {
  // "user", "DOMAIN\user" or "user@domain".
  std::string Username;
  TSecretString Password;

  bool operator==(const TIdCredentials&) const = default;
};
