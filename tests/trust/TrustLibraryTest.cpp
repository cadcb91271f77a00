// The run-time loading of the trust checks' system libraries. In a program and a folder of its
// own, like the socket and TLS libraries' tests: nothing has loaded them before the test, and
// the decoys planted beside it bother no other program.
#include <gtest/gtest.h>

#include "base/StrUtils.h"
#include "base/Utf.h"
#include "net/PlantedDecoys.h"
#include "trust/BCryptLibrary.h"
#include "trust/Sha256.h"
#include "trust/WinTrustLibrary.h"

namespace {

TEST(TrustLibraries, LoadFromTheSystemFolderOnlyAndOnlyWhenFirstNeeded) {
  const wchar_t* names[] = {L"bcrypt.dll", L"wintrust.dll", L"crypt32.dll"};
  for (const wchar_t* name : names)
    ASSERT_EQ(::GetModuleHandleW(name), nullptr)
        << FromWide(name) << " is loaded up front (imported by the program?)";
  const TPlantedDecoys decoys{L"bcrypt.dll", L"wintrust.dll", L"crypt32.dll"};
  ASSERT_EQ(decoys.Count(), 3u);

  // Used for real: a digest, and the functions of the publisher check.
  const std::string abc = "abc";
  EXPECT_EQ(Sha256Of(reinterpret_cast<const uint8_t*>(abc.data()), abc.size())[0], 0xba);
  EXPECT_NE(WinTrustLibrary::Functions().VerifyTrust, nullptr);
  for (const wchar_t* name : names) {
    HMODULE module = ::GetModuleHandleW(name);
    ASSERT_NE(module, nullptr) << FromWide(name);
    EXPECT_TRUE(SameText(FromWide(FolderOf(ModulePath(module))), FromWide(SystemFolder())))
        << FromWide(ModulePath(module));
  }
  EXPECT_EQ(&BCryptLibrary::Functions(), &BCryptLibrary::Functions());
}

}  // namespace
