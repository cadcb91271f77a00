#pragma once

#include <functional>
#include <memory>
#include <string>

#include "http/proxy/IdProxyCredentialProvider.h"
#include "http/proxy/IdProxyServer.h"
#include "ui/Control.h"

// The product's store and prompt for a proxy's credentials (Windows): the Windows Credential
// Manager, under a generic credential named by ProxyCredentialTarget, and the system's
// credential dialog, captioned ACaption and owned by the window AOwner gives, with a choice to
// remember what was typed. Natively there is none (null): the proxy URL of the environment is
// the only source there. This is the only place where the proxy's sign-in meets the user.
std::unique_ptr<TIdProxyCredentialProvider> CreateProxyCredentials(
    std::string ACaption, std::function<TWinHandle()> AOwner);

// AProvider for a run that must not ask anybody (/quiet, /passive): what it keeps still serves,
// but the user is never asked, as if every prompt were cancelled. Null stays null.
std::unique_ptr<TIdProxyCredentialProvider> WithoutPrompt(
    std::unique_ptr<TIdProxyCredentialProvider> AProvider);

// The Credential Manager's name for a proxy's credentials: the program's and the proxy's
// ("Plenwick Suite Setup/proxy/proxy.example:3128").
std::string ProxyCredentialTarget(const TIdProxyServer& AProxy);

// What the dialog says: the proxy's name, and whether the last answer was refused.
std::string ProxyCredentialMessage(const TIdProxyServer& AProxy, bool ARefused);
