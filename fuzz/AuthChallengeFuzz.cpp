// Proxy-Authenticate and WWW-Authenticate values as a server sends them (any bytes), read into
// challenges; each challenge read is written back and must read the same again. Base64 tokens
// decode and encode back.
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "http/IdAuthChallenges.h"
#include "http/IdAuthentication.h"

namespace {

bool IsTokenText(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (static_cast<unsigned char>(c) <= ' ' ||
        std::string_view("\"(),/:;<=>?@[\\]{}").find(c) != std::string_view::npos)
      return false;
  return true;
}

// The challenge as a server would write it.
std::string Written(const TIdAuthChallenge& AChallenge) {
  std::string text = AChallenge.Scheme;
  if (!AChallenge.Token.empty()) return text + " " + AChallenge.Token;
  for (size_t i = 0; i < AChallenge.Params.size(); ++i) {
    text += i == 0 ? " " : ", ";
    text += AChallenge.Params[i].first + "=\"";
    for (char c : AChallenge.Params[i].second) {
      if (c == '"' || c == '\\') text += '\\';
      text += c;
    }
    text += '"';
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const std::string_view input(reinterpret_cast<const char*>(AData), ASize);
  for (const TIdAuthChallenge& challenge : ParseAuthChallenges(input)) {
    FUZZ_CHECK(IsTokenText(challenge.Scheme));
    FUZZ_CHECK(challenge.Token.empty() || challenge.Params.empty());
    for (const auto& param : challenge.Params)
      FUZZ_CHECK(IsTokenText(param.first));
    const std::vector<TIdAuthChallenge> again = ParseAuthChallenges(Written(challenge));
    FUZZ_CHECK(again.size() == 1 && again[0] == challenge);
    std::string bytes;
    if (!challenge.Token.empty() && Base64Decode(challenge.Token, bytes)) {
      std::string back;
      FUZZ_CHECK(Base64Decode(Base64Encode(bytes), back) && back == bytes);
    }
  }
  return 0;
}
