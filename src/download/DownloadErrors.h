#pragma once

#include "base/Exception.h"

// The failures the download layer raises itself, each a class of its own so that the run's
// outcome tells them apart.

// A volume has not the room the archive or its files need ("Setup needs 1.2 GB free on C:, but
// only ...").
PLENWICK_DECLARE_EXCEPTION(ENotEnoughSpace, Exception)

// A web page came where the setup archive (or its signature) was expected: the sign-in page of
// a public network, a proxy's notice. Its message says so (RSWebPageInstead).
PLENWICK_DECLARE_EXCEPTION(EWebPageInstead, Exception)
