// The vendor's keys as the program reads them from the PEM text built into it.
#include <gtest/gtest.h>

#include "trust/TrustError.h"
#include "trust/TrustTestSupport.h"

namespace {

using namespace trusttest;

std::string Hex(const TSha256Digest& ADigest) {
  static const char* kDigits = "0123456789abcdef";
  std::string text;
  for (uint8_t b : ADigest) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

// The "key:" line of a signature fixture: the identifier sign-archive.sh gave the key.
std::string KeyLineOf(const std::string& AVariant) {
  const std::string text = Signature(AVariant);
  const size_t at = text.find("\nkey: ") + 6;
  return text.substr(at, 64);
}

TEST(ArchiveKeys, ReadsEveryKeyWithTheIdentifierSignaturesName) {
  // Notes between the blocks are passed over.
  const std::vector<TArchiveKey> keys = Keys("keys-old-new.pem");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(Hex(keys[0].Id), KeyLineOf("old"));
  EXPECT_EQ(Hex(keys[1].Id), KeyLineOf("new"));
  EXPECT_TRUE(IsOnP256Curve(keys[1].Point));
}

TEST(ArchiveKeys, NoTextGivesNoKeys) {
  EXPECT_TRUE(ParseArchiveKeys("").empty());
  EXPECT_TRUE(ParseArchiveKeys("# no keys yet\n").empty());
}

TEST(ArchiveKeys, AnythingButUncompressedP256KeysOnTheCurveIsRefused) {
  const std::string good = Fixture("public-new.pem");
  const std::string body =
      good.substr(good.find('\n') + 1, good.find("-----END") - good.find('\n') - 1);
  struct Case {
    const char* name;
    std::string pem;
    const char* reason;
  } cases[] = {
      {"an RSA key", Fixture("public-rsa.pem"), "key 1 is no uncompressed ECDSA P-256 key"},
      {"a compressed point", Fixture("public-compressed.pem"),
       "key 1 is no uncompressed ECDSA P-256 key"},
      {"a point off the curve", Fixture("public-off-curve.pem"), "key 1 is not on the P-256 curve"},
      {"a private key", Fixture("key-new.pem"), "block 1 is no public key"},
      {"a private key after a good one", good + Fixture("key-old.pem"), "block 2 is no public key"},
      {"no end line", good.substr(0, good.find("-----END")), "key 1 has no end line"},
      {"a character outside Base64",
       "-----BEGIN PUBLIC KEY-----\n" + body.substr(0, 10) + "*" + body.substr(11) +
           "-----END PUBLIC KEY-----\n",
       "key 1 is not Base64"},
      {"a cut body",
       "-----BEGIN PUBLIC KEY-----\n" + body.substr(0, 60) + "\n-----END PUBLIC KEY-----\n",
       "key 1 is no uncompressed ECDSA P-256 key"},
      {"data after the padding", "-----BEGIN PUBLIC KEY-----\nAA==AAAA\n-----END PUBLIC KEY-----\n",
       "key 1 is not Base64"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TrustFailure([&] { ParseArchiveKeys(c.pem); }),
              std::string("The archive keys built into this program are malformed (") + c.reason +
                  "); nothing was installed.")
        << c.name;
}

}  // namespace
