#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "trust/ArchiveVerifier.h"

class TDownloadClient;
class TStream;

// The run's archive signatures: each archive's, fetched from beside it after the size probe and
// accepted before anything is written, then the archive checked against it once downloaded.
// Made from the program's built-in keys; without keys nothing is fetched or checked.
class TArchiveSignatures {
 public:
  // APemKeys: the PEM public keys built into the program (empty: none). Keys that cannot be
  // read refuse every archive, at the first Fetch.
  explicit TArchiveSignatures(std::string APemKeys) : FPemKeys(std::move(APemKeys)) {}

  bool Enabled() const;
  // Where the signature of the archive at AArchiveURL lies: ".sig" added to the path, the query
  // kept ("https://cdn.example/a.zip?token=x" -> "https://cdn.example/a.zip.sig?token=x").
  static std::string SignatureURL(const std::string& AArchiveURL);
  // Fetches SignatureURL(AURL) (AURL: where the archive's size probe ended) through the client, the
  // same way as the archive, taking at most 4 KiB, and accepts it for the archive AName of
  // ALength bytes. Raises ETrustError with the reason (ESignatureNotDownloaded when the download
  // failed), and EWebPageInstead when a web page came in its place.
  void Fetch(TDownloadClient& AClient, const std::string& AURL, const std::string& AName,
             int64_t ALength);
  // Checks the archive downloaded from AURL against the signature accepted for it; raises
  // ETrustError when it does not match (or none was accepted).
  void Check(const std::string& AURL, TStream& AArchive) const;
  // The signature accepted for the archive at AURL; null when none was.
  const TArchiveSignature* Accepted(const std::string& AURL) const;

 private:
  const TArchiveVerifier& Verifier();

  std::string FPemKeys;
  std::unique_ptr<TArchiveVerifier> FVerifier;
  std::map<std::string, TArchiveSignature> FAccepted;
};
