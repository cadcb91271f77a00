#pragma once

#include <optional>
#include <string>

// A proxy configuration script, evaluated by WinHTTP (loaded at run time from the system folder;
// Windows only): the script at a given address, or the one automatic detection finds on the
// network (DHCP, then DNS). Each evaluation runs on a thread of its own while the window stays
// responsive (RunResponsively), within WinHTTP's time-outs for fetching the script.
class TIdProxyScript {
 public:
  // AScriptURL empty: the script automatic detection finds.
  explicit TIdProxyScript(std::string AScriptURL);

  // The script's answer for a request to AURL: WinHTTP's list of proxies ("host:port", several
  // separated by ";"), empty for a direct connection; nullopt when no script could be found,
  // fetched or run. A close of the program during the wait raises EIdConnClosedGracefully.
  std::optional<std::string> ProxiesFor(const std::string& AURL) const;

  const std::string& ScriptURL() const { return FScriptURL; }

 private:
  std::string FScriptURL;
};
