// Signed archives through the whole sequence: resumed, held in memory or a temporary file,
// refused as each case says; an installer from another publisher.

#include "app/SignatureCases.h"
#include "app/sequence/DownloadSequence.h"

namespace {

// A signed archive whose download breaks, held in memory or in a temporary file: each retry
// continues into the same stream, or (a server that ignores the range) throws the bytes held
// away and takes the whole from 0; the signature's request is retried like any other. The
// archive's check then covers exactly the bytes of the final copy, and the bar went back only
// when bytes were thrown away.
struct SignedResumeCase {
  const char* name;
  bool fileBacked;
  std::vector<TConnectionPlan> plans;
  std::vector<std::string> requests;
  bool restarted;
};

void PrintTo(const SignedResumeCase& c, std::ostream* os) {
  *os << c.name;
}

TConnectionPlan Busy() {
  TConnectionPlan plan;
  plan.Answer =
      "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 0\r\nContent-Length: 4\r\n\r\nbusy";
  return plan;
}

const std::string kSigned = "GET " + signaturecases::kSignaturePath;

std::vector<SignedResumeCase> SignedResumeCases() {
  std::vector<SignedResumeCase> cases;
  for (const bool file : {false, true}) {
    cases.push_back({file ? "ContinuedInATemporaryFile" : "ContinuedInMemory",
                     file,
                     {Busy(), CutAfter(15000), CutAfter(15000), {}},
                     {"HEAD", kSigned, kSigned, "GET", "GET bytes=15000- If-Range=\"s1\"",
                      "GET bytes=30000- If-Range=\"s1\""},
                     false});
    cases.push_back({file ? "RestartedInATemporaryFile" : "RestartedInMemory",
                     file,
                     {CutAfter(30000), RangeIgnored()},
                     {"HEAD", kSigned, "GET", "GET bytes=30000- If-Range=\"s1\""},
                     true});
  }
  return cases;
}

class SignedResumes : public DownloadSequence,
                      public ::testing::WithParamInterface<SignedResumeCase> {};

TEST_P(SignedResumes, AreCheckedOverTheFinalBytes) {
  const SignedResumeCase& c = GetParam();
  const std::string signedArchive = trusttest::Archive();
  TResumableScript served({{signedArchive, "\"s1\"", "", ""}}, c.plans,
                          {{signaturecases::kSignaturePath, trusttest::Signature("new")}});
  plugIn = [](TMain& main) {
    main.ArchiveSignatures =
        std::make_unique<TArchiveSignatures>(trusttest::Fixture("keys-new.pem"));
  };
  const std::filesystem::path temp = std::filesystem::current_path() / "temp";
  std::filesystem::create_directories(temp);
  beforeRun = [this, temp, file = c.fileBacked] {
    if (file) Main->ArchiveStorage.MemoryLimit = 20000;
    platform->TempDirectory = FromNativePath(temp.string());
  };
  Run(served.Script(), TClose::Never, [](THTTPDownloadClient& http) {
    http.Retry.Waits = {10};
    http.Random = [] { return 0.0; };
  });

  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_TRUE(ProbeDialogs(app).empty());
  EXPECT_EQ(served.Requests(), c.requests);
  EXPECT_TRUE(platform->Installer == InstallerIn(signedArchive))
      << platform->Installer.size() << " bytes started";
  EXPECT_EQ(platform->TempFilesMade, c.fileBacked ? 1 : 0);
  EXPECT_TRUE(std::filesystem::is_empty(temp));
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  const std::vector<int>& positions = headless::PaintedPositions(*Main->ProgressBar);
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.back(), static_cast<int>(signedArchive.size()));
  const auto back = std::is_sorted_until(positions.begin(), positions.end());
  if (c.restarted) {
    ASSERT_NE(back, positions.end());
    EXPECT_EQ(*back, 0);
    EXPECT_TRUE(std::is_sorted(back, positions.end()));
  } else {
    EXPECT_EQ(back, positions.end());
  }
}

