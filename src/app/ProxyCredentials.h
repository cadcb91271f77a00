#pragma once

#include <functional>
#include <memory>
#include <string>

#include "http/proxy/IdProxyCredentialProvider.h"
#include "http/proxy/IdProxyServer.h"
#include "ui/Control.h"

// The product's store and prompt for a proxy's credentials (Windows): the Windows Credential
// Manager, under a generic credential named by ProxyCredentialTarget for each kind, and the
// system's credential dialog, captioned ACaption and owned by the window AOwner gives, with a
// choice to remember what was typed. Natively there is none (null): the proxy URL of the
// environment is the only source there. This is the only place where the proxy's sign-in meets
// the user.
std::unique_ptr<TIdProxyCredentialProvider> CreateProxyCredentials(
    std::string ACaption, std::function<TWinHandle()> AOwner);

// AProvider for a run that must not ask anybody (/quiet, /passive): what it keeps still serves,
// each kind for its own schemes (Basic gets nothing but a Basic credential kept for that proxy),
// but the user is never asked, as if every prompt were cancelled. Null stays null.
std::unique_ptr<TIdProxyCredentialProvider> WithoutPrompt(
    std::unique_ptr<TIdProxyCredentialProvider> AProvider);

// The Credential Manager's name for a proxy's credentials of a kind: the program's, the kind's
// and the proxy's host and port. NTLM and Negotiate:
// "Plenwick Suite Setup/proxy/proxy.example:3128" (the name entries have always had, so those
// kept before serve them still); Basic: "Plenwick Suite Setup/proxy-basic/proxy.example:3128",
// which only Basic reads, since its password goes unencrypted.
std::string ProxyCredentialTarget(const TIdProxyServer& AProxy, TIdProxyCredentialKind AKind);

// What the dialog says, on one line: the proxy's name and, for Basic, that the password goes to
// it unencrypted; otherwise whether the last answer was refused (for Basic the dialog's own mark
// of a wrong password tells that).
std::string ProxyCredentialMessage(const TIdProxyServer& AProxy, TIdProxyCredentialKind AKind,
                                   bool ARefused);
