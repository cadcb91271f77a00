#pragma once

#include <array>
#include <cstdint>

#include "trust/P256Point.h"
#include "trust/Sha256.h"

// An ECDSA signature as r followed by s, 32 bytes each, big-endian.
using TEcdsaP256Signature = std::array<uint8_t, 64>;

// Checks an ECDSA P-256 signature over a SHA-256 digest with the platform's library (CNG on
// Windows, OpenSSL natively). The key must be a point on the curve (IsOnP256Curve); False for a
// signature that does not verify, whatever the reason.
bool VerifyEcdsaP256(const TP256Point& AKey, const TSha256Digest& ADigest,
                     const TEcdsaP256Signature& ASignature);
