// The publisher rule of the installer's launch, with signers played by the files' contents: a
// signed program starts only an installer of its own publisher, held open from the check; an
// unsigned one checks nothing. On Windows the held file is also shown to keep every writer out
// while the installer can still be started from it.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>

#include "base/FileSystem.h"
#include "base/Utf.h"
#include "trust/PublisherCheck.h"
#include "trust/TrustError.h"
#include "trust/TrustTestSupport.h"

namespace {

using namespace trusttest;

const std::string kRefused = "The installer is not signed by the publisher of this program.";

// A file "signed: <organisation>/<common name>" carries that signer, "unknown: <code>" a
// signature whose check failed with that code, "no library" stands for a system whose
// libraries for the check cannot be loaded; any other file carries none.
class TPlayedSigner : public TSignerReader {
 public:
  TSigner Signer(TFileStream& AFile) override {
    ++Reads;
    std::string text(static_cast<size_t>(AFile.Size()), '\0');
    AFile.SetPosition(0);
    AFile.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
    if (text == "no library") throw ETrustError("Error on loading the system library wintrust.dll");
    if (text.rfind("unknown: ", 0) == 0) return {TSigner::TKind::skUnknown, {}, text.substr(9)};
    if (text.rfind("signed: ", 0) != 0) return {};
    const std::string who = text.substr(8);
    return {TSigner::TKind::skSigned,
            TPublisher{who.substr(0, who.find('/')), who.substr(who.find('/') + 1)},
            {}};
  }
  int Reads = 0;
};

class PublisherCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // One folder per test: ctest runs the tests of this fixture side by side.
    folder = GetCurrentDir() + "\\publisher_check_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
    std::filesystem::remove_all(ziptest::FsPath(folder));
    std::filesystem::create_directories(ziptest::FsPath(folder));
  }
  void TearDown() override { std::filesystem::remove_all(ziptest::FsPath(folder)); }

  // A check for a program whose own file says AOwn (none: the file does not exist).
  TPublisherCheck Check(const std::optional<std::string>& AOwn) {
    if (AOwn) ziptest::WriteFile(folder + "own.exe", *AOwn);
    auto reader = std::make_unique<TPlayedSigner>();
    signer = reader.get();
    return TPublisherCheck(folder + "own.exe", std::move(reader));
  }
  std::string Installer(const std::string& AContent) {
    ziptest::WriteFile(folder + "Install.exe", AContent);
    return folder + "Install.exe";
  }

  std::string folder;
  TPlayedSigner* signer = nullptr;
};

TEST_F(PublisherCheckTest, ASignedProgramStartsOnlyItsOwnPublishersInstaller) {
  struct Case {
    const char* name;
    std::string installer;
    bool accepted;
  } cases[] = {
      {"the same publisher", "signed: Plenwick Software/Plenwick Software", true},
      {"unsigned", "MZ unsigned", false},
      {"its signature broken, or its root untrusted", "unknown: 0x80096010", false},
      {"another organisation", "signed: Plenwick Softwares/Plenwick Software", false},
      {"another common name", "signed: Plenwick Software/Plenwick Updates", false},
      {"names differing in case only", "signed: plenwick software/Plenwick Software", false},
  };
  for (const Case& c : cases) {
    TPublisherCheck check = Check("signed: Plenwick Software/Plenwick Software");
    const std::string path = Installer(c.installer);
    std::unique_ptr<TFileStream> held;
    EXPECT_EQ(TrustFailure([&] { held = check.Check(path); }), c.accepted ? "" : kRefused)
        << c.name;
    EXPECT_EQ(held != nullptr, c.accepted) << c.name;
    if (held) {
      EXPECT_EQ(held->FileName(), path);
    }
  }
}

TEST_F(PublisherCheckTest, AnUnsignedProgramChecksNothingButHoldsTheInstaller) {
  TPublisherCheck check = Check("MZ development build");
  std::unique_ptr<TFileStream> held = check.Check(Installer("MZ unsigned"));
  EXPECT_NE(held, nullptr);
  EXPECT_EQ(check.OwnSignature(), TPublisherCheck::TOwnSignature::osUnsigned);
  // Only the program's own file was read for a signer.
  EXPECT_EQ(signer->Reads, 1);
  // A missing installer is left to the launch, which tells the system's reason.
  EXPECT_EQ(check.Check(folder + "Missing.exe"), nullptr);
}

