// The archive check against the vendor's keys, with signatures made by sign-archive.sh: what is
// refused before the archive is fetched (the signature file), and after (the archive itself).
#include <gtest/gtest.h>

#include "base/MemoryStream.h"
#include "trust/ArchiveVerifier.h"
#include "trust/TrustError.h"
#include "trust/TrustTestSupport.h"

namespace {

using namespace trusttest;

const std::string kMismatch =
    "The setup archive does not match its signature; nothing was installed.";

int64_t ArchiveSize() {
  return static_cast<int64_t>(Archive().size());
}

TEST(ArchiveVerifier, WithoutKeysNothingIsChecked) {
  EXPECT_FALSE(TArchiveVerifier({}).Enabled());
  EXPECT_TRUE(TArchiveVerifier(Keys("keys-new.pem")).Enabled());
}

// What the keys accept: a signature by any key listed; a key taken off the list no longer.
TEST(ArchiveVerifier, RotationAcceptsEveryKeyListedAndNoOther) {
  struct Case {
    const char* keys;
    const char* signature;
    bool accepted;
  } cases[] = {
      {"keys-old-new.pem", "old", true},
      {"keys-old-new.pem", "new", true},
      {"keys-new.pem", "new", true},
      {"keys-new.pem", "old", false},
      {"keys-old-new.pem", "other-key", false},
  };
  for (const Case& c : cases) {
    const TArchiveVerifier verifier(Keys(c.keys));
    const std::string failure =
        TrustFailure([&] { verifier.Accept(Signature(c.signature), kArchiveName, ArchiveSize()); });
    EXPECT_EQ(failure, c.accepted ? ""
                                  : "The setup archive is signed with a key this program does "
                                    "not know; nothing was installed.")
        << c.keys << " " << c.signature;
  }
}

TEST(ArchiveVerifier, ASignatureForAnotherArchiveIsRefusedBeforeTheDownload) {
  const TArchiveVerifier verifier(Keys("keys-old-new.pem"));
  const std::string size = std::to_string(ArchiveSize());
  const std::string longer = std::to_string(ArchiveSize() + 1);
  struct Case {
    const char* name;
    std::string text;
    int64_t probed;
    std::string failure;
  } cases[] = {
      {"the development channel's archive served as the stable one", Signature("nightly"),
       ArchiveSize(),
       "The signature is for the setup archive \"Archive_x64-nightly.zip\", not for "
       "\"Archive_x64-stable.zip\"; nothing was installed."},
      {"a signature for another size", Signature("other-size"), ArchiveSize(),
       "The signature is for a setup archive of " + longer + " bytes, but the server offers " +
           size + " bytes; nothing was installed."},
      {"a probe that announced another size", Signature("new"), ArchiveSize() - 1,
       "The signature is for a setup archive of " + size + " bytes, but the server offers " +
           std::to_string(ArchiveSize() - 1) + " bytes; nothing was installed."},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TrustFailure([&] { verifier.Accept(c.text, kArchiveName, c.probed); }), c.failure)
        << c.name;
}

// A statement changed after signing, field by field, and a signature changed itself: the
// signature no longer holds.
TEST(ArchiveVerifier, AStatementChangedAfterSigningIsRefused) {
  const TArchiveVerifier verifier(Keys("keys-new.pem"));
  const TArchiveSignature good = ParseArchiveSignature(Signature("new"));
  std::vector<std::pair<std::string, TArchiveSignature>> cases;
  auto with = [&](const char* AName, auto AChange) {
    TArchiveSignature changed = good;
    AChange(changed);
    cases.emplace_back(AName, changed);
  };
  with("hash", [](TArchiveSignature& s) { s.Sha256[31] ^= 1; });
  with("first bit of r", [](TArchiveSignature& s) { s.Signature[0] ^= 0x80; });
  with("last bit of s", [](TArchiveSignature& s) { s.Signature[63] ^= 1; });
  with("r and s swapped", [](TArchiveSignature& s) {
    std::swap_ranges(s.Signature.begin(), s.Signature.begin() + 32, s.Signature.begin() + 32);
  });
  with("zero", [](TArchiveSignature& s) { s.Signature.fill(0); });
  for (const auto& [name, changed] : cases)
    EXPECT_EQ(TrustFailure([&] { verifier.Accept(changed.Text(), kArchiveName, ArchiveSize()); }),
              kMismatch)
        << name;
}

// The archive downloaded, checked against the accepted signature before anything is written.
TEST(ArchiveVerifier, AnArchiveChangedAnywhereOrCutShortIsRefused) {
  const TArchiveVerifier verifier(Keys("keys-new.pem"));
  const TArchiveSignature signature =
      verifier.Accept(Signature("new"), kArchiveName, ArchiveSize());
  const std::string archive = Archive();
  auto flipped = [&](size_t AAt) {
    std::string changed = archive;
    changed[AAt] = static_cast<char>(changed[AAt] ^ 0x01);
    return changed;
  };
  struct Case {
    const char* name;
    std::string bytes;
    bool accepted;
  } cases[] = {
      {"as signed", archive, true},
      {"a byte changed at the start", flipped(0), false},
      {"a byte changed in the middle", flipped(archive.size() / 2), false},
      {"a byte changed at the end", flipped(archive.size() - 1), false},
      {"cut short", archive.substr(0, archive.size() - 1000), false},
      {"one byte more", archive + "x", false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    TMemoryStream stream;
    stream.WriteBuffer(c.bytes.data(), static_cast<int64_t>(c.bytes.size()));
    // Wherever the download left the position.
    stream.SetPosition(static_cast<int64_t>(c.bytes.size()) / 3);
    EXPECT_EQ(TrustFailure([&] { verifier.Check(signature, stream); }), c.accepted ? "" : kMismatch)
        << c.name;
  }
}

TEST(ArchiveVerifier, AKeyOffTheCurveVerifiesNothing) {
  const TArchiveSignature signature = ParseArchiveSignature(Signature("new"));
  const std::string statement = signature.Statement();
  const TSha256Digest digest =
      Sha256Of(reinterpret_cast<const uint8_t*>(statement.data()), statement.size());
  TArchiveKey key = Keys("keys-new.pem")[0];
  EXPECT_TRUE(VerifyEcdsaP256(key.Point, digest, signature.Signature));
  key.Point.Y[31] ^= 1;
  EXPECT_FALSE(VerifyEcdsaP256(key.Point, digest, signature.Signature));
}

TEST(Sha256, KnownDigestsWholeOrInPiecesOrFromAStream) {
  const std::string abc = "abc";
  const TSha256Digest expected = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40,
                                  0xde, 0x5d, 0xae, 0x22, 0x23, 0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17,
                                  0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
  EXPECT_EQ(Sha256Of(reinterpret_cast<const uint8_t*>(abc.data()), abc.size()), expected);
  // A stream longer than one block of the reader, against the digest of its bytes at once.
  std::string data(700000, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7919 % 251);
  TMemoryStream stream;
  stream.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  const std::unique_ptr<TSha256> pieces = CreateSha256();
  pieces->Update(reinterpret_cast<const uint8_t*>(data.data()), 1);
  pieces->Update(reinterpret_cast<const uint8_t*>(data.data()) + 1, data.size() - 1);
  const TSha256Digest whole = Sha256Of(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  EXPECT_EQ(pieces->Final(), whole);
  EXPECT_EQ(Sha256Of(stream), whole);
}

}  // namespace
