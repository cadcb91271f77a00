#pragma once

// The trust tests' fixtures (tests/trust/fixtures, made by make_fixtures.sh): throwaway keys, a
// small archive and its signature files, read the same way on both targets.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trust/ArchiveKeys.h"
#include "zip/ZipTestSupport.h"

namespace trusttest {

inline std::string FixturePath(const std::string& AName) {
  return ziptest::ProgramFormOf(PLENWICK_TRUST_FIXTURES) + "\\" + AName;
}

inline std::string Fixture(const std::string& AName) {
  const std::optional<std::string> data = ziptest::ReadFile(FixturePath(AName));
  EXPECT_TRUE(data.has_value()) << AName;
  return data.value_or("");
}

inline std::vector<TArchiveKey> Keys(const std::string& AFixture) {
  return ParseArchiveKeys(Fixture(AFixture));
}

// The name and the archive the signature fixtures are for.
inline const std::string kArchiveName = "Archive_x64-stable.zip";
inline std::string Archive() {
  return Fixture(kArchiveName);
}
// The signature file "Archive_x64-stable.zip.sig.<variant>" (new, old, other-key, nightly,
// other-size).
inline std::string Signature(const std::string& AVariant) {
  return Fixture(kArchiveName + ".sig." + AVariant);
}

// The message of the ETrustError the call raises; empty when it raises none.
template <typename F>
std::string TrustFailure(F&& ACall) {
  try {
    ACall();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

}  // namespace trusttest
