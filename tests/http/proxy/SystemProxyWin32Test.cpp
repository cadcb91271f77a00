// The Windows user's proxy settings as the program reads and applies them: what the current
// user's internet settings hold (set here in the registry, as the settings window stores them,
// and put back afterwards), read through WinINet; and a configuration script served by nginx
// (tools/proxy_test_server.py runs this program and names the script's address), evaluated
// through WinHTTP. Both libraries come from the system folder even with decoys planted beside
// this program, which runs in a folder of its own.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "base/Utf.h"
#include "http/proxy/IdInternetProxySettings.h"
#include "http/proxy/IdSystemProxy.h"
#include "http/proxy/IdWindowsProxyResolver.h"
#include "net/PlantedDecoys.h"

namespace {

const wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Values of the current user's internet settings, set for a test and put back as they were
// (or removed again) when it ends, whatever happens in between.
class TInternetSettingsValues {
 public:
  TInternetSettingsValues() {
    ::RegCreateKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &FKey, nullptr);
  }
  ~TInternetSettingsValues() {
    for (auto it = FSaved.rbegin(); it != FSaved.rend(); ++it) {
      if (it->Present)
        ::RegSetValueExW(FKey, it->Name.c_str(), 0, it->Type, it->Data.data(),
                         static_cast<DWORD>(it->Data.size()));
      else
        ::RegDeleteValueW(FKey, it->Name.c_str());
    }
    if (FKey) ::RegCloseKey(FKey);
  }
  TInternetSettingsValues(const TInternetSettingsValues&) = delete;
  TInternetSettingsValues& operator=(const TInternetSettingsValues&) = delete;

  bool Opened() const { return FKey != nullptr; }
  void SetNumber(const wchar_t* AName, DWORD AValue) {
    Save(AName);
    ::RegSetValueExW(FKey, AName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&AValue),
                     sizeof AValue);
  }
  void SetText(const wchar_t* AName, const std::wstring& AValue) {
    Save(AName);
    ::RegSetValueExW(FKey, AName, 0, REG_SZ, reinterpret_cast<const BYTE*>(AValue.c_str()),
                     static_cast<DWORD>((AValue.size() + 1) * sizeof(wchar_t)));
  }
  void Remove(const wchar_t* AName) {
    Save(AName);
    ::RegDeleteValueW(FKey, AName);
  }

 private:
  struct TSaved {
    std::wstring Name;
    bool Present = false;
    DWORD Type = 0;
    std::vector<BYTE> Data;
  };
  void Save(const wchar_t* AName) {
    for (const TSaved& saved : FSaved)
      if (saved.Name == AName) return;
    TSaved saved;
    saved.Name = AName;
    DWORD size = 0;
    if (::RegQueryValueExW(FKey, AName, nullptr, &saved.Type, nullptr, &size) == ERROR_SUCCESS) {
      saved.Data.resize(size);
      saved.Present = ::RegQueryValueExW(FKey, AName, nullptr, &saved.Type, saved.Data.data(),
                                         &size) == ERROR_SUCCESS;
    }
    FSaved.push_back(std::move(saved));
  }

  HKEY FKey = nullptr;
  std::vector<TSaved> FSaved;
};

std::string Route(TIdProxyResolver& AResolver, const char* AURL) {
  return AResolver.ProxyFor(TIdURI(AURL)).Text();
}

class SystemProxy : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(values.Opened());
    ASSERT_EQ(decoys.Count(), 2u);
  }
  TPlantedDecoys decoys{L"wininet.dll", L"winhttp.dll"};
  TInternetSettingsValues values;
};

TEST_F(SystemProxy, ReadsTheProxyAndBypassListTheUserSet) {
  values.SetNumber(L"ProxyEnable", 1);
  // One proxy for every scheme: Wine's WinINet keeps only the "http=" entry of a list per
  // scheme (the list's reading is tested on its own).
  values.SetText(L"ProxyServer", L"127.0.0.1:3128");
  values.SetText(L"ProxyOverride", L"*.example.com;<local>");

  TIdInternetProxySettings settings;
  ASSERT_TRUE(ReadInternetProxySettings(settings));
  EXPECT_TRUE(settings.UseProxy);
  EXPECT_EQ(settings.ProxyServer, "127.0.0.1:3128");
  EXPECT_EQ(settings.ProxyBypass, "*.example.com;<local>");

  const std::unique_ptr<TIdProxyResolver> resolver = CreateSystemProxyResolver();
  EXPECT_EQ(Route(*resolver, "http://dist.plenwick.test/a"), "127.0.0.1:3128");
  EXPECT_EQ(Route(*resolver, "https://dist.plenwick.test/a"), "127.0.0.1:3128");
  EXPECT_EQ(Route(*resolver, "http://www.example.com/"), "DIRECT");
  EXPECT_EQ(Route(*resolver, "http://intranet/"), "DIRECT");
  EXPECT_EQ(Route(*resolver, "http://localhost:8080/"), "DIRECT");
}

TEST_F(SystemProxy, AProxyThatIsSwitchedOffIsNotUsed) {
  values.SetNumber(L"ProxyEnable", 0);
  values.SetText(L"ProxyServer", L"127.0.0.1:3128");
  values.Remove(L"ProxyOverride");

  TIdInternetProxySettings settings;
  ASSERT_TRUE(ReadInternetProxySettings(settings));
  EXPECT_FALSE(settings.UseProxy);
  const std::unique_ptr<TIdProxyResolver> resolver = CreateSystemProxyResolver();
  EXPECT_EQ(Route(*resolver, "http://dist.plenwick.test/a"), "DIRECT");
}

// The script of the test server answers "PROXY 127.0.0.1:18888" for dist.plenwick.test and
// "DIRECT" for every other host.
std::optional<std::string> ScriptURL() {
  const char* url = std::getenv("PLENWICK_PROXY_SCRIPT");
  if (!url)
    ADD_FAILURE() << "PLENWICK_PROXY_SCRIPT is not set: run this program through "
                     "tools/proxy_test_server.py";
  return url ? std::optional<std::string>(url) : std::nullopt;
}

TEST_F(SystemProxy, AConfigurationScriptChoosesForEachHost) {
  const std::optional<std::string> script = ScriptURL();
  ASSERT_TRUE(script);
  TIdInternetProxySettings settings;
  settings.AutoConfigURL = *script;
  TIdWindowsProxyResolver resolver(settings);
  EXPECT_EQ(Route(resolver, "http://dist.plenwick.test/periodic/Archive_x64-stable.zip"),
            "127.0.0.1:18888");
  EXPECT_EQ(Route(resolver, "https://dist.plenwick.test/periodic/Archive_x64-stable.zip"),
            "127.0.0.1:18888");
  EXPECT_EQ(Route(resolver, "http://mirror.plenwick.test/periodic/Archive_x64-stable.zip"),
            "DIRECT");
}

TEST_F(SystemProxy, AScriptThatCannotBeFetchedLeavesTheProxySetByHand) {
  const std::optional<std::string> script = ScriptURL();
  ASSERT_TRUE(script);
  TIdInternetProxySettings settings;
  // The same server, a script it does not have.
  settings.AutoConfigURL = script->substr(0, script->rfind('/')) + "/missing.pac";
  settings.UseProxy = true;
  settings.ProxyServer = "127.0.0.1:3128";
  TIdWindowsProxyResolver resolver(settings);
  EXPECT_EQ(Route(resolver, "http://dist.plenwick.test/a"), "127.0.0.1:3128");
  EXPECT_EQ(Route(resolver, "http://mirror.plenwick.test/a"), "127.0.0.1:3128");
}

}  // namespace
