#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "http/IdHeaderList.h"

// One challenge of a WWW-Authenticate or Proxy-Authenticate field: a scheme with either a token
// (the base64 data of Negotiate and NTLM) or parameters (realm="office").
struct TIdAuthChallenge {
  std::string Scheme;
  std::string Token;
  // Names in lower case, values with their quotes and escapes removed, in order.
  std::vector<std::pair<std::string, std::string>> Params;

  // The parameter's value (AName in lower case); empty when it is absent.
  std::string Param(std::string_view AName) const;
  bool operator==(const TIdAuthChallenge&) const = default;
};

// The challenges of one field value, in order. A value may hold several ("Negotiate, NTLM,
// Basic realm=\"x\""); a parameter's quoted value may hold commas. What cannot be read is
// passed over up to the next comma.
std::vector<TIdAuthChallenge> ParseAuthChallenges(std::string_view AValue);
// The challenges of every value of a list (one value per field received), in order.
std::vector<TIdAuthChallenge> ParseAuthChallenges(const TIdHeaderList& AValues);

// How strong a scheme this client speaks is, for choosing among those a server offers:
// Negotiate 3, NTLM 2, Basic 1; 0 for any other.
int AuthSchemeStrength(std::string_view AScheme);
