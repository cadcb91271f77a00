// What the elevated installer finds beside itself, on the real file system (natively and under
// Wine): a setup folder that only the user, SYSTEM and the Administrators may open, and every
// extracted file held from the end of its extraction until it is let go.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#endif

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/HeldFiles.h"
#include "app/platform/FolderHelpers.h"
#include "app/platform/SetupPlatform.h"
#include "app/platform/TestFiles.h"
#include "base/Format.h"
#include "base/MemoryStream.h"
#include "base/Utf.h"
#include "zip/ZipFile.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// An archive of an installer and a library beside it, in memory.
std::unique_ptr<TMemoryStream> SetupArchive() {
  auto stream = std::make_unique<TMemoryStream>();
  TZipFile zip;
  zip.Open(*stream, TZipMode::zmWrite);
  const std::string installer = "MZ the installer";
  const std::string library = "MZ the library beside it";
  zip.Add(TBytes(installer.begin(), installer.end()), "Install.exe");
  zip.Add(TBytes(library.begin(), library.end()), "Data/app.dll");
  zip.Close();
  stream->SetPosition(0);
  return stream;
}

// Extracts the setup archive into AFolder, each file held through the system's platform as
// soon as it is written; ABeforeHold may change a file first, as another process could.
void ExtractHeld(const std::string& AFolder, THeldFiles& AHeld,
                 const std::function<void(const std::string&)>& ABeforeHold = {}) {
  const std::unique_ptr<TSetupPlatform> platform = CreateSystemPlatform();
  const std::unique_ptr<TMemoryStream> archive = SetupArchive();
  TZipFile zip;
  zip.Open(*archive, TZipMode::zmRead);
  zip.OnFileExtracted = [&](const std::string& APath, const TZipHeader& AEntry) {
    if (ABeforeHold) ABeforeHold(APath);
    AHeld.Hold(platform->HoldFile(APath), APath, AEntry.UncompressedSize, AEntry.CRC32);
  };
  zip.ExtractAll(AFolder);
}

#ifdef _WIN32
std::wstring SidText(PSID ASid) {
  LPWSTR text = nullptr;
  if (!::ConvertSidToStringSidW(ASid, &text)) return L"?";
  std::wstring result(text);
  ::LocalFree(text);
  return result;
}

std::wstring UserSid() {
  HANDLE token = nullptr;
  ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
  std::vector<BYTE> user(512);
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, user.data(), 512, &size);
  ::CloseHandle(token);
  return SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
}

struct TAce {
  std::wstring Sid;
  BYTE Flags;
  ACCESS_MASK Mask;
};

// The access list of the file or folder as GetSecurityInfo reads it through a handle, and its
// control flags.
std::vector<TAce> AccessList(const std::string& APath, SECURITY_DESCRIPTOR_CONTROL& AControl) {
  HANDLE h = ::CreateFileW(ToWide(APath).c_str(), READ_CONTROL,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << APath;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = ::GetSecurityInfo(h, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                        nullptr, &dacl, nullptr, &descriptor);
  ::CloseHandle(h);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS)) << APath;
  std::vector<TAce> aces;
  DWORD revision = 0;
  AControl = 0;
  if (error != ERROR_SUCCESS) return aces;
  ::GetSecurityDescriptorControl(descriptor, &AControl, &revision);
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace)) continue;
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    aces.push_back(
        {SidText(const_cast<DWORD*>(&allowed->SidStart)), allowed->Header.AceFlags, allowed->Mask});
  }
  ::LocalFree(descriptor);
  return aces;
}

// Runs a command line in a second process; its exit code.
DWORD RunElsewhere(const std::wstring& ACommand) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring command = ACommand;
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process))
    return 0xFFFFFFFF;
  ::WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0xFFFFFFFF;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return code;
}
#endif

std::string ReadText(const std::string& APath) {
  TFileStream file(APath, TFileStream::TMode::fmOpenRead);
  std::string text(static_cast<size_t>(file.Size()), '\0');
  file.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  return text;
}

