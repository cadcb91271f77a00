#include "http/IdSecurityContext.h"

// Natively the client speaks Basic only; Negotiate and NTLM are the Windows program's.
TIdSecurityContextFactory SystemSecurityContexts() {
  return {};
}
