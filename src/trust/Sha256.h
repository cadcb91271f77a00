#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

class TStream;

using TSha256Digest = std::array<uint8_t, 32>;

// SHA-256 through the platform's library (CNG on Windows, OpenSSL natively), fed in pieces.
class TSha256 {
 public:
  virtual ~TSha256() = default;

  virtual void Update(const uint8_t* AData, size_t ALength) = 0;
  // The digest of everything fed; the object is used up.
  virtual TSha256Digest Final() = 0;
};

std::unique_ptr<TSha256> CreateSha256();

// The digest of ALength bytes.
TSha256Digest Sha256Of(const uint8_t* AData, size_t ALength);
// The digest of the whole stream, read through its interface from its start to its end in blocks
// (a memory stream or a file alike); the position is left at the end.
TSha256Digest Sha256Of(TStream& AStream);
