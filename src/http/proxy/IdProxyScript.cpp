#include "http/proxy/IdProxyScript.h"

#include "base/SystemLibrary.h"

#include <winhttp.h>

#include <memory>

#include "base/Utf.h"
#include "net/IdResponsiveCall.h"

namespace {

using TWinHttpOpen = HINTERNET(WINAPI*)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD);
using TWinHttpCloseHandle = BOOL(WINAPI*)(HINTERNET);
using TWinHttpSetTimeouts = BOOL(WINAPI*)(HINTERNET, int, int, int, int);
using TWinHttpGetProxyForUrl = BOOL(WINAPI*)(HINTERNET, LPCWSTR, WINHTTP_AUTOPROXY_OPTIONS*,
                                             WINHTTP_PROXY_INFO*);

// How long fetching the script may take at each step, in ms.
constexpr int kScriptTimeout = 10000;

// WinHTTP and its entry points; shared with an evaluation that a close left running.
struct TWinHTTP {
  TSystemLibrary Library{L"winhttp.dll"};
  TWinHttpOpen Open = Library.Function<TWinHttpOpen>("WinHttpOpen");
  TWinHttpCloseHandle CloseHandle = Library.Function<TWinHttpCloseHandle>("WinHttpCloseHandle");
  TWinHttpSetTimeouts SetTimeouts = Library.Function<TWinHttpSetTimeouts>("WinHttpSetTimeouts");
  TWinHttpGetProxyForUrl GetProxyForUrl =
      Library.Function<TWinHttpGetProxyForUrl>("WinHttpGetProxyForUrl");

  bool Usable() const { return Open && CloseHandle && SetTimeouts && GetProxyForUrl; }
};

// A WinHTTP session of its own for one evaluation, closed with it.
class TSession {
 public:
  explicit TSession(const TWinHTTP& AWinHTTP)
      : FWinHTTP(AWinHTTP),
        FHandle(AWinHTTP.Open(L"Plenwick Setup", WINHTTP_ACCESS_TYPE_NO_PROXY,
                              WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)) {}
  ~TSession() {
    if (FHandle) FWinHTTP.CloseHandle(FHandle);
  }
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;
  HINTERNET Get() const { return FHandle; }

 private:
  const TWinHTTP& FWinHTTP;
  HINTERNET FHandle;
};

// The script's answer, or nullopt; runs on the evaluation's thread.
std::optional<std::string> Evaluate(const TWinHTTP& AWinHTTP, const std::wstring& AScriptURL,
                                    const std::wstring& AURL) {
  const TSession session(AWinHTTP);
  if (!session.Get()) return std::nullopt;
  AWinHTTP.SetTimeouts(session.Get(), kScriptTimeout, kScriptTimeout, kScriptTimeout,
                       kScriptTimeout);
  WINHTTP_AUTOPROXY_OPTIONS options = {};
  if (AScriptURL.empty()) {
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  } else {
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = AScriptURL.c_str();
  }
  WINHTTP_PROXY_INFO info = {};
  // The user's own logon goes to the script's server only when it asks for one.
  options.fAutoLogonIfChallenged = FALSE;
  BOOL ok = AWinHTTP.GetProxyForUrl(session.Get(), AURL.c_str(), &options, &info);
  if (!ok && ::GetLastError() == ERROR_WINHTTP_LOGIN_FAILURE) {
    options.fAutoLogonIfChallenged = TRUE;
    ok = AWinHTTP.GetProxyForUrl(session.Get(), AURL.c_str(), &options, &info);
  }
  if (!ok) return std::nullopt;
  // The strings are the caller's to free.
  std::string proxies = info.lpszProxy ? FromWide(info.lpszProxy) : "";
  if (info.lpszProxy) ::GlobalFree(info.lpszProxy);
  if (info.lpszProxyBypass) ::GlobalFree(info.lpszProxyBypass);
  if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY) proxies.clear();
  return proxies;
}

}  // namespace

TIdProxyScript::TIdProxyScript(std::string AScriptURL) : FScriptURL(std::move(AScriptURL)) {}

std::optional<std::string> TIdProxyScript::ProxiesFor(const std::string& AURL) const {
  auto winHTTP = std::make_shared<const TWinHTTP>();
  if (!winHTTP->Usable()) return std::nullopt;
  auto answer = std::make_shared<std::optional<std::string>>();
  RunResponsively([winHTTP, answer, script = ToWide(FScriptURL), url = ToWide(AURL)] {
    *answer = Evaluate(*winHTTP, script, url);
  });
  return *answer;
}