INSTANTIATE_TEST_SUITE_P(Storage, SignedResumes, ::testing::ValuesIn(SignedResumeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// The whole sequence for each case of the archive's signature, with the program built with the
// case's keys: a refusal is shown as a download's failure is, nothing is left on disk and no
// installer starts; a refusal of the signature comes before the setup folder is even made.
class SignedArchives : public DownloadSequence,
                       public ::testing::WithParamInterface<signaturecases::TCase> {
 protected:
  // Runs the case; with fileBacked, the memory limit is below the archive's size, so the
  // archive is downloaded into a temporary file (in the folder "temp") and checked from there.
  void RunCase(bool fileBacked);
};

void SignedArchives::RunCase(bool fileBacked) {
  using namespace signaturecases;
  const TCase& c = GetParam();
  TServedFiles served;
  c.Serve(served);
  plugIn = [&c](TMain& main) {
    main.ArchiveSignatures = std::make_unique<TArchiveSignatures>(trusttest::Fixture(c.Keys));
  };
  const std::filesystem::path temp = std::filesystem::current_path() / "temp";
  if (fileBacked) {
    std::filesystem::create_directories(temp);
    beforeRun = [this, temp] {
      Main->ArchiveStorage.MemoryLimit = 20000;
      platform->TempDirectory = FromNativePath(temp.string());
    };
  }
  // A signature's request that fails in a way worth another attempt is made five times, with
  // short waits here.
  Run(served.Script(), TClose::Never, [](THTTPDownloadClient& http) { http.Retry.Waits = {10}; });

  const auto& boxes = FailureBoxes(app);
  EXPECT_TRUE(ProbeDialogs(app).empty());
  const std::vector<std::string> requests = served.Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[1], "GET " + kSignaturePath);
  EXPECT_EQ(requests.back() == "GET " + kArchivePath, c.ArchiveFetched);
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  if (c.Failure.empty()) {
    EXPECT_TRUE(boxes.empty());
    // The installer started is the signed archive's.
    const std::unique_ptr<TMemoryStream> signedArchive =
        ziptest::MemoryStreamOf(trusttest::Archive());
    TZipFile zip;
    zip.Open(*signedArchive, TZipMode::zmRead);
    TBytes installer;
    zip.Read("Install.exe", installer);
    EXPECT_TRUE(platform->Installer == std::string(installer.begin(), installer.end()))
        << platform->Installer.size() << " bytes started";
  } else {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, c.Failure);
    EXPECT_EQ(platform->Launched, "");
    // Refused before the download: the setup folder was never made (nor removed).
    EXPECT_EQ(platform->Deletes > 0, c.ArchiveFetched);
  }
  if (fileBacked) {
    // Made for the archive, and gone with the run.
    EXPECT_EQ(platform->TempFilesMade, 1);
    EXPECT_TRUE(std::filesystem::is_empty(temp));
    std::filesystem::remove(temp);
  }
  // Nothing else was written beside the setup folder's place.
  EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::current_path()));
}

TEST_P(SignedArchives, AreInstalledOrRefusedAsTheCaseSays) {
  RunCase(false);
}

INSTANTIATE_TEST_SUITE_P(Cases, SignedArchives, ::testing::ValuesIn(signaturecases::Cases()),
                         signaturecases::CaseName);

// Past the memory limit, each case that gets as far as the archive: installed or refused from
// the temporary file as from memory.
class SignedArchivesThroughATemporaryFile : public SignedArchives {};

TEST_P(SignedArchivesThroughATemporaryFile, AreCheckedFromTheFile) {
  RunCase(true);
}

INSTANTIATE_TEST_SUITE_P(Cases, SignedArchivesThroughATemporaryFile,
                         ::testing::ValuesIn(signaturecases::ArchiveFetchedCases()),
                         signaturecases::CaseName);

// A signed program and an installer from another publisher: the launch is refused with its
// message, after the folder is gone.
TEST_F(DownloadSequence, AnInstallerFromAnotherPublisherIsNotStarted) {
  using namespace signaturecases;
  // The played signers: this program's own file is signed; the installer extracted is not.
  class TPlayedSigners : public TSignerReader {
   public:
    explicit TPlayedSigners(std::string AOwn) : FOwn(std::move(AOwn)) {}
    TSigner Signer(TFileStream& AFile) override {
      if (AFile.FileName() != FOwn) return {};
      return {TSigner::TKind::skSigned, TPublisher{"Plenwick Software", "Plenwick Software"}, {}};
    }

   private:
    std::string FOwn;
  };
  const std::string own = GetCurrentDir() + "\\..\\own-program.exe";
  ziptest::WriteFile(own, "MZ signed");
  TServedFiles served;
  plugIn = [own](TMain& main) {
    main.PublisherCheck =
        std::make_unique<TPublisherCheck>(own, std::make_unique<TPlayedSigners>(own));
  };
  Run(served.Script());
  std::filesystem::remove(ziptest::FsPath(own));

  ASSERT_EQ(FailureBoxes(app).size(), 1u);
  EXPECT_EQ(FailureBoxes(app)[0].Text,
            "The installer is not signed by the publisher of this program.");
  EXPECT_EQ(platform->Launched, "");
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  // Without keys built in, no signature was asked for.
  EXPECT_EQ(served.Requests(),
            (std::vector<std::string>{"HEAD " + kArchivePath, "GET " + kArchivePath}));
}
