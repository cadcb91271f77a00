#include "http/proxy/IdInternetProxySettings.h"

#include "base/SystemLibrary.h"

#include <wininet.h>

#include "base/Utf.h"

namespace {

using TInternetQueryOptionW = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD);

// A string WinINet allocated for its caller, freed with GlobalFree.
std::string TakeString(LPWSTR AValue) {
  if (!AValue) return {};
  std::string text = FromWide(AValue);
  ::GlobalFree(AValue);
  return text;
}

bool Query(TInternetQueryOptionW AQuery, DWORD AFlagsOption, TIdInternetProxySettings& ASettings) {
  INTERNET_PER_CONN_OPTIONW options[4] = {};
  options[0].dwOption = AFlagsOption;
  options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
  options[3].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
  INTERNET_PER_CONN_OPTION_LISTW list = {};
  list.dwSize = sizeof list;
  list.pszConnection = nullptr;  // the local network, not a dial-up connection
  list.dwOptionCount = 4;
  list.pOptions = options;
  DWORD size = sizeof list;
  if (!AQuery(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) return false;

  const DWORD flags = options[0].Value.dwValue;
  // The strings are the caller's to free whatever is made of them.
  std::string server = TakeString(options[1].Value.pszValue);
  std::string bypass = TakeString(options[2].Value.pszValue);
  std::string script = TakeString(options[3].Value.pszValue);
  ASettings.AutoDetect = (flags & PROXY_TYPE_AUTO_DETECT) != 0;
  ASettings.AutoConfigURL = (flags & PROXY_TYPE_AUTO_PROXY_URL) ? std::move(script) : "";
  ASettings.UseProxy = (flags & PROXY_TYPE_PROXY) != 0 && !server.empty();
  ASettings.ProxyServer = std::move(server);
  ASettings.ProxyBypass = std::move(bypass);
  return true;
}

}  // namespace

bool ReadInternetProxySettings(TIdInternetProxySettings& ASettings) {
  const TSystemLibrary wininet(L"wininet.dll");
  const auto query = wininet.Function<TInternetQueryOptionW>("InternetQueryOptionW");
  if (!query) return false;
  // The flags as the user set them in the settings window; the older option where the system
  // knows no such thing.
  return Query(query, INTERNET_PER_CONN_FLAGS_UI, ASettings) ||
         Query(query, INTERNET_PER_CONN_FLAGS, ASettings);
}
