// The archive URL of a program built for another scheme and server: this test program links a
// distribution object made for "https" and "mirror.example.test:8443" with two archive keys
// (see CMakeLists.txt), the way a release for an HTTPS mirror is built.

#include <gtest/gtest.h>

#include "app/ComponentWiring.h"
#include "app/DistributionHost.h"
#include "app/Main.h"
#include "http/IdURI.h"
#include "trust/TrustTestSupport.h"
#include "ui/headless/HeadlessApplication.h"

TEST(DistributionUrl, SchemeAndHostOfTheBuildMakeTheArchiveUrl) {
  const std::string url = ArchiveUrlPrefix() + "_x64-stable.zip";
  EXPECT_EQ(url, "https://mirror.example.test:8443/periodic/Archive_x64-stable.zip");
  TIdURI uri(url);
  EXPECT_EQ(uri.Protocol, "https");
  EXPECT_EQ(uri.Host, "mirror.example.test");
  EXPECT_EQ(uri.Port, "8443");
  EXPECT_EQ(uri.Path, "/periodic/");
  EXPECT_EQ(uri.Document, "Archive_x64-stable.zip");
}

TEST(DistributionUrl, TheKeysFileOfTheBuildIsBuiltInAsItStands) {
  EXPECT_EQ(std::string(ArchiveKeys()), trusttest::Fixture("keys-old-new.pem"));
  EXPECT_EQ(ParseArchiveKeys(ArchiveKeys()).size(), 2u);
  // The real components check archives against them.
  TApplication app("C:\\Downloads\\Plenwick-setup_x64-stable.exe");
  app.CreateForm(Main);
  PlugInComponents(*Main);
  ASSERT_NE(Main->ArchiveSignatures, nullptr);
  EXPECT_TRUE(Main->ArchiveSignatures->Enabled());
  EXPECT_NE(Main->PublisherCheck, nullptr);
}
