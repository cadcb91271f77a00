#pragma once

// Constants of the build, in one object file per program (see plenwick_add_downloader): the
// distribution server's scheme ("http" or "https") and host, with an optional ":port", and the
// pace of the retries.
const char* DistributionScheme();
const char* DistributionHost();
// The wait before the first retry of a failed request, in ms; each further one doubles it. The
// product waits a second; the programs of the end-to-end runs are built with less.
int RetryFirstWait();
