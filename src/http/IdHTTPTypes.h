#pragma once

#include "base/EnumSet.h"

enum TIdHTTPProtocolVersion { pv1_0, pv1_1 };

// "1.0" or "1.1".
inline const char* ProtocolVersionText(TIdHTTPProtocolVersion AVersion) {
  return AVersion == pv1_0 ? "1.0" : "1.1";
}

enum TIdHTTPOption {
  hoInProcessAuth,
  hoKeepOrigProtocol,
  hoForceEncodeParams,
  hoNonSSLProxyUseConnectVerb,
  hoNoParseMetaHTTPEquiv,
  hoWaitForUnexpectedData,
  hoTreat302Like303,
  hoNoProtocolErrorException
};
using TIdHTTPOptions = TEnumSet<TIdHTTPOption>;

enum TIdHTTPConnectionType { ctNormal, ctSSL, ctProxy, ctSSLProxy };

// What the request loop does after a response.
enum TIdHTTPWhatsNext { wnGoToURL, wnJustExit, wnDontKnow, wnReadAndGo, wnAuthRequest };
