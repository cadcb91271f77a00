#pragma once

#include "base/Exception.h"

// A refusal of the trust checks: an archive that does not match its signature, a signature that
// cannot be had or read, an installer from another publisher. The message says which.
PLENWICK_DECLARE_EXCEPTION(ETrustError, Exception)
