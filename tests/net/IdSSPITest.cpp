// The run-time loading of the platform's TLS libraries. In a program and a folder of its own,
// like the socket library's test: nothing has loaded them before the test, and the decoys
// planted beside it bother no other program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/StrUtils.h"
#include "base/Utf.h"
#include "net/IdSSPI.h"

namespace {

std::wstring FolderOf(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring ModulePath(HMODULE module) {
  wchar_t buf[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(module, buf, MAX_PATH);
  return std::wstring(buf, n);
}

std::wstring SystemFolder() {
  wchar_t buf[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(buf, MAX_PATH);
  return std::wstring(buf, n);
}

TEST(IdSSPI, LoadsFromTheSystemFolderOnlyAndOnlyWhenFirstNeeded) {
  for (const wchar_t* name : {L"secur32.dll", L"crypt32.dll"})
    ASSERT_EQ(::GetModuleHandleW(name), nullptr)
        << FromWide(name) << " is loaded up front (imported by the program?)";
  // Decoys in the program's own folder, where a planted library could wait.
  const std::wstring own = FolderOf(ModulePath(nullptr));
  std::vector<std::wstring> planted;
  for (const wchar_t* name : {L"secur32.dll", L"sspicli.dll", L"crypt32.dll"}) {
    const std::wstring path = own + L"\\" + name;
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written;
    ::WriteFile(f, "not a library", 13, &written, nullptr);
    ::CloseHandle(f);
    planted.push_back(path);
  }

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

  for (const std::wstring& path : planted)
    ::DeleteFileW(path.c_str());
}

}  // namespace
