// The run-time loading of the Windows socket library. These tests run in a program of their
// own, in a folder of its own, so that nothing has loaded the library before the first test
// and the planted files bother no other program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/FileSystem.h"
#include "base/StrUtils.h"
#include "base/Utf.h"
#include "net/IdStack.h"
#include "net/IdWinsock2.h"
#include "net/PlantedDecoys.h"

namespace {

void ExpectStubError(const char* function, int code) {
  try {
    IdWinsock2::GetEntryPoint(function);
    ADD_FAILURE() << function;
  } catch (const EIdWinsockStubError& e) {
    const std::string title = std::string("Error on call to Winsock2 library function ") + function;
    EXPECT_EQ(e.Win32Error(), code);
    EXPECT_EQ(e.Title(), title);
    EXPECT_EQ(e.Message(), title + ": " + SysErrorMessage(code));
  }
}

}  // namespace

TEST(IdWinsock, CallsBeforeLoadingFail) {
  ASSERT_EQ(::GetModuleHandleW(L"ws2_32.dll"), nullptr) << "nothing loads the library up front";
  ExpectStubError("recv", 10093);
  char buf[4];
  EXPECT_THROW(IdWinsock2::recv(0, buf, 4, 0), EIdWinsockStubError);
  EXPECT_FALSE(IdWinsock2::Winsock2Loaded());
}

TEST(IdWinsock, LoadsFromTheSystemFolderOnly) {
  // Decoys in the program's own folder, where a planted library could wait.
  const TPlantedDecoys decoys{L"WS2_32.DLL", L"Wship6.dll", L"Normaliz.dll", L"IdnDL.dll"};
  ASSERT_EQ(decoys.Count(), 4u);
  TIdStack::IncUsage();
  HMODULE module = ::GetModuleHandleW(L"ws2_32.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module, IdWinsock2::SocketLibraryHandle());
  EXPECT_TRUE(SameText(FromWide(FolderOf(ModulePath(module))), FromWide(SystemFolder())))
      << FromWide(ModulePath(module));
  // The stack works: name resolution and a socket.
  EXPECT_EQ(GStack()->ResolveHost("localhost"), "127.0.0.1");
  const TIdStackSocketHandle s = GStack()->NewSocketHandle(Id_SOCK_STREAM, 0);
  GStack()->Disconnect(s);
  TIdStack::DecUsage();
}

TEST(IdWinsock, MissingEntryPoint) {
  TIdStack::IncUsage();
  ExpectStubError("NoSuchFunction", 10022);
  TIdStack::DecUsage();
}

TEST(IdWinsock, LibraryStaysLoadedBetweenUses) {
  ASSERT_EQ(TIdStack::UsageCount(), 0);
  ASSERT_TRUE(IdWinsock2::Winsock2Loaded());
  HMODULE module = IdWinsock2::SocketLibraryHandle();
  TIdStack::IncUsage();
  EXPECT_EQ(IdWinsock2::SocketLibraryHandle(), module);
  TIdStack::DecUsage();
}
