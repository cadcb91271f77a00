// The archive's signature file and the keys' PEM text on arbitrary bytes: the signature file is
// outside input (anyone on the path can serve one), read before anything else is trusted.
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "trust/ArchiveKeys.h"
#include "trust/ArchiveSignature.h"
#include "trust/TrustError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const TArchiveSignature signature = ParseArchiveSignature(text);
    // What is accepted is the canonical form: written back, it is the same text, and the
    // statement is the text less its signature line.
    FUZZ_CHECK(signature.Text() == text);
    FUZZ_CHECK(text.compare(0, signature.Statement().size(), signature.Statement()) == 0);
    FUZZ_CHECK(signature.Size >= 0);
  } catch (const ETrustError& e) {
    FUZZ_CHECK(e.Message().find("The signature of the setup archive is malformed (") == 0);
  }
  try {
    for (const TArchiveKey& key : ParseArchiveKeys(text))
      FUZZ_CHECK(IsOnP256Curve(key.Point));
  } catch (const ETrustError& e) {
    FUZZ_CHECK(e.Message().find("The archive keys built into this program are malformed (") == 0);
  }
  return 0;
}
