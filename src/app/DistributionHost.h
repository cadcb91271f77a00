#pragma once

// The distribution server's host, with an optional ":port": a constant of the build. Each
// program links the one it was built for (see plenwick_add_downloader).
const char* DistributionHost();
