#include <windows.h>

#include "app/platform/SystemDescription.h"
#include "base/Format.h"
#include "base/SystemLibrary.h"

std::string SystemDescription() {
  // The version the system really has: GetVersionEx answers what the manifest lets it.
  // ntdll is in every process already; nothing is loaded.
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  using TWineGetVersion = const char*(CDECL*)();
  std::string text = "Windows";
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (const auto getVersion = GetProcedure<TRtlGetVersion>(ntdll, "RtlGetVersion");
      getVersion && getVersion(&version) == 0)
    text += Format(" %lu.%lu.%lu", version.dwMajorVersion, version.dwMinorVersion,
                   version.dwBuildNumber);
  if (const auto wine = GetProcedure<TWineGetVersion>(ntdll, "wine_get_version"))
    text += Format(", under Wine %s", wine());
  return text;
}
