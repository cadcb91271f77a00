#include "http/IdAuthChallenges.h"

#include "base/StrUtils.h"

namespace {

bool IsTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken68Char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("-._~+/").find(c) != std::string_view::npos;
}

// A reader over one field value.
class TChallengeReader {
 public:
  explicit TChallengeReader(std::string_view AText) : FText(AText) {}

  std::vector<TIdAuthChallenge> ReadAll() {
    std::vector<TIdAuthChallenge> out;
    for (;;) {
      SkipSpaceAndCommas();
      if (AtEnd()) return out;
      TIdAuthChallenge challenge;
      challenge.Scheme = ReadToken();
      if (challenge.Scheme.empty() ||
          !(AtEnd() || Peek() == ' ' || Peek() == '\t' || Peek() == ',')) {
        SkipPastComma();
        continue;
      }
      SkipSpace();
      if (!ReadToken68(challenge.Token)) ReadParams(challenge);
      out.push_back(std::move(challenge));
    }
  }

 private:
  bool AtEnd() const { return FPos >= FText.size(); }
  char Peek() const { return FText[FPos]; }
  void SkipSpace() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t'))
      ++FPos;
  }
  void SkipSpaceAndCommas() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == ','))
      ++FPos;
  }
  // Past the next comma outside a quoted string, or to the end.
  void SkipPastComma() {
    bool quoted = false;
    for (; !AtEnd(); ++FPos) {
      const char c = Peek();
      if (quoted && c == '\\') {
        ++FPos;
      } else if (c == '"') {
        quoted = !quoted;
      } else if (c == ',' && !quoted) {
        ++FPos;
        return;
      }
    }
  }
  std::string ReadToken() {
    const size_t start = FPos;
    while (!AtEnd() && IsTokenChar(Peek()))
      ++FPos;
    return std::string(FText.substr(start, FPos - start));
  }
  // A token68 that stands alone up to a comma or the end; the position stays when there is none.
  bool ReadToken68(std::string& AToken) {
    size_t end = FPos;
    while (end < FText.size() && IsToken68Char(FText[end]))
      ++end;
    if (end == FPos) return false;
    while (end < FText.size() && FText[end] == '=')
      ++end;
    size_t after = end;
    while (after < FText.size() && (FText[after] == ' ' || FText[after] == '\t'))
      ++after;
    if (after < FText.size() && FText[after] != ',') return false;
    AToken = std::string(FText.substr(FPos, end - FPos));
    FPos = after;
    return true;
  }
  // True when a parameter ("name =") begins at the position.
  bool ParamAhead() const {
    size_t i = FPos;
    while (i < FText.size() && IsTokenChar(FText[i]))
      ++i;
    if (i == FPos) return false;
    while (i < FText.size() && (FText[i] == ' ' || FText[i] == '\t'))
      ++i;
    return i < FText.size() && FText[i] == '=';
  }
  std::string ReadQuoted() {
    std::string value;
    ++FPos;  // the opening quote
    while (!AtEnd() && Peek() != '"') {
      if (Peek() == '\\' && FPos + 1 < FText.size()) ++FPos;
      value += Peek();
      ++FPos;
    }
    if (!AtEnd()) ++FPos;  // the closing quote
    return value;
  }
  void ReadParams(TIdAuthChallenge& AChallenge) {
    while (ParamAhead()) {
      std::string name = LowerCase(ReadToken());
      SkipSpace();
      ++FPos;  // "="
      SkipSpace();
      std::string value = !AtEnd() && Peek() == '"' ? ReadQuoted() : ReadToken();
      AChallenge.Params.emplace_back(std::move(name), std::move(value));
      SkipSpace();
      if (AtEnd()) return;
      if (Peek() != ',') {
        SkipPastComma();
        return;
      }
      // Another parameter of this challenge, or the next challenge's scheme.
      SkipSpaceAndCommas();
    }
  }

  std::string_view FText;
  size_t FPos = 0;
};

}  // namespace

std::string TIdAuthChallenge::Param(std::string_view AName) const {
  for (const auto& [name, value] : Params)
    if (name == AName) return value;
  return {};
}

std::vector<TIdAuthChallenge> ParseAuthChallenges(std::string_view AValue) {
  return TChallengeReader(AValue).ReadAll();
}

std::vector<TIdAuthChallenge> ParseAuthChallenges(const TIdHeaderList& AValues) {
  std::vector<TIdAuthChallenge> out;
  for (const std::string& value : AValues)
    for (TIdAuthChallenge& challenge : ParseAuthChallenges(value))
      out.push_back(std::move(challenge));
  return out;
}

int AuthSchemeStrength(std::string_view AScheme) {
  if (SameText(AScheme, "Negotiate")) return 3;
  if (SameText(AScheme, "NTLM")) return 2;
  if (SameText(AScheme, "Basic")) return 1;
  return 0;
}
