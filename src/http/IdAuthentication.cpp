#include "http/IdAuthentication.h"

#include <mutex>
#include <utility>
#include <vector>

#include "base/StrUtils.h"
#include "http/IdSSPIAuthentication.h"

TIdAuthentication::TIdAuthentication() {
  Params.NameValueSeparator = "=";
}

void TIdAuthentication::SetRequest(std::string_view, std::string_view) {}

std::string TIdBasicAuthentication::Authentication() {
  std::string pair = Username() + ":" + Password();
  std::string text = "Basic " + Base64Encode(pair);
  SecureWipe(pair);
  return text;
}

TIdAuthWhatsNext TIdBasicAuthentication::Next() {
  if (Username().empty() && Password().empty()) return wnAskTheProgram;
  FCurrentStep = Steps();
  return wnDoRequest;
}

namespace {

template <typename T>
std::unique_ptr<TIdAuthentication> Make() {
  return std::make_unique<T>();
}

struct TRegistry {
  std::mutex Lock;
  std::vector<std::pair<std::string, TIdAuthenticationClass>> Entries = Initial();

  static std::vector<std::pair<std::string, TIdAuthenticationClass>> Initial() {
    std::vector<std::pair<std::string, TIdAuthenticationClass>> entries{
        {"Basic", &Make<TIdBasicAuthentication>}};
    // Only where the system has security packages to run them.
    if (SystemSecurityContexts()) {
      entries.emplace_back("NTLM", &Make<TIdNTLMAuthentication>);
      entries.emplace_back("Negotiate", &Make<TIdNegotiateAuthentication>);
    }
    return entries;
  }
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

}  // namespace

void RegisterAuthenticationMethod(std::string_view AMethodName, TIdAuthenticationClass AAuthClass) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  for (auto& entry : r.Entries)
    if (SameText(entry.first, AMethodName)) {
      entry.second = AAuthClass;
      return;
    }
  r.Entries.emplace_back(std::string(AMethodName), AAuthClass);
}

void UnregisterAuthenticationMethod(std::string_view AMethodName) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  for (auto it = r.Entries.begin(); it != r.Entries.end(); ++it)
    if (SameText(it->first, AMethodName)) {
      r.Entries.erase(it);
      return;
    }
}

TIdAuthenticationClass FindAuthClass(std::string_view AHeaderValue) {
  const std::string_view name = AHeaderValue.substr(0, AHeaderValue.find(' '));
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  for (const auto& entry : r.Entries)
    if (SameText(entry.first, name)) return entry.second;
  return nullptr;
}

std::string Base64Encode(std::string_view AText) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((AText.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < AText.size(); i += 3) {
    const uint32_t v = uint32_t(uint8_t(AText[i])) << 16 | uint32_t(uint8_t(AText[i + 1])) << 8 |
                       uint8_t(AText[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i < AText.size()) {
    const bool two = i + 1 < AText.size();
    const uint32_t v =
        uint32_t(uint8_t(AText[i])) << 16 | (two ? uint32_t(uint8_t(AText[i + 1])) << 8 : 0);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += two ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool Base64Decode(std::string_view AText, std::string& ABytes) {
  ABytes.clear();
  uint32_t bits = 0;
  int count = 0;
  size_t padding = 0;
  for (char c : AText) {
    int v;
    if (c >= 'A' && c <= 'Z')
      v = c - 'A';
    else if (c >= 'a' && c <= 'z')
      v = c - 'a' + 26;
    else if (c >= '0' && c <= '9')
      v = c - '0' + 52;
    else if (c == '+')
      v = 62;
    else if (c == '/')
      v = 63;
    else if (c == '=') {
      ++padding;
      continue;
    } else
      return false;
    if (padding) return false;  // nothing after the padding
    bits = bits << 6 | static_cast<uint32_t>(v);
    if (++count == 4) {
      ABytes += static_cast<char>(bits >> 16);
      ABytes += static_cast<char>(bits >> 8 & 0xFF);
      ABytes += static_cast<char>(bits & 0xFF);
      bits = 0;
      count = 0;
    }
  }
  if (count == 1 || padding > 2) return false;
  if (count == 2) ABytes += static_cast<char>(bits >> 4);
  if (count == 3) {
    ABytes += static_cast<char>(bits >> 10);
    ABytes += static_cast<char>(bits >> 2 & 0xFF);
  }
  return true;
}
