#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/FileStream.h"

// Who signed a program: the subject of its Authenticode signer's certificate, as far as the
// publisher rule compares it.
struct TPublisher {
  std::string Organisation;
  std::string CommonName;

  bool operator==(const TPublisher&) const = default;
};

// Reads a file's Authenticode signer through the platform.
class TSignerReader {
 public:
  virtual ~TSignerReader() = default;
  // The publisher whose signature the open file carries, intact, its signer's chain ending at a
  // root the system trusts; none when it carries no such signature.
  virtual std::optional<TPublisher> TrustedSigner(TFileStream& AFile) = 0;
};

// The platform's reader: WinVerifyTrust and the signer's chain on Windows. Natively no file
// carries an Authenticode signature (the native program is no Windows program), so its reader
// finds none and the rule below never applies there.
std::unique_ptr<TSignerReader> CreateSignerReader();

// The publisher rule of the installer's launch: a program that carries a valid signature of
// its own starts only an installer signed by the same publisher.
class TPublisherCheck {
 public:
  // AOwnProgram: the running program's file.
  explicit TPublisherCheck(std::string AOwnProgram,
                           std::unique_ptr<TSignerReader> AReader = CreateSignerReader())
      : FOwnProgram(std::move(AOwnProgram)), FReader(std::move(AReader)) {}

  // Opens the installer without write or delete sharing and, when this program is signed,
  // requires the installer's signature from the same publisher (organisation and common name).
  // Returns the open file: it is to be kept until the installer has started, so that the file
  // started is the file checked. A program without a signature of its own checks nothing; it
  // still holds the file when it can be opened, and gets none when it cannot (the launch then
  // tells what is wrong). Raises ETrustError "The installer is not signed by the publisher of
  // this program." when the rule does not hold or the installer cannot be opened to check it.
  std::unique_ptr<TFileStream> Check(const std::string& AInstaller);

  // What the running program's own file says of its signature (read once).
  enum class TOwnSignature {
    osUnsigned,  // no valid signature: nothing is checked
    osSigned,    // signed by OwnPublisher()
    osUnknown,   // the file could not be read: nothing that needs a publisher is started
  };
  TOwnSignature OwnSignature();
  const TPublisher& OwnPublisher() { return FOwnPublisher; }

 private:
  std::string FOwnProgram;
  std::unique_ptr<TSignerReader> FReader;
  std::optional<TOwnSignature> FOwnSignature;
  TPublisher FOwnPublisher;
};
