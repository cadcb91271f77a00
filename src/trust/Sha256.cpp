#include "trust/Sha256.h"

#include <vector>

#include "base/Stream.h"

TSha256Digest Sha256Of(const uint8_t* AData, size_t ALength) {
  const std::unique_ptr<TSha256> sha = CreateSha256();
  sha->Update(AData, ALength);
  return sha->Final();
}

TSha256Digest Sha256Of(TStream& AStream) {
  // Large enough that the calls cost nothing beside the hashing, small enough to stay in the
  // processor's cache between the read and the hash.
  constexpr int64_t kBlock = 256 * 1024;
  const std::unique_ptr<TSha256> sha = CreateSha256();
  std::vector<uint8_t> block(kBlock);
  AStream.SetPosition(0);
  for (;;) {
    const int64_t n = AStream.Read(block.data(), kBlock);
    if (n <= 0) break;
    sha->Update(block.data(), static_cast<size_t>(n));
  }
  return sha->Final();
}
