#include "trust/ArchiveKeys.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "base/Format.h"
#include "base/Texts.h"
#include "trust/TrustError.h"

namespace {

constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
constexpr std::string_view kEnd = "-----END PUBLIC KEY-----";
// What every P-256 key's SubjectPublicKeyInfo starts with: the sequence, the algorithm
// (id-ecPublicKey, prime256v1), the bit string of 66 bytes and the uncompressed point's 0x04.
constexpr uint8_t kP256Prefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48,
                                   0xCE, 0x3D, 0x02, 0x01, 0x06, 0x08, 0x2A, 0x86, 0x48,
                                   0xCE, 0x3D, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};
constexpr size_t kSpkiSize = sizeof kP256Prefix + 64;

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Strict Base64 with line breaks between the groups: padding only at the end.
std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view AText) {
  std::string clean;
  for (char c : AText)
    if (c != '\n' && c != '\r') clean += c;
  if (clean.empty() || clean.size() % 4 != 0) return std::nullopt;
  std::vector<uint8_t> out;
  for (size_t at = 0; at < clean.size(); at += 4) {
    const bool last = at + 4 == clean.size();
    int v[4];
    int padding = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = clean[at + i];
      if (c == '=' && last && i >= 2) {
        v[i] = 0;
        ++padding;
        continue;
      }
      if (padding > 0) return std::nullopt;  // data after padding
      v[i] = Base64Value(c);
      if (v[i] < 0) return std::nullopt;
    }
    const uint32_t group = static_cast<uint32_t>(v[0] << 18 | v[1] << 12 | v[2] << 6 | v[3]);
    out.push_back(static_cast<uint8_t>(group >> 16));
    if (padding < 2) out.push_back(static_cast<uint8_t>(group >> 8));
    if (padding < 1) out.push_back(static_cast<uint8_t>(group));
  }
  return out;
}

[[noreturn]] void Malformed(const std::string& AWhat) {
  throw ETrustError(Format(RSArchiveKeysMalformed, AWhat.c_str()));
}

TArchiveKey KeyOf(const std::vector<uint8_t>& ADer, size_t ANumber) {
  if (ADer.size() != kSpkiSize ||
      !std::equal(std::begin(kP256Prefix), std::end(kP256Prefix), ADer.begin()))
    Malformed(Format(RSKeyNotP256, ANumber));
  TArchiveKey key;
  std::copy_n(ADer.begin() + sizeof kP256Prefix, 32, key.Point.X.begin());
  std::copy_n(ADer.begin() + sizeof kP256Prefix + 32, 32, key.Point.Y.begin());
  if (!IsOnP256Curve(key.Point)) Malformed(Format(RSKeyNotOnCurve, ANumber));
  key.Id = Sha256Of(ADer.data(), ADer.size());
  return key;
}

}  // namespace

std::vector<TArchiveKey> ParseArchiveKeys(std::string_view APem) {
  std::vector<TArchiveKey> keys;
  size_t at = 0;
  for (;;) {
    const size_t begin = APem.find("-----BEGIN", at);
    if (begin == std::string_view::npos) break;
    // Another kind of block (a private key, a certificate) is no key of ours.
    if (APem.compare(begin, kBegin.size(), kBegin) != 0)
      Malformed(Format(RSKeyBlockNotPublic, keys.size() + 1));
    const size_t body = begin + kBegin.size();
    const size_t end = APem.find(kEnd, body);
    if (end == std::string_view::npos) Malformed(Format(RSKeyNoEndLine, keys.size() + 1));
    const std::optional<std::vector<uint8_t>> der = DecodeBase64(APem.substr(body, end - body));
    if (!der) Malformed(Format(RSKeyNotBase64, keys.size() + 1));
    keys.push_back(KeyOf(*der, keys.size() + 1));
    at = end + kEnd.size();
  }
  return keys;
}
