// The archive's signature (TArchiveSignatures) with the real client against a scripted server, on
// both targets (CNG under Wine, OpenSSL natively): the size probe, the signature fetched from
// beside the archive where the probe ended, and the archive checked once downloaded, as the
// sequence takes them. A refusal of the signature comes before the archive is fetched at all.
#include <gtest/gtest.h>

#include "app/ArchiveSignatures.h"
#include "app/SignatureCases.h"
#include "base/FileSystem.h"
#include "base/MemoryStream.h"
#include "base/TemporaryFileStream.h"
#include "download/HTTPDownloadClient.h"
#include "trust/TrustError.h"

namespace {

using namespace signaturecases;

class ArchiveSignatures : public ::testing::TestWithParam<TCase> {
 protected:
  // The case's steps, the archive downloaded into the stream.
  void Run(TStream& archive);
};

void ArchiveSignatures::Run(TStream& archive) {
  const TCase& c = GetParam();
  TServedFiles served;
  c.Serve(served);
  TLoopbackServer server(served.Script());
  THTTPDownloadClient client;
  // A signature's request that fails in a way worth another attempt is made again, soon here.
  client.Retry.Waits = {10};
  TArchiveSignatures signatures(trusttest::Fixture(c.Keys));
  ASSERT_TRUE(signatures.Enabled());

  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + kArchivePath;
  const std::string failure = trusttest::TrustFailure([&] {
    client.Head(url);
    signatures.Fetch(client, client.ResponseURL(), trusttest::kArchiveName,
                     client.ResponseContentLength());
    client.Get(url, archive);
    signatures.Check(url, archive);
  });
  EXPECT_EQ(failure, c.Failure);
  const std::vector<std::string> requests = served.Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0], "HEAD " + kArchivePath);
  EXPECT_EQ(requests[1], "GET " + kSignaturePath);
  EXPECT_EQ(requests.back() == "GET " + kArchivePath, c.ArchiveFetched);
}

TEST_P(ArchiveSignatures, FetchesChecksAndRefusesAsTheCaseSays) {
  TMemoryStream archive;
  Run(archive);
}

INSTANTIATE_TEST_SUITE_P(Cases, ArchiveSignatures, ::testing::ValuesIn(Cases()), CaseName);

// An archive past the memory limit is downloaded into a temporary file: the check reads it from
// there as it reads memory, for every case that gets as far as the archive.
class ArchiveSignaturesThroughATemporaryFile : public ArchiveSignatures {};

TEST_P(ArchiveSignaturesThroughATemporaryFile, ChecksTheArchiveFromTheFile) {
  TTemporaryFileStream archive(GetTempFolder());
  Run(archive);
}

INSTANTIATE_TEST_SUITE_P(Cases, ArchiveSignaturesThroughATemporaryFile,
                         ::testing::ValuesIn(ArchiveFetchedCases()), CaseName);

TEST(ArchiveSignatures, WithoutKeysNothingIsFetched) {
  EXPECT_FALSE(TArchiveSignatures("").Enabled());
  EXPECT_FALSE(TArchiveSignatures("\n \n").Enabled());
}

TEST(ArchiveSignatures, KeysThatCannotBeReadRefuseEveryArchiveBeforeAnythingIsFetched) {
  TServedFiles served;
  TLoopbackServer server(served.Script());
  THTTPDownloadClient client;
  TArchiveSignatures signatures("-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n");
  ASSERT_TRUE(signatures.Enabled());
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + kArchivePath;
  EXPECT_EQ(
      trusttest::TrustFailure([&] { signatures.Fetch(client, url, trusttest::kArchiveName, 1); }),
      "The archive keys built into this program are malformed (key 1 is no uncompressed "
      "ECDSA P-256 key); nothing was installed.");
  EXPECT_TRUE(served.Requests().empty());
}

}  // namespace
