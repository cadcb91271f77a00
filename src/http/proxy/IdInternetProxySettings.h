#pragma once

#include <string>

// The current user's proxy settings for the local network, as the Windows internet settings
// hold them (Windows only).
struct TIdInternetProxySettings {
  bool AutoDetect = false;    // "Automatically detect settings"
  std::string AutoConfigURL;  // "Use automatic configuration script"; empty: none
  bool UseProxy = false;      // "Use a proxy server"
  std::string ProxyServer;    // "host:port" or "http=host:port;https=host:port"
  std::string ProxyBypass;    // "*.example.com;<local>"
};

// Reads the settings through WinINet (loaded at run time from the system folder). False when
// they cannot be read; Settings then stays as it was.
bool ReadInternetProxySettings(TIdInternetProxySettings& ASettings);
