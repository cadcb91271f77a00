#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "trust/EcdsaP256.h"
#include "trust/Sha256.h"

// The signature file that lies beside a setup archive ("<archive URL>.sig"), version 1: plain
// text, one field a line, each line "<field>: <value>" ended by a line feed, in this order:
//
//   plenwick-archive-signature: 1
//   name: Archive_x64-stable.zip            the archive's file name, as the program derives it
//   size: 1048576                           its length in bytes, in decimal
//   sha256: <64 lower-case hex digits>      its SHA-256
//   key: <64 lower-case hex digits>         the signing key's identifier (TArchiveKey::Id)
//   signature: <128 lower-case hex digits>  ECDSA P-256 with SHA-256 over the statement: r || s
//
// The statement is the first five lines exactly as above, line feeds included (Statement()).
// docs/trust.md describes the format and how a vendor makes it (scripts/sign-archive.sh).
struct TArchiveSignature {
  static constexpr int kVersion = 1;
  // The most a signature file may hold; a larger one is refused while it is fetched.
  static constexpr int kMaxFileSize = 4096;

  std::string Name;
  int64_t Size = 0;
  TSha256Digest Sha256{};
  TSha256Digest KeyId{};
  TEcdsaP256Signature Signature{};

  // The text the signature is made over.
  std::string Statement() const;
  // The whole file.
  std::string Text() const;
};

// Reads a signature file. Raises ETrustError "The signature of the setup archive is malformed
// (...)" naming the first line in fault: a field out of its place, a value out of its form,
// a line that does not end in a line feed, anything after the last line.
TArchiveSignature ParseArchiveSignature(std::string_view AText);
