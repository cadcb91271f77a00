#pragma once

// Constants of the build, in one object file per program (see plenwick_add_downloader): the
// distribution server's scheme ("http" or "https") and host, with an optional ":port", the
// public keys its archives are signed with.
const char* DistributionScheme();
const char* DistributionHost();
// The PEM public keys (P-256) whose signatures the program accepts on its archives; empty when
// the program was built without keys and checks no signature.
const char* ArchiveKeys();
