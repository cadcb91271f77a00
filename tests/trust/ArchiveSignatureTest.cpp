// The signature file's form: what sign-archive.sh writes reads back field by field, and every
// field out of its form is refused with the line it is on.
#include <gtest/gtest.h>

#include "trust/ArchiveSignature.h"
#include "trust/TrustError.h"
#include "trust/TrustTestSupport.h"

namespace {

using namespace trusttest;

// The text with the first occurrence of AFrom replaced by ATo.
std::string Replaced(std::string AText, const std::string& AFrom, const std::string& ATo) {
  const size_t at = AText.find(AFrom);
  EXPECT_NE(at, std::string::npos) << AFrom;
  return at == std::string::npos ? AText : AText.replace(at, AFrom.size(), ATo);
}

// The value of a field's line in the text.
std::string ValueOf(const std::string& AText, const std::string& AField) {
  const size_t at = AText.find("\n" + AField + ": ") + AField.size() + 3;
  return AText.substr(at, AText.find('\n', at) - at);
}

TEST(ArchiveSignature, ReadsTheFileTheToolWritesAndWritesItBackTheSame) {
  const std::string text = Signature("new");
  const TArchiveSignature signature = ParseArchiveSignature(text);
  EXPECT_EQ(signature.Name, "Archive_x64-stable.zip");
  EXPECT_EQ(signature.Size, static_cast<int64_t>(Archive().size()));
  EXPECT_EQ(signature.Text(), text);
  // The statement is the file less its signature line.
  EXPECT_EQ(signature.Statement(), text.substr(0, text.find("\nsignature: ") + 1));
}

TEST(ArchiveSignature, EveryFieldOutOfItsFormIsRefused) {
  const std::string good = Signature("new");
  const std::string sha = ValueOf(good, "sha256");
  const std::string key = ValueOf(good, "key");
  const std::string rs = ValueOf(good, "signature");
  auto line = [](const char* AField) { return std::string("its \"") + AField + "\" line"; };
  struct Case {
    const char* name;
    std::string text;
    std::string reason;
  } cases[] = {
      {"another version", Replaced(good, "signature: 1\n", "signature: 2\n"),
       line("plenwick-archive-signature")},
      {"no version line", good.substr(good.find('\n') + 1), line("plenwick-archive-signature")},
      {"an empty file", "", line("plenwick-archive-signature")},
      {"a field without its blank", Replaced(good, "name: ", "name:"), line("name")},
      {"an empty name", Replaced(good, "name: Archive_x64-stable.zip", "name: "), line("name")},
      {"a control character in the name",
       Replaced(good, "name: Archive_x64", std::string("name: Archive\x01_x64")), line("name")},
      {"a name that is no UTF-8", Replaced(good, "name: Archive", "name: Arch\xC3ive"),
       line("name")},
      {"fields out of order", Replaced(Replaced(good, "name: ", "sizX: "), "size: ", "name: "),
       line("name")},
      {"a negative size", Replaced(good, "size: ", "size: -"), line("size")},
      {"a size with a leading zero", Replaced(good, "size: ", "size: 0"), line("size")},
      {"a size beyond 63 bits",
       Replaced(good, "size: " + ValueOf(good, "size"), "size: 9223372036854775808"), line("size")},
      {"a size with a space", Replaced(good, "size: ", "size:  "), line("size")},
      {"a hash in upper case", Replaced(good, sha.substr(0, 8), "ABCDEF01"), line("sha256")},
      {"a hash one digit short", Replaced(good, sha, sha.substr(1)), line("sha256")},
      {"a hash one digit long", Replaced(good, sha, sha + "0"), line("sha256")},
      {"a key that is no hex", Replaced(good, key, "g" + key.substr(1)), line("key")},
      {"a key named otherwise", Replaced(good, "key: ", "keyid: "), line("key")},
      {"a signature one byte short", Replaced(good, rs, rs.substr(2)), line("signature")},
      {"no signature line", good.substr(0, good.find("signature: " + rs)), line("signature")},
      {"Windows line ends", Replaced(good, "\n", "\r\n"), "its line ends"},
      {"no line feed after the last line", good.substr(0, good.size() - 1), "its line ends"},
      {"a line after the last", good + "comment: made by hand\n", "text after its last line"},
      {"an empty line after the last", good + "\n", "text after its last line"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TrustFailure([&] { ParseArchiveSignature(c.text); }),
              "The signature of the setup archive is malformed (" + c.reason +
                  "); nothing was installed.")
        << c.name;
}

}  // namespace
