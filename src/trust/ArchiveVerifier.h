#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "trust/ArchiveKeys.h"
#include "trust/ArchiveSignature.h"

class TStream;

// The check of setup archives against the vendor's keys: a signature by any one of them is
// accepted (listing the old and the new key is how the vendor rotates). Without keys nothing is
// checked.
class TArchiveVerifier {
 public:
  explicit TArchiveVerifier(std::vector<TArchiveKey> AKeys) : FKeys(std::move(AKeys)) {}

  bool Enabled() const { return !FKeys.empty(); }

  // Reads the signature file of the archive named AName, whose size probe announced ALength
  // bytes, before the archive is fetched: its form, the name and size it is for, its key and
  // its signature over the statement. Raises ETrustError saying which does not hold.
  TArchiveSignature Accept(std::string_view AText, const std::string& AName, int64_t ALength) const;
  // Checks the downloaded archive, the whole stream, against the accepted signature: its size
  // and SHA-256. Raises ETrustError "The setup archive does not match its signature; ...".
  void Check(const TArchiveSignature& ASignature, TStream& AArchive) const;

 private:
  std::vector<TArchiveKey> FKeys;
};
