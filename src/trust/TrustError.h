#pragma once

#include "base/Exception.h"

// A refusal of the trust checks: an archive that does not match its signature, a signature that
// cannot be had or read, an installer from another publisher. The message says which.
PLENWICK_DECLARE_EXCEPTION(ETrustError, Exception)

// The running program cannot tell whether it carries a valid signature of its own (a chain the
// machine cannot complete, an expired certificate without a time stamp, the system's libraries
// missing), so it cannot tell which publisher an installer must have: the launch is refused.
PLENWICK_DECLARE_EXCEPTION(EOwnSignatureUnknown, ETrustError)