TEST_F(PublisherCheckTest, ASignedProgramRefusesAnInstallerItCannotOpen) {
  TPublisherCheck check = Check("signed: Plenwick Software/Plenwick Software");
  EXPECT_EQ(TrustFailure([&] { check.Check(folder + "Missing.exe"); }), kRefused);
}

// Only a program without any signature checks nothing. Whatever else keeps it from verifying
// its own signature leaves it unable to tell which publisher to require: it starts nothing, with
// a refusal of its own that names the cause, and the failure never escapes as an exception.
TEST_F(PublisherCheckTest, AProgramThatCannotVerifyItsOwnSignatureStartsNothing) {
  struct Case {
    const char* name;
    std::optional<std::string> own;  // none: the program's file cannot be opened
    std::string problem;             // what OwnProblem() begins with
  } cases[] = {
      {"a chain the machine cannot complete", "unknown: 0x800B010A", "0x800B010A"},
      {"an expired certificate without a time stamp", "unknown: 0x800B0101", "0x800B0101"},
      {"a root nobody trusts", "unknown: the signer's chain: trust status 0x00000020",
       "the signer's chain: trust status 0x00000020"},
      {"the system's libraries missing", "no library",
       "Error on loading the system library wintrust.dll"},
      {"its own file unreadable", std::nullopt, "Cannot open file \""},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(ziptest::FsPath(folder + "own.exe"));
    TPublisherCheck check = Check(c.own);
    EXPECT_EQ(check.OwnSignature(), TPublisherCheck::TOwnSignature::osUnknown) << c.name;
    EXPECT_EQ(check.OwnProblem().rfind(c.problem, 0), 0u) << c.name << ": " << check.OwnProblem();
    const std::string installer = Installer("signed: Plenwick Software/Plenwick Software");
    std::unique_ptr<TFileStream> held;
    try {
      held = check.Check(installer);
      ADD_FAILURE() << c.name << ": the installer was accepted";
    } catch (const EOwnSignatureUnknown& e) {
      EXPECT_EQ(e.Message(), "This program cannot verify its own signature (" + check.OwnProblem() +
                                 "), so the installer's publisher cannot be checked. The "
                                 "installer was not started.")
          << c.name;
    }
    EXPECT_EQ(held, nullptr) << c.name;
  }
}

TEST_F(PublisherCheckTest, TheProgramsOwnSignatureIsReadOnce) {
  TPublisherCheck check = Check("signed: Plenwick Software/Plenwick Software");
  check.Check(Installer("signed: Plenwick Software/Plenwick Software"));
  check.Check(Installer("signed: Plenwick Software/Plenwick Software"));
  EXPECT_EQ(signer->Reads, 3);  // its own once, the installer twice
}

#ifdef _WIN32
// While held, nobody can write, replace, rename or remove the installer; reading and starting it
// still work, and once released it is free again.
TEST_F(PublisherCheckTest, TheHeldInstallerKeepsEveryWriterOutButCanBeStarted) {
  const std::string probe = ziptest::ProgramFormOf(PLENWICK_TRUST_PROBE);
  const std::string path = folder + "Install.exe";
  ASSERT_TRUE(::CopyFileW(ToWide(probe).c_str(), ToWide(path).c_str(), FALSE));
  TPublisherCheck check = Check("MZ development build");
  std::unique_ptr<TFileStream> held = check.Check(path);
  ASSERT_NE(held, nullptr);
  const std::wstring wide = ToWide(path);

  HANDLE writer = ::CreateFileW(wide.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
  EXPECT_FALSE(::DeleteFileW(wide.c_str()));
  EXPECT_FALSE(::MoveFileExW(wide.c_str(), ToWide(folder + "moved.exe").c_str(), 0));
  EXPECT_FALSE(::CopyFileW(ToWide(probe).c_str(), wide.c_str(), FALSE));
  HANDLE reader = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) ::CloseHandle(reader);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + wide + L"\"";
  ASSERT_TRUE(::CreateProcessW(wide.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
      << ::GetLastError();
  EXPECT_EQ(::WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);

  held.reset();
  EXPECT_TRUE(::DeleteFileW(wide.c_str()));
}
#endif

}  // namespace
