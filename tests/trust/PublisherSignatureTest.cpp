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

TSigner SignerOf(const char* AName) {
  TFileStream file(Program(AName), TFileStream::TMode::fmOpenRead);
  return CreateSignerReader()->Signer(file);
}

TEST(PublisherSignature, TheSignerOfAnIntactSignatureFromATrustedRoot) {
  ASSERT_NE(std::getenv("PLENWICK_SIGNED_PROGRAMS"), nullptr) << "run by signed_programs.py";
  const TSigner own = SignerOf("own.exe");
  ASSERT_EQ(own.Kind, TSigner::TKind::skSigned);
  EXPECT_EQ(own.Publisher.Organisation, "Plenwick Software");
  EXPECT_EQ(own.Publisher.CommonName, "Plenwick Software");
  const TSigner other = SignerOf("other-name.exe");
  ASSERT_EQ(other.Kind, TSigner::TKind::skSigned);
  EXPECT_EQ(other.Publisher.CommonName, "Plenwick Updates");
}

// Only a program without a signature is unsigned; a signature that does not verify leaves it
// open whether the file is signed, with the system's code.
TEST(PublisherSignature, UnsignedOnlyWithoutASignature) {
  struct Case {
    const char* name;
    TSigner::TKind kind;
  } cases[] = {
      {"unsigned.exe", TSigner::TKind::skUnsigned},
      {"changed.exe", TSigner::TKind::skUnknown},
      {"untrusted.exe", TSigner::TKind::skUnknown},
      {"expired.exe", TSigner::TKind::skUnknown},
  };
  for (const Case& c : cases) {
    const TSigner signer = SignerOf(c.name);
    EXPECT_EQ(signer.Kind, c.kind) << c.name << ": " << signer.Problem;
    EXPECT_EQ(signer.Problem.empty(), c.kind != TSigner::TKind::skUnknown) << c.name;
  }
}

TEST(PublisherSignature, TheSignedProgramStartsOnlyItsOwnPublishersInstaller) {
  struct Case {
    const char* installer;
    bool accepted;
  } cases[] = {
      {"same.exe", true},        {"unsigned.exe", false}, {"other.exe", false},
      {"other-name.exe", false}, {"changed.exe", false},  {"untrusted.exe", false},
      {"expired.exe", false},
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

// A program whose own signature does not verify cannot tell which publisher to require: it
// starts not even its own publisher's installer, and says why.
TEST(PublisherSignature, AProgramThatCannotVerifyItsOwnSignatureStartsNothing) {
  for (const char* own : {"changed.exe", "untrusted.exe", "expired.exe"}) {
    TPublisherCheck check(Program(own));
    EXPECT_EQ(check.OwnSignature(), TPublisherCheck::TOwnSignature::osUnknown) << own;
    const std::string refusal = TrustFailure([&] { check.Check(Program("same.exe")); });
    EXPECT_EQ(refusal.rfind(
                  "This program cannot verify its own signature (" + check.OwnProblem() + ")", 0),
              0u)
        << own << ": " << refusal;
  }
}

}  // namespace