TEST(ExtractionHold, TheSetupFolderIsTheUsersSystemsAndAdministratorsAlone) {
  const std::string root = FreshTestFolder("private-folder");
  const std::string folder = root + "Plenwick Setup (64-bit)\\";
  ASSERT_TRUE(CreatePrivateFolder(folder));
  // Something already there is not taken over.
  EXPECT_FALSE(CreatePrivateFolder(folder));
  ASSERT_TRUE(CreateDir(folder + "Data"));
  WriteTextFile(folder + "Data\\app.dll", "MZ");
#ifdef _WIN32
  const std::vector<std::wstring> allowed = {UserSid(), L"S-1-5-18", L"S-1-5-32-544"};
  // The SIDs a list lets in, each once, in its order; every entry must allow, for files and
  // folders below as well.
  const auto sidsOf = [](const std::vector<TAce>& AList) {
    std::vector<std::wstring> sids;
    for (const TAce& ace : AList)
      if (std::find(sids.begin(), sids.end(), ace.Sid) == sids.end()) sids.push_back(ace.Sid);
    return sids;
  };
  const auto listed = [](const std::vector<TAce>& AList) {
    std::string text;
    for (const TAce& ace : AList)
      text += FromWide(ace.Sid) + Format(" 0x%02X 0x%08lX; ", ace.Flags, ace.Mask);
    return text;
  };
  const auto onlyAllowed = [&](const std::vector<std::wstring>& ASids) {
    return std::all_of(ASids.begin(), ASids.end(), [&](const std::wstring& sid) {
      return std::find(allowed.begin(), allowed.end(), sid) != allowed.end();
    });
  };
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  const std::vector<TAce> own = AccessList(folder, control);
  EXPECT_TRUE(onlyAllowed(sidsOf(own))) << listed(own);
  // The user may do everything, here and below.
  const auto user =
      std::find_if(own.begin(), own.end(), [&](const TAce& ace) { return ace.Sid == allowed[0]; });
  ASSERT_NE(user, own.end()) << listed(own);
  EXPECT_EQ(user->Mask, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
  EXPECT_EQ(user->Flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
            OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  // A folder made plainly beside it lets others in (Everyone may read it): the check above
  // tells the two apart.
  ASSERT_TRUE(CreateDir(root + "plain"));
  const std::vector<TAce> plain = AccessList(root + "plain", control);
  EXPECT_FALSE(onlyAllowed(sidsOf(plain))) << listed(plain);
  // Wine keeps no access list of a file's own: it maps it to the host's mode bits (0750 here)
  // and reads back the owner and SYSTEM, and what is made below gets the mode of its own
  // (others are kept out by the folder's mode). Windows keeps the list as made: protected, the
  // three, inherited by everything below.
  if (!::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
    AccessList(folder, control);
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    EXPECT_EQ(sidsOf(own), allowed) << listed(own);
    for (const TAce& ace : own)
      EXPECT_EQ(ace.Flags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    for (const TAce& ace : AccessList(folder + "Data\\app.dll", control))
      EXPECT_TRUE(ace.Flags & INHERITED_ACE);
    for (const std::string& below : {folder + "Data", folder + "Data\\app.dll"}) {
      const std::vector<TAce> inherited = AccessList(below, control);
      EXPECT_TRUE(onlyAllowed(sidsOf(inherited))) << below << ": " << listed(inherited);
      EXPECT_FALSE(inherited.empty()) << below;
    }
  }
#else
  struct stat st;
  ASSERT_EQ(::stat(ToNativePath(folder).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
#endif
  EXPECT_TRUE(DeleteFolder(root));
}

// What the installer may run or load is held; data is not. The extension decides, in any case,
// of the last name only.
TEST(ExtractionHold, OnlyProgramsLibrariesAndScriptsAreHeld) {
  struct Case {
    const char* path;
    bool held;
  } cases[] = {
      {"C:\\S\\Install.exe", true},
      {"C:\\S\\Data\\app.DLL", true},
      {"C:\\S\\drv\\x.sys", true},
      {"C:\\S\\Package.Msi", true},
      {"C:\\S\\run.ps1", true},
      {"C:\\S\\run.bat", true},
      {"C:\\S\\run.CMD", true},
      {"C:\\S\\run.vbs", true},
      {"C:\\S\\run.js", true},
      {"/s/unix/style.exe", true},
      {"C:\\S\\readme.txt", false},
      {"C:\\S\\data.json", false},
      {"C:\\S\\Install.exe.txt", false},
      {"C:\\S\\Install", false},
      {"C:\\S\\tools.exe\\notes", false},
      {"C:\\S\\dll", false},
      {"C:\\S\\.exe.bak", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(THeldFiles::IsRunnable(c.path), c.held) << c.path;
}

// Held, a file stays what the archive said until it is let go: on Windows another process can
// neither write it, nor rename it, nor delete it, while reading it still works.
TEST(ExtractionHold, HeldFilesKeepOtherWritersOutUntilLetGo) {
  const std::string folder = FreshTestFolder("held-files");
  auto held = std::make_unique<THeldFiles>();
  ExtractHeld(folder, *held);
  EXPECT_EQ(held->Count(), 2u);
  const std::string library = folder + "Data\\app.dll";
  EXPECT_EQ(ReadText(library), "MZ the library beside it");
#ifdef _WIN32
  const std::wstring wide = ToWide(library);
  // Another process tries to append, to overwrite, to rename and to delete; the file stays as
  // it is (the shell's exit code does not tell a failed redirection under Wine: the file does).
  const std::wstring attempts[] = {
      L"cmd.exe /c echo planted>> \"" + wide + L"\"",
      L"cmd.exe /c echo planted> \"" + wide + L"\"",
      L"cmd.exe /c ren \"" + wide + L"\" moved.dll",
      L"cmd.exe /c del /f /q \"" + wide + L"\"",
  };
  for (const std::wstring& attempt : attempts) {
    RunElsewhere(attempt);
    EXPECT_EQ(ReadText(library), "MZ the library beside it") << FromWide(attempt);
  }
  EXPECT_FALSE(::MoveFileExW(wide.c_str(), ToWide(folder + "moved.dll").c_str(), 0));
  EXPECT_FALSE(::DeleteFileW(wide.c_str()));
  HANDLE writer = ::CreateFileW(wide.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
  // Let go, the same attempt from another process goes through: the hold was what kept it out.
  held->Release();
  RunElsewhere(attempts[1]);
  EXPECT_EQ(ReadText(library).rfind("planted", 0), 0u);
#endif
  held.reset();
  EXPECT_TRUE(DeleteFolder(folder));
}

// A file changed between the writer's close and its hold is found out through the hold.
TEST(ExtractionHold, AFileChangedBeforeItsHoldIsRefused) {
  struct Case {
    const char* name;
    std::string content;
  } cases[] = {
      {"the same length", "MZ the LIBRARY beside it"},
      {"longer", "MZ the library beside it, and more"},
      {"shorter", "MZ the library"},
      {"emptied", ""},
  };
  for (const Case& c : cases) {
    const std::string folder = FreshTestFolder("changed-before-hold");
    THeldFiles held;
    std::string failure;
    try {
      ExtractHeld(folder, held, [&](const std::string& APath) {
        if (APath.ends_with("app.dll")) WriteTextFile(APath, c.content);
      });
    } catch (const EZipException& e) {
      failure = e.Message();
    }
    EXPECT_EQ(failure, "Entry \"" + folder + "Data\\app.dll\" does not match its CRC-32") << c.name;
    EXPECT_EQ(held.Count(), 1u) << c.name;  // the installer, before it
    held.Release();
    EXPECT_TRUE(DeleteFolder(folder));
  }
}

}  // namespace
