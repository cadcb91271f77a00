#pragma once

// The distribution server's scheme ("http" or "https") and host, with an optional ":port", and
// the public keys its archives are signed with: constants of the build. Each program links the
// ones it was built for (see plenwick_add_downloader).
const char* DistributionScheme();
const char* DistributionHost();
// The PEM public keys (P-256) whose signatures the program accepts on its archives; empty when
// the program was built without keys and checks no signature.
const char* ArchiveKeys();
