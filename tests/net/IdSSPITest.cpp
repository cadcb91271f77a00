// The run-time loading of the platform's TLS libraries. In a program and a folder of its own,
// like the socket library's test: nothing has loaded them before the test, and the decoys
// planted beside it bother no other program.
#include <gtest/gtest.h>

#include "base/StrUtils.h"
#include "base/Utf.h"
#include "net/IdSSPI.h"
#include "net/PlantedDecoys.h"

namespace {

TEST(IdSSPI, LoadsFromTheSystemFolderOnlyAndOnlyWhenFirstNeeded) {
  for (const wchar_t* name : {L"secur32.dll", L"crypt32.dll"})
    ASSERT_EQ(::GetModuleHandleW(name), nullptr)
        << FromWide(name) << " is loaded up front (imported by the program?)";
  // Decoys in the program's own folder, where a planted library could wait.
  const TPlantedDecoys decoys{L"secur32.dll", L"sspicli.dll", L"crypt32.dll"};
  ASSERT_EQ(decoys.Count(), 3u);

  const SecurityFunctionTableW& sspi = IdSSPI::SecurityFunctions();
  EXPECT_NE(sspi.InitializeSecurityContextW, nullptr);
  EXPECT_NE(IdSSPI::CertificateFunctions().GetCertificateChain, nullptr);
  for (const wchar_t* name : {L"secur32.dll", L"crypt32.dll"}) {
    HMODULE module = ::GetModuleHandleW(name);
    ASSERT_NE(module, nullptr) << FromWide(name);
    EXPECT_TRUE(SameText(FromWide(FolderOf(ModulePath(module))), FromWide(SystemFolder())))
        << FromWide(ModulePath(module));
  }
  // Loaded once for the process.
  EXPECT_EQ(&IdSSPI::SecurityFunctions(), &sspi);
}

}  // namespace
