#include "http/IdAuthentication.h"

#include <mutex>
#include <utility>
#include <vector>

#include "base/StrUtils.h"

TIdAuthentication::TIdAuthentication() {
  Params.NameValueSeparator = "=";
}

void TIdAuthentication::SetRequest(std::string_view, std::string_view) {}

std::string TIdBasicAuthentication::Authentication() {
  return "Basic " + Base64Encode(Username() + ":" + Password());
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
  std::vector<std::pair<std::string, TIdAuthenticationClass>> Entries{
      {"Basic", &Make<TIdBasicAuthentication>}};
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
