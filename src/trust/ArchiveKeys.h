#pragma once

#include <string_view>
#include <vector>

#include "trust/P256Point.h"
#include "trust/Sha256.h"

// One public key the vendor signs archives with: its identifier (the SHA-256 of its DER
// SubjectPublicKeyInfo, as a signature file names it) and its point.
struct TArchiveKey {
  TSha256Digest Id{};
  TP256Point Point;
};

// The keys of a text of PEM public keys ("-----BEGIN PUBLIC KEY-----" blocks; text between the
// blocks, such as a note on when a key was made, is passed over). Each must be an ECDSA P-256
// key, uncompressed, on the curve. Raises ETrustError naming the first fault; an empty text gives
// no keys.
std::vector<TArchiveKey> ParseArchiveKeys(std::string_view APem);
