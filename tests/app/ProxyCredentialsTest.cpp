// The proxy's credentials as the program keeps and asks for them: each kind under a name of its
// own, the prompt that warns when the password goes unencrypted, the quiet run's store that
// asks nobody, and (on Windows) the Credential Manager keeping the kinds apart.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ProxyCredentials.h"

#ifdef _WIN32
#include <windows.h>

#include <wincred.h>

#include "base/Utf.h"
#endif

namespace {

constexpr auto kSignIn = TIdProxyCredentialKind::pkSignIn;
constexpr auto kBasic = TIdProxyCredentialKind::pkBasic;

TIdProxyServer Proxy(const char* AHost, uint16_t APort) {
  TIdProxyServer proxy;
  proxy.Host = AHost;
  proxy.Port = APort;
  return proxy;
}

TEST(ProxyCredentialTarget, NamesTheKindAndTheProxysHostAndPort) {
  TIdProxyServer withSecret = Proxy("proxy.example", 3128);
  withSecret.Credentials = {"alice", "hunter2"};
  struct Case {
    TIdProxyServer proxy;
    TIdProxyCredentialKind kind;
    std::string target;
  };
  const std::vector<Case> cases = {
      // The name entries have always had: NTLM and Negotiate keep reading them.
      {Proxy("proxy.example", 3128), kSignIn, "Plenwick Suite Setup/proxy/proxy.example:3128"},
      {Proxy("proxy.example", 3128), kBasic, "Plenwick Suite Setup/proxy-basic/proxy.example:3128"},
      {Proxy("proxy.example", 8080), kBasic, "Plenwick Suite Setup/proxy-basic/proxy.example:8080"},
      {Proxy("2001:db8::1", 3128), kBasic, "Plenwick Suite Setup/proxy-basic/[2001:db8::1]:3128"},
      // The settings' credentials are never part of a name.
      {withSecret, kBasic, "Plenwick Suite Setup/proxy-basic/proxy.example:3128"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    EXPECT_EQ(ProxyCredentialTarget(c.proxy, c.kind), c.target);
  }
}

TEST(ProxyCredentialMessage, BasicsPromptSaysThePasswordGoesUnencrypted) {
  const TIdProxyServer proxy = Proxy("proxy.example", 3128);
  struct Case {
    TIdProxyCredentialKind kind;
    bool refused;
    std::string message;
  };
  const std::vector<Case> cases = {
      {kSignIn, false, "Sign in to the proxy server proxy.example:3128."},
      {kSignIn, true, "The proxy server proxy.example:3128 refused the last sign-in."},
      // A refusal is marked by the dialog itself (its wrong-password flag).
      {kBasic, false, "Password sent unencrypted to the proxy proxy.example:3128."},
      {kBasic, true, "Password sent unencrypted to the proxy proxy.example:3128."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(ProxyCredentialMessage(proxy, c.kind, c.refused), c.message);
  }
}

// What the wrapped store was asked.
struct TStoreLog {
  std::vector<std::string> Calls;
};

class TLoggedStore final : public TIdProxyCredentialProvider {
 public:
  explicit TLoggedStore(std::shared_ptr<TStoreLog> ALog) : FLog(std::move(ALog)) {}
  std::optional<TIdCredentials> Stored(const TIdProxyServer& AProxy,
                                       TIdProxyCredentialKind AKind) override {
    FLog->Calls.push_back("stored " + ProxyCredentialTarget(AProxy, AKind));
    if (AKind == kBasic) return TIdCredentials{"alice", "basic pw"};
    return TIdCredentials{"ACME\\alice", "sign-in pw"};
  }
  std::optional<TIdAskedCredentials> Ask(const TIdProxyServer&, const std::string& AScheme,
                                         bool) override {
    FLog->Calls.push_back("ask " + AScheme);
    return TIdAskedCredentials{{"mallory", "typed"}, true};
  }
  void Store(const TIdProxyServer& AProxy, TIdProxyCredentialKind AKind,
             const TIdCredentials& ACredentials) override {
    FLog->Calls.push_back("store " + ProxyCredentialTarget(AProxy, AKind) + " " +
                          ACredentials.Username);
  }

 private:
  std::shared_ptr<TStoreLog> FLog;
};

TEST(WithoutPrompt, KeepsEachKindForItsOwnSchemesAndAsksNobody) {
  EXPECT_EQ(WithoutPrompt(nullptr), nullptr);

  auto log = std::make_shared<TStoreLog>();
  const std::unique_ptr<TIdProxyCredentialProvider> quiet =
      WithoutPrompt(std::make_unique<TLoggedStore>(log));
  const TIdProxyServer proxy = Proxy("proxy.example", 3128);
  const std::optional<TIdCredentials> basic = quiet->Stored(proxy, kBasic);
  ASSERT_TRUE(basic);
  EXPECT_EQ(basic->Password.Text(), "basic pw");
  const std::optional<TIdCredentials> signIn = quiet->Stored(proxy, kSignIn);
  ASSERT_TRUE(signIn);
  EXPECT_EQ(signIn->Password.Text(), "sign-in pw");
  for (const char* scheme : {"Basic", "NTLM"})
    EXPECT_FALSE(quiet->Ask(proxy, scheme, false));
  quiet->Store(proxy, kBasic, {"bob", "x"});
  EXPECT_EQ(log->Calls, (std::vector<std::string>{
                            "stored Plenwick Suite Setup/proxy-basic/proxy.example:3128",
                            "stored Plenwick Suite Setup/proxy/proxy.example:3128",
                            "store Plenwick Suite Setup/proxy-basic/proxy.example:3128 bob",
                        }));
}

#ifdef _WIN32
// The test's entries in the Credential Manager, removed before and after.
class TCredentialEntries {
 public:
  explicit TCredentialEntries(std::vector<std::string> ATargets) : FTargets(std::move(ATargets)) {
    Remove();
  }
  ~TCredentialEntries() { Remove(); }
  TCredentialEntries(const TCredentialEntries&) = delete;
  TCredentialEntries& operator=(const TCredentialEntries&) = delete;

 private:
  void Remove() {
    for (const std::string& target : FTargets)
      ::CredDeleteW(ToWide(target).c_str(), CRED_TYPE_GENERIC, 0);
  }
  std::vector<std::string> FTargets;
};

// An entry as an administrator's script or an earlier version of the program writes it.
bool WriteEntry(const std::string& ATarget, const std::string& AUser,
                const std::string& APassword) {
  std::wstring target = ToWide(ATarget);
  std::wstring user = ToWide(AUser);
  std::wstring password = ToWide(APassword);
  CREDENTIALW credential{};
  credential.Type = CRED_TYPE_GENERIC;
  credential.TargetName = target.data();
  credential.UserName = user.data();
  credential.CredentialBlob = reinterpret_cast<LPBYTE>(password.data());
  credential.CredentialBlobSize = static_cast<DWORD>(password.size() * sizeof(wchar_t));
  credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
  return ::CredWriteW(&credential, 0) != FALSE;
}

std::string PasswordOf(const std::optional<TIdCredentials>& ACredentials) {
  return ACredentials ? ACredentials->Username + ":" + ACredentials->Password.Text() : "(none)";
}

TEST(WindowsProxyCredentials, KeepEachKindUnderItsOwnName) {
  const TIdProxyServer proxy = Proxy("creds-test.invalid", 47731);
  const TIdProxyServer otherPort = Proxy("creds-test.invalid", 47732);
  const TCredentialEntries entries({ProxyCredentialTarget(proxy, kSignIn),
                                    ProxyCredentialTarget(proxy, kBasic),
                                    ProxyCredentialTarget(otherPort, kBasic)});
  const std::unique_ptr<TIdProxyCredentialProvider> store =
      CreateProxyCredentials("Proxy credentials test", nullptr);

  // An entry of today's name serves NTLM and Negotiate, never Basic.
  ASSERT_TRUE(WriteEntry("Plenwick Suite Setup/proxy/creds-test.invalid:47731", "ACME\\alice",
                         "sign-in pw"));
  EXPECT_EQ(PasswordOf(store->Stored(proxy, kSignIn)), "ACME\\alice:sign-in pw");
  EXPECT_EQ(PasswordOf(store->Stored(proxy, kBasic)), "(none)");

  // Kept for Basic: read for Basic on that host and port alone.
  store->Store(proxy, kBasic, {"alice", "basic pw"});
  EXPECT_EQ(PasswordOf(store->Stored(proxy, kBasic)), "alice:basic pw");
  EXPECT_EQ(PasswordOf(store->Stored(proxy, kSignIn)), "ACME\\alice:sign-in pw");
  EXPECT_EQ(PasswordOf(store->Stored(otherPort, kBasic)), "(none)");

  // Written by hand under the Basic name (as cmdkey /generic does), it serves Basic.
  ASSERT_TRUE(
      WriteEntry("Plenwick Suite Setup/proxy-basic/creds-test.invalid:47732", "bob", "by hand"));
  EXPECT_EQ(PasswordOf(store->Stored(otherPort, kBasic)), "bob:by hand");
  EXPECT_EQ(PasswordOf(store->Stored(otherPort, kSignIn)), "(none)");
}
#endif

}  // namespace
