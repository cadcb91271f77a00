#pragma once

// The distribution server's scheme ("http" or "https") and host, with an optional ":port":
// constants of the build. Each program links the pair it was built for (see
// plenwick_add_downloader).
const char* DistributionScheme();
const char* DistributionHost();
