#include <windows.h>  // first: the other platform headers build on it

#include <commctrl.h>

#include "base/Utf.h"
#include "ui/Dialogs.h"
#include "ui/win32/Win32Handles.h"

namespace {

using TTaskDialogIndirect = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

// The task dialog of the common controls, when they are the styled version 6 and the
// platform's visual styles are active; nullptr otherwise.
TTaskDialogIndirect StyledTaskDialog() {
  HMODULE comctl = ::GetModuleHandleW(L"comctl32.dll");
  if (!comctl) return nullptr;
  auto taskDialog = GetProcedure<TTaskDialogIndirect>(comctl, "TaskDialogIndirect");
  if (!taskDialog) return nullptr;
  TUniqueModule theme = LoadSystemLibrary(L"uxtheme.dll");
  if (!theme) return nullptr;
  using TBoolFn = BOOL(WINAPI*)();
  auto isAppThemed = GetProcedure<TBoolFn>(theme.get(), "IsAppThemed");
  auto isThemeActive = GetProcedure<TBoolFn>(theme.get(), "IsThemeActive");
  if (!isAppThemed || !isThemeActive || !isAppThemed() || !isThemeActive()) return nullptr;
  return taskDialog;
}

PCWSTR TaskDialogIcon(TMsgDlgType AType) {
  switch (AType) {
    case TMsgDlgType::mtWarning:
      return TD_WARNING_ICON;
    case TMsgDlgType::mtError:
      return TD_ERROR_ICON;
    case TMsgDlgType::mtInformation:
      return TD_INFORMATION_ICON;
  }
  return nullptr;
}

UINT MessageBoxIcon(TMsgDlgType AType) {
  switch (AType) {
    case TMsgDlgType::mtWarning:
      return MB_ICONWARNING;
    case TMsgDlgType::mtError:
      return MB_ICONERROR;
    case TMsgDlgType::mtInformation:
      return MB_ICONINFORMATION;
  }
  return 0;
}

}  // namespace

void MessageDlg(const std::string& AMsg, TMsgDlgType ADlgType, int) {
  const std::wstring text = ToWide(AMsg);
  const std::wstring caption = ToWide(MsgDlgCaption(ADlgType));
  HWND owner = ::GetActiveWindow();
  if (TTaskDialogIndirect taskDialog = StyledTaskDialog()) {
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof(config);
    config.hwndParent = owner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
    config.dwCommonButtons = TDCBF_OK_BUTTON;
    config.pszWindowTitle = caption.c_str();
    config.pszMainIcon = TaskDialogIcon(ADlgType);
    config.pszContent = text.c_str();
    config.nDefaultButton = IDOK;
    int pressed = 0;
    if (SUCCEEDED(taskDialog(&config, &pressed, nullptr, nullptr))) return;
  }
  ::MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MessageBoxIcon(ADlgType));
}
