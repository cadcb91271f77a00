// The installer's publisher as Windows reads it (WinVerifyTrust and the signer's chain), on
// programs signed by signed_programs.py: an authority trusted for the run, one nobody trusts,
// and a signature broken after signing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "trust/PublisherCheck.h"
#include "trust/TrustError.h"
#include "trust/TrustTestSupport.h"

namespace {

using namespace trusttest;

std::string Program(const char* AName) {
  const char* folder = std::getenv("PLENWICK_SIGNED_PROGRAMS");
  return std::string(folder ? folder : "") + "\\" + AName;
}

std::optional<TPublisher> SignerOf(const char* AName) {
  TFileStream file(Program(AName), TFileStream::TMode::fmOpenRead);
  return CreateSignerReader()->TrustedSigner(file);
}

TEST(PublisherSignature, TheSignerOfAnIntactSignatureFromATrustedRoot) {
  ASSERT_NE(std::getenv("PLENWICK_SIGNED_PROGRAMS"), nullptr) << "run by signed_programs.py";
  const std::optional<TPublisher> own = SignerOf("own.exe");
  ASSERT_TRUE(own.has_value());
  EXPECT_EQ(own->Organisation, "Plenwick Software");
  EXPECT_EQ(own->CommonName, "Plenwick Software");
  const std::optional<TPublisher> other = SignerOf("other-name.exe");
  ASSERT_TRUE(other.has_value());
  EXPECT_EQ(other->CommonName, "Plenwick Updates");
}

TEST(PublisherSignature, NoSignerForAnUnsignedABrokenOrAnUntrustedSignature) {
  for (const char* name : {"unsigned.exe", "changed.exe", "untrusted.exe"})
    EXPECT_FALSE(SignerOf(name).has_value()) << name;
}

TEST(PublisherSignature, TheSignedProgramStartsOnlyItsOwnPublishersInstaller) {
  struct Case {
    const char* installer;
    bool accepted;
  } cases[] = {
      {"same.exe", true},        {"unsigned.exe", false}, {"other.exe", false},
      {"other-name.exe", false}, {"changed.exe", false},  {"untrusted.exe", false},
  };
  TPublisherCheck check(Program("own.exe"));
  for (const Case& c : cases) {
    std::unique_ptr<TFileStream> held;
    EXPECT_EQ(TrustFailure([&] { held = check.Check(Program(c.installer)); }),
              c.accepted ? "" : "The installer is not signed by the publisher of this program.")
        << c.installer;
    EXPECT_EQ(held != nullptr, c.accepted) << c.installer;
  }
}

TEST(PublisherSignature, AnUnsignedProgramStartsAnyInstaller) {
  TPublisherCheck check(Program("unsigned.exe"));
  for (const char* name : {"same.exe", "other.exe", "changed.exe", "unsigned.exe"})
    EXPECT_NE(check.Check(Program(name)), nullptr) << name;
}

}  // namespace
