#include "net/IdExceptionCore.h"

#include "base/FileSystem.h"

namespace {
std::string StubMessage(int AWin32Error, const std::string& ATitle) {
  if (AWin32Error == 0) return ATitle;
  return ATitle + ": " + SysErrorMessage(AWin32Error);
}
}  // namespace

EIdWinsockStubError::EIdWinsockStubError(int AWin32Error, const std::string& ATitle)
    : EIdException(StubMessage(AWin32Error, ATitle)), FWin32Error(AWin32Error), FTitle(ATitle) {}
