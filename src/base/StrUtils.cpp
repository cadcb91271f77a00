#include "base/StrUtils.h"

#include <limits>

char LowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
char UpperChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = LowerChar(c);
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Fetch(std::string& AInput, char ADelimiter) {
  const size_t pos = AInput.find(ADelimiter);
  std::string head;
  if (pos == std::string::npos) {
    head.swap(AInput);
  } else {
    head = AInput.substr(0, pos);
    AInput.erase(0, pos + 1);
  }
  return head;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  return true;
}

bool StartsText(std::string_view APrefix, std::string_view s) {
  return s.size() >= APrefix.size() && SameText(APrefix, s.substr(0, APrefix.size()));
}

bool EndsText(std::string_view ASuffix, std::string_view s) {
  return s.size() >= ASuffix.size() && SameText(ASuffix, s.substr(s.size() - ASuffix.size()));
}

size_t PosText(std::string_view ANeedle, std::string_view AHaystack, size_t AFrom) {
  if (ANeedle.size() > AHaystack.size()) return std::string_view::npos;
  for (size_t i = AFrom; i + ANeedle.size() <= AHaystack.size(); ++i)
    if (SameText(ANeedle, AHaystack.substr(i, ANeedle.size()))) return i;
  return std::string_view::npos;
}

std::string_view TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ')
    ++i;
  return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && static_cast<unsigned char>(s[n - 1]) <= ' ')
    --n;
  return s.substr(0, n);
}

std::string_view Trim(std::string_view s) {
  return TrimRight(TrimLeft(s));
}

int64_t StrToInt64Def(std::string_view s, int64_t ADef) {
  s = Trim(s);
  if (s.empty()) return ADef;
  bool negative = false;
  size_t i = 0;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return ADef;
  uint64_t value = 0;
  const uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1
                                  : std::numeric_limits<int64_t>::max();
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return ADef;
    const unsigned digit = static_cast<unsigned>(s[i] - '0');
    if (value > (limit - digit) / 10) return ADef;
    value = value * 10 + digit;
  }
  if (negative)
    return value == uint64_t(std::numeric_limits<int64_t>::max()) + 1
               ? std::numeric_limits<int64_t>::min()
               : -static_cast<int64_t>(value);
  return static_cast<int64_t>(value);
}

int StrToIntDef(std::string_view s, int ADef) {
  const int64_t v = StrToInt64Def(s, int64_t(std::numeric_limits<int>::max()) + 1);
  if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return ADef;
  return static_cast<int>(v);
}
