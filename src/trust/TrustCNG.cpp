// SHA-256 and ECDSA P-256 of the Windows program: the platform's CNG (bcrypt.dll, loaded at run
// time from the system folder).

#include <algorithm>
#include <cstring>

#include "base/Format.h"
#include "base/Texts.h"
#include "base/Utf.h"
#include "trust/BCryptLibrary.h"
#include "trust/EcdsaP256.h"
#include "trust/Sha256.h"
#include "trust/TrustError.h"

namespace {

using namespace BCryptLibrary;

[[noreturn]] void Unavailable() {
  throw ETrustError(Format(RSTrustLibraryLoadError, FromWide(BCRYPT_DLL).c_str()));
}

class TSha256CNG final : public TSha256 {
 public:
  TSha256CNG() : FAlgorithm(OpenAlgorithm(BCRYPT_SHA256_ALGORITHM)) {
    // The hash object's memory is the library's own (Windows 7 and later).
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!FAlgorithm ||
        !BCRYPT_SUCCESS(Functions().CreateHash(FAlgorithm.get(), &hash, nullptr, 0, nullptr, 0, 0)))
      Unavailable();
    FHash.reset(hash);
  }
  void Update(const uint8_t* AData, size_t ALength) override {
    // Pieces of at most 1 GiB: the library counts in 32 bits.
    while (ALength > 0) {
      const ULONG n = static_cast<ULONG>(std::min<size_t>(ALength, size_t{1} << 30));
      if (!BCRYPT_SUCCESS(Functions().HashData(FHash.get(), const_cast<PUCHAR>(AData), n, 0)))
        Unavailable();
      AData += n;
      ALength -= n;
    }
  }
  TSha256Digest Final() override {
    TSha256Digest digest{};
    if (!BCRYPT_SUCCESS(Functions().FinishHash(FHash.get(), digest.data(), digest.size(), 0)))
      Unavailable();
    return digest;
  }

 private:
  // Declared first: the hash goes before its algorithm.
  TAlgorithm FAlgorithm;
  THash FHash;
};

}  // namespace

std::unique_ptr<TSha256> CreateSha256() {
  return std::make_unique<TSha256CNG>();
}

bool VerifyEcdsaP256(const TP256Point& AKey, const TSha256Digest& ADigest,
                     const TEcdsaP256Signature& ASignature) {
  // CNG imports a point off the curve without complaint.
  if (!IsOnP256Curve(AKey)) return false;
  const TAlgorithm algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!algorithm) Unavailable();
  // The public key blob: its header, then X and Y.
  uint8_t blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob, &header, sizeof header);
  std::copy(AKey.X.begin(), AKey.X.end(), blob + sizeof header);
  std::copy(AKey.Y.begin(), AKey.Y.end(), blob + sizeof header + 32);
  BCRYPT_KEY_HANDLE imported = nullptr;
  if (!BCRYPT_SUCCESS(Functions().ImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB,
                                                &imported, blob, sizeof blob, 0)))
    return false;
  const TKey key(imported);
  // Any answer but success (STATUS_INVALID_SIGNATURE, a parameter the library rejects) refuses.
  return BCRYPT_SUCCESS(Functions().VerifySignature(
      key.get(), nullptr, const_cast<PUCHAR>(ADigest.data()), static_cast<ULONG>(ADigest.size()),
      const_cast<PUCHAR>(ASignature.data()), static_cast<ULONG>(ASignature.size()), 0));
}
