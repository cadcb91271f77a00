// A network's sign-in page where the archive or its signature was expected.

#include "app/SignatureCases.h"
#include "app/sequence/DownloadSequence.h"

// A network that answers every request with its sign-in page (a public network's portal, a
// proxy's notice): the user reads that, may try again once signed in, and nothing is written,
// whether the page takes the signature's place or the archive's, and whatever its size or type.
struct PortalCase {
  const char* name;
  bool signedArchives;
  size_t pageSize;
  const char* type;
};

class CaptivePortals : public DownloadSequence, public ::testing::WithParamInterface<PortalCase> {};

TEST_P(CaptivePortals, AreToldAsAWebPage) {
  const PortalCase& c = GetParam();
  std::string page = "<!DOCTYPE html>\n<html><head><title>Welcome</title></head><body>";
  page += std::string(c.pageSize - page.size(), '.');
  signaturecases::TServedFiles served;
  for (const std::string& path : {signaturecases::kArchivePath, signaturecases::kSignaturePath})
    served.Files[path] = {"200 OK", std::string("Content-Type: ") + c.type + "\r\n", page};
  if (c.signedArchives) {
    plugIn = [](TMain& main) {
      main.ArchiveSignatures =
          std::make_unique<TArchiveSignatures>(trusttest::Fixture("keys-new.pem"));
    };
  }
  Run(served.Script());
  const auto& dialogs = headless::ShownErrorDialogs(app);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].Text,
            "The network returned a web page instead of the setup archive. You may need to sign "
            "in to the network first.");
  EXPECT_EQ(dialogs[0].RetryLabel, "Try again");
  EXPECT_EQ(ExitCodeFor(Main->Outcome), ExitCodes::DownloadFailed);
  EXPECT_EQ(platform->Launched, "");
  EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::current_path()));
}

const PortalCase kPortals[] = {
    {"InsteadOfTheSignature", true, 1500, "text/html; charset=UTF-8"},
    {"LargerThanAnySignature", true, 20000, "text/html"},
    {"InsteadOfTheArchive", false, 20000, "text/html"},
    {"SentAsAFile", false, 3000, "application/octet-stream"},
    {"SentAsAFileInsteadOfTheSignature", true, 3000, "application/octet-stream"},
};

INSTANTIATE_TEST_SUITE_P(Rows, CaptivePortals, ::testing::ValuesIn(kPortals),
                         [](const auto& info) { return std::string(info.param.name); });
