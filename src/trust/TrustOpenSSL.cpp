// SHA-256 and ECDSA P-256 of the native build: OpenSSL's EVP interface.

#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "trust/EcdsaP256.h"
#include "trust/Sha256.h"

namespace {

struct TDigestFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct TKeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct TKeyContextFree {
  void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
};
struct TSignatureFree {
  void operator()(ECDSA_SIG* s) const { ECDSA_SIG_free(s); }
};
struct TNumberFree {
  void operator()(BIGNUM* n) const { BN_free(n); }
};

class TSha256OpenSSL final : public TSha256 {
 public:
  TSha256OpenSSL() : FContext(EVP_MD_CTX_new()) {
    if (!FContext || EVP_DigestInit_ex(FContext.get(), EVP_sha256(), nullptr) != 1)
      throw std::bad_alloc();
  }
  void Update(const uint8_t* AData, size_t ALength) override {
    if (ALength > 0) EVP_DigestUpdate(FContext.get(), AData, ALength);
  }
  TSha256Digest Final() override {
    TSha256Digest digest{};
    unsigned int n = 0;
    EVP_DigestFinal_ex(FContext.get(), digest.data(), &n);
    return digest;
  }

 private:
  std::unique_ptr<EVP_MD_CTX, TDigestFree> FContext;
};

std::unique_ptr<EVP_PKEY, TKeyFree> PublicKey(const TP256Point& APoint) {
  uint8_t encoded[65];
  encoded[0] = 0x04;  // an uncompressed point
  std::copy(APoint.X.begin(), APoint.X.end(), encoded + 1);
  std::copy(APoint.Y.begin(), APoint.Y.end(), encoded + 33);
  char group[] = "prime256v1";
  const OSSL_PARAM parameters[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
      OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, encoded, sizeof encoded),
      OSSL_PARAM_construct_end()};
  std::unique_ptr<EVP_PKEY_CTX, TKeyContextFree> context(
      EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* key = nullptr;
  if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY,
                        const_cast<OSSL_PARAM*>(parameters)) != 1)
    return nullptr;
  return std::unique_ptr<EVP_PKEY, TKeyFree>(key);
}

// r || s as the DER sequence OpenSSL verifies.
std::vector<uint8_t> DerSignature(const TEcdsaP256Signature& ASignature) {
  std::unique_ptr<BIGNUM, TNumberFree> r(BN_bin2bn(ASignature.data(), 32, nullptr));
  std::unique_ptr<BIGNUM, TNumberFree> s(BN_bin2bn(ASignature.data() + 32, 32, nullptr));
  std::unique_ptr<ECDSA_SIG, TSignatureFree> signature(ECDSA_SIG_new());
  if (!r || !s || !signature || ECDSA_SIG_set0(signature.get(), r.get(), s.get()) != 1) return {};
  // Owned by the signature now.
  r.release();
  s.release();
  const int length = i2d_ECDSA_SIG(signature.get(), nullptr);
  if (length <= 0) return {};
  std::vector<uint8_t> der(static_cast<size_t>(length));
  uint8_t* out = der.data();
  i2d_ECDSA_SIG(signature.get(), &out);
  return der;
}

}  // namespace

std::unique_ptr<TSha256> CreateSha256() {
  return std::make_unique<TSha256OpenSSL>();
}

bool VerifyEcdsaP256(const TP256Point& AKey, const TSha256Digest& ADigest,
                     const TEcdsaP256Signature& ASignature) {
  if (!IsOnP256Curve(AKey)) return false;
  const auto key = PublicKey(AKey);
  const std::vector<uint8_t> der = DerSignature(ASignature);
  if (!key || der.empty()) return false;
  std::unique_ptr<EVP_PKEY_CTX, TKeyContextFree> context(EVP_PKEY_CTX_new(key.get(), nullptr));
  return context && EVP_PKEY_verify_init(context.get()) == 1 &&
         EVP_PKEY_verify(context.get(), der.data(), der.size(), ADigest.data(), ADigest.size()) ==
             1;
}
