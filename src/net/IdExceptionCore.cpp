#include "net/IdExceptionCore.h"

#include "base/FileSystem.h"

namespace {
std::string StubMessage(int win32Error, const std::string& title) {
  if (win32Error == 0) return title;
  return title + ": " + SysErrorMessage(win32Error);
}
}  // namespace

EIdWinsockStubError::EIdWinsockStubError(int win32Error, const std::string& title)
    : EIdException(StubMessage(win32Error, title)), FWin32Error(win32Error), FTitle(title) {}
