#include <windows.h>  // first: the other platform headers build on it

#include <commctrl.h>
#include <shellapi.h>

#include "base/Utf.h"
#include "ui/Dialogs.h"
#include "ui/win32/Win32Handles.h"

namespace {

using TTaskDialogIndirect = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

// The task dialog of the common controls version 6 (the manifest's dependency, loaded by the
// application from the system folder); nullptr where they are older.
TTaskDialogIndirect TaskDialog() {
  HMODULE comctl = ::GetModuleHandleW(L"comctl32.dll");
  return comctl ? GetProcedure<TTaskDialogIndirect>(comctl, "TaskDialogIndirect") : nullptr;
}

// The task dialog when, in addition, the platform's visual styles are active; nullptr otherwise.
TTaskDialogIndirect StyledTaskDialog() {
  auto taskDialog = TaskDialog();
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

namespace {

constexpr int kRetryButton = 100;

std::wstring WithLink(const std::string& ALine, const std::string& APath) {
  const size_t at = ALine.find("%s");
  if (at == std::string::npos) return ToWide(ALine);
  return ToWide(ALine.substr(0, at)) + L"<a href=\"" + ToWide(APath) + L"\">" + ToWide(APath) +
         L"</a>" + ToWide(ALine.substr(at + 2));
}

std::string WithText(const std::string& ALine, const std::string& APath) {
  const size_t at = ALine.find("%s");
  return at == std::string::npos ? ALine : ALine.substr(0, at) + APath + ALine.substr(at + 2);
}

// Opens the link's file, and only that one: whatever else the details hold that reads like a
// link (a server's words among them) opens nothing.
HRESULT CALLBACK ErrorDialogCallback(HWND AWindow, UINT ANotification, WPARAM, LPARAM AParam,
                                     LONG_PTR AData) {
  if (ANotification != TDN_HYPERLINK_CLICKED) return S_OK;
  const auto* path = reinterpret_cast<const std::wstring*>(AData);
  const auto* href = reinterpret_cast<const wchar_t*>(AParam);
  if (path && href && *path == href)
    ::ShellExecuteW(AWindow, L"open", path->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return S_OK;
}

}  // namespace

void ShowMessageBox(const std::string& AText, const std::string& ACaption, TMsgDlgType AType) {
  ::MessageBoxW(::GetActiveWindow(), ToWide(AText).c_str(), ToWide(ACaption).c_str(),
                MB_OK | MessageBoxIcon(AType));
}

TErrorDialogAnswer ShowErrorDialog(const TErrorDialog& ADialog) {
  const std::wstring caption = ToWide(ADialog.Caption);
  const std::wstring text = ToWide(ADialog.Text);
  const std::wstring retry = ToWide(ADialog.RetryLabel);
  const bool canRetry = !ADialog.RetryLabel.empty();
  HWND owner = ::GetActiveWindow();
  if (TTaskDialogIndirect taskDialog = TaskDialog()) {
    std::wstring details = ToWide(ADialog.Details);
    const std::wstring path = ToWide(ADialog.LinkPath);
    if (!ADialog.LinkLine.empty()) {
      if (!details.empty()) details += L"\n\n";
      details += ADialog.LinkPath.empty() ? ToWide(ADialog.LinkLine)
                                          : WithLink(ADialog.LinkLine, ADialog.LinkPath);
    }
    const std::wstring label = ToWide(ADialog.DetailsLabel);
    const TASKDIALOG_BUTTON buttons[] = {{kRetryButton, retry.c_str()}};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof(config);
    config.hwndParent = owner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_ENABLE_HYPERLINKS;
    config.pszWindowTitle = caption.c_str();
    config.pszMainIcon = TD_ERROR_ICON;
    config.pszContent = text.c_str();
    if (!details.empty()) {
      config.pszExpandedInformation = details.c_str();
      config.pszCollapsedControlText = label.c_str();
      config.pszExpandedControlText = label.c_str();
    }
    if (canRetry) {
      config.cButtons = 1;
      config.pButtons = buttons;
      config.dwCommonButtons = TDCBF_CLOSE_BUTTON;
      config.nDefaultButton = kRetryButton;
    } else {
      config.dwCommonButtons = TDCBF_OK_BUTTON;
      config.nDefaultButton = IDOK;
    }
    config.pfCallback = ErrorDialogCallback;
    config.lpCallbackData = reinterpret_cast<LONG_PTR>(&path);
    int pressed = 0;
    if (SUCCEEDED(taskDialog(&config, &pressed, nullptr, nullptr)))
      return pressed == kRetryButton ? TErrorDialogAnswer::eaRetry : TErrorDialogAnswer::eaClose;
  }
  std::string all = ADialog.Text;
  if (!ADialog.Details.empty()) all += "\r\n\r\n" + ADialog.Details;
  if (!ADialog.LinkLine.empty()) all += "\r\n\r\n" + WithText(ADialog.LinkLine, ADialog.LinkPath);
  const int pressed = ::MessageBoxW(owner, ToWide(all).c_str(), caption.c_str(),
                                    (canRetry ? MB_RETRYCANCEL : MB_OK) | MB_ICONERROR);
  return pressed == IDRETRY ? TErrorDialogAnswer::eaRetry : TErrorDialogAnswer::eaClose;
}
