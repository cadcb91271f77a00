#include "trust/ArchiveVerifier.h"

#include <algorithm>

#include "base/Format.h"
#include "base/Stream.h"
#include "base/Texts.h"
#include "trust/TrustError.h"

TArchiveSignature TArchiveVerifier::Accept(std::string_view AText, const std::string& AName,
                                           int64_t ALength) const {
  const TArchiveSignature signature = ParseArchiveSignature(AText);
  // The name first: an archive of another channel, validly signed, is still not this one.
  if (signature.Name != AName)
    throw ETrustError(Format(RSSignatureOtherName, signature.Name.c_str(), AName.c_str()));
  if (signature.Size != ALength)
    throw ETrustError(Format(RSSignatureOtherSize, static_cast<long long>(signature.Size),
                             static_cast<long long>(ALength)));
  const auto key = std::find_if(FKeys.begin(), FKeys.end(), [&](const TArchiveKey& AKey) {
    return AKey.Id == signature.KeyId;
  });
  if (key == FKeys.end()) throw ETrustError(Text(RSSignatureUnknownKey));
  const std::string statement = signature.Statement();
  const TSha256Digest digest =
      Sha256Of(reinterpret_cast<const uint8_t*>(statement.data()), statement.size());
  if (!VerifyEcdsaP256(key->Point, digest, signature.Signature))
    throw ETrustError(Text(RSArchiveMismatch));
  return signature;
}

void TArchiveVerifier::Check(const TArchiveSignature& ASignature, TStream& AArchive) const {
  if (AArchive.Size() != ASignature.Size || Sha256Of(AArchive) != ASignature.Sha256)
    throw ETrustError(Text(RSArchiveMismatch));
}
