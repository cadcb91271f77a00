// The archive's signature (TArchiveSignatures) with the real client against a scripted server, on
// both targets (CNG under Wine, OpenSSL natively): the size probe, the signature fetched from
// beside the archive where the probe ended, and the archive checked once downloaded, as the
// sequence takes them. A refusal of the signature comes before the archive is fetched at all.
#include <gtest/gtest.h>

#include "app/ArchiveSignatures.h"
#include "app/SetupErrors.h"
#include "app/SignatureCases.h"
#include "base/FileSystem.h"
#include "base/MemoryStream.h"
#include "base/TemporaryFileStream.h"
#include "download/EndlessPage.h"
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
    client.Get(url, archive, "PK");
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

// The signature lies beside the archive's path; a signed address (a CDN's token) keeps its query.
TEST(ArchiveSignatures, TheSignaturesAddressIsTheArchivesPathWithSig) {
  const std::pair<std::string, std::string> cases[] = {
      {"http://dist.example/periodic/Archive_x64-stable.zip",
       "http://dist.example/periodic/Archive_x64-stable.zip.sig"},
      {"https://cdn.example/a/Archive_x64-stable.zip?token=abc",
       "https://cdn.example/a/Archive_x64-stable.zip.sig?token=abc"},
      {"https://cdn.example/Archive_x64-stable.zip?Expires=1&Signature=x%3F&Key-Pair-Id=k",
       "https://cdn.example/Archive_x64-stable.zip.sig?Expires=1&Signature=x%3F&Key-Pair-Id=k"},
      {"https://cdn.example/Archive_x64-stable.zip?",
       "https://cdn.example/Archive_x64-stable.zip.sig?"},
      {"https://cdn.example/Archive_x64-stable.zip#part",
       "https://cdn.example/Archive_x64-stable.zip.sig#part"},
      {"https://cdn.example/Archive_x64-stable.zip?a=b#c?d",
       "https://cdn.example/Archive_x64-stable.zip.sig?a=b#c?d"},
  };
  for (const auto& [archive, signature] : cases)
    EXPECT_EQ(TArchiveSignatures::SignatureURL(archive), signature) << archive;
}

// A probe that ends at a signed address: the signature is asked for with the same query, and
// accepted.
TEST(ArchiveSignatures, ASignedAddressKeepsItsQueryForTheSignature) {
  const std::string query = "?token=abc";
  TServedFiles served;
  served.Files[kArchivePath + query] = served.Files[kArchivePath];
  served.Files[kSignaturePath + query] = served.Files[kSignaturePath];
  served.Files[kArchivePath] = {"302 Found", "Location: " + kArchivePath + query + "\r\n", ""};
  served.Files.erase(kSignaturePath);
  TLoopbackServer server(served.Script());
  THTTPDownloadClient client;
  TArchiveSignatures signatures(trusttest::Fixture("keys-new.pem"));
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + kArchivePath;
  client.Head(url);
  ASSERT_EQ(client.ResponseURL(), url + query);
  EXPECT_EQ(trusttest::TrustFailure([&] {
              signatures.Fetch(client, client.ResponseURL(), trusttest::kArchiveName,
                               client.ResponseContentLength());
            }),
            "");
  EXPECT_NE(signatures.Accepted(url + query), nullptr);
  EXPECT_EQ(served.Requests(),
            (std::vector<std::string>{"HEAD " + kArchivePath, "HEAD " + kArchivePath + query,
                                      "GET " + kSignaturePath + query}));
}

// A sign-in page in the signature's place that claims 4 GB: refused as a web page after its
// first bytes, not read (nor held) whole before the signature's bound is even looked at.
TEST(ArchiveSignatures, AWebPageOf4GBInsteadOfTheSignatureIsRefusedByItsFirstBytes) {
  TEndlessPage page;
  page.Head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 4000000000\r\n\r\n";
  const std::string archiveHead =
      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(trusttest::Archive().size()) +
      "\r\n\r\n";
  TLoopbackServer server(page.Script(archiveHead));
  THTTPDownloadClient client;
  int64_t mostHeld = 0;
  client.OnWork = [&](int64_t count) { mostHeld = std::max(mostHeld, count); };
  TArchiveSignatures signatures(trusttest::Fixture("keys-new.pem"));
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + kArchivePath;
  client.Head(url);
  try {
    signatures.Fetch(client, client.ResponseURL(), trusttest::kArchiveName,
                     client.ResponseContentLength());
    ADD_FAILURE() << "the page was accepted";
  } catch (const EWebPageInstead& e) {
    EXPECT_EQ(e.Message(),
              "The network returned a web page instead of the setup archive. You may need to "
              "sign in to the network first.");
  }
  EXPECT_LE(mostHeld, 64 * 1024);
  // The server got out what the sockets' buffers took, far from the whole.
  EXPECT_LT(page.Sent->load(), int64_t{64} << 20);
}

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
