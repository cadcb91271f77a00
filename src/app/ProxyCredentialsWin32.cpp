// A proxy's credentials kept in the Windows Credential Manager and asked for with the system's
// credential dialog (credui, loaded at run time from the system folder).
#include <windows.h>

#include <wincred.h>

#include "app/ProxyCredentials.h"
#include "base/SecretString.h"
#include "base/SystemLibrary.h"
#include "base/UniqueHandle.h"
#include "base/Utf.h"

namespace {

using TCredUIPromptForCredentialsW = decltype(&::CredUIPromptForCredentialsW);

struct TCredentialTraits {
  using Type = PCREDENTIALW;
  static PCREDENTIALW Invalid() { return nullptr; }
  static void Close(PCREDENTIALW ACredential) {
    // The blob held the password.
    SecureWipe(ACredential->CredentialBlob, ACredential->CredentialBlobSize);
    ::CredFree(ACredential);
  }
};
using TUniqueCredential = TUniqueHandle<TCredentialTraits>;

// A password in the Credential Manager's form: UTF-16 without a terminator, as the system's own
// dialogs keep it.
std::wstring WidePassword(const TSecretString& APassword) {
  return ToWide(APassword.Text());
}

class TWindowsProxyCredentials final : public TIdProxyCredentialProvider {
 public:
  TWindowsProxyCredentials(std::string ACaption, std::function<TWinHandle()> AOwner)
      : FCaption(ToWide(ACaption)), FOwner(std::move(AOwner)) {}

  std::optional<TIdCredentials> Stored(const TIdProxyServer& AProxy,
                                       TIdProxyCredentialKind AKind) override {
    const std::wstring target = ToWide(ProxyCredentialTarget(AProxy, AKind));
    PCREDENTIALW found = nullptr;
    if (!::CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &found)) return std::nullopt;
    const TUniqueCredential credential(found);
    TIdCredentials credentials;
    if (credential.get()->UserName) credentials.Username = FromWide(credential.get()->UserName);
    std::wstring password(reinterpret_cast<const wchar_t*>(credential.get()->CredentialBlob),
                          credential.get()->CredentialBlobSize / sizeof(wchar_t));
    std::string text = FromWide(password);
    credentials.Password = text;
    SecureWipe(password);
    SecureWipe(text);
    return credentials;
  }

  std::optional<TIdAskedCredentials> Ask(const TIdProxyServer& AProxy, const std::string& AScheme,
                                         bool ARefused) override {
    const TIdProxyCredentialKind kind = ProxyCredentialKindFor(AScheme);
    const TSystemLibrary credui(L"credui.dll");
    const auto prompt =
        credui.Function<TCredUIPromptForCredentialsW>("CredUIPromptForCredentialsW");
    // Nobody can be asked: as if the user cancelled.
    if (!prompt) return std::nullopt;
    const std::wstring target = ToWide(ProxyCredentialTarget(AProxy, kind));
    const std::wstring message = ToWide(ProxyCredentialMessage(AProxy, kind, ARefused));
    CREDUI_INFOW info{};
    info.cbSize = sizeof(info);
    info.hwndParent = FOwner ? static_cast<HWND>(FOwner()) : nullptr;
    info.pszMessageText = message.c_str();
    info.pszCaptionText = FCaption.c_str();
    wchar_t user[CREDUI_MAX_USERNAME_LENGTH + 1] = {};
    wchar_t password[CREDUI_MAX_PASSWORD_LENGTH + 1] = {};
    const std::wstring last = ToWide(FLastUser);
    last.copy(user, CREDUI_MAX_USERNAME_LENGTH);
    BOOL remember = FALSE;
    // The program keeps what worked itself (CredWriteW, once the proxy took it), never what
    // was merely typed.
    DWORD flags = CREDUI_FLAGS_GENERIC_CREDENTIALS | CREDUI_FLAGS_ALWAYS_SHOW_UI |
                  CREDUI_FLAGS_DO_NOT_PERSIST | CREDUI_FLAGS_SHOW_SAVE_CHECK_BOX |
                  CREDUI_FLAGS_EXCLUDE_CERTIFICATES;
    if (ARefused) flags |= CREDUI_FLAGS_INCORRECT_PASSWORD;
    const DWORD result =
        prompt(&info, target.c_str(), nullptr, 0, user, CREDUI_MAX_USERNAME_LENGTH + 1, password,
               CREDUI_MAX_PASSWORD_LENGTH + 1, &remember, flags);
    std::optional<TIdAskedCredentials> answer;
    if (result == NO_ERROR) {
      answer.emplace();
      std::wstring name = user;
      // Wine's dialog writes the target before a name typed without a domain, as if the
      // target were one.
      if (name.size() > target.size() && name.compare(0, target.size(), target) == 0 &&
          name[target.size()] == L'\\')
        name.erase(0, target.size() + 1);
      answer->Credentials.Username = FromWide(name);
      std::string text = FromWide(password);
      answer->Credentials.Password = text;
      SecureWipe(text);
      answer->Remember = remember != FALSE;
      FLastUser = answer->Credentials.Username;
    }
    SecureWipe(password, sizeof(password));
    return answer;
  }

  void Store(const TIdProxyServer& AProxy, TIdProxyCredentialKind AKind,
             const TIdCredentials& ACredentials) override {
    std::wstring target = ToWide(ProxyCredentialTarget(AProxy, AKind));
    std::wstring user = ToWide(ACredentials.Username);
    std::wstring password = WidePassword(ACredentials.Password);
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.UserName = user.data();
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(password.data());
    credential.CredentialBlobSize = static_cast<DWORD>(password.size() * sizeof(wchar_t));
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    // Not kept is no failure of the download: the user is asked again next time.
    ::CredWriteW(&credential, 0);
    SecureWipe(password);
  }

 private:
  std::wstring FCaption;
  std::function<TWinHandle()> FOwner;
  // The user name typed last, offered again when the answer was refused.
  std::string FLastUser;
};

}  // namespace

std::unique_ptr<TIdProxyCredentialProvider> CreateProxyCredentials(
    std::string ACaption, std::function<TWinHandle()> AOwner) {
  return std::make_unique<TWindowsProxyCredentials>(std::move(ACaption), std::move(AOwner));
}
