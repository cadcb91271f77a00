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

// What a file's Authenticode signature says, as the platform reads it.
struct TSigner {
  enum class TKind {
    // Intact, its signer's chain ending at a root the system trusts: Publisher signed it.
    skSigned,
    // No signature at all: the system says none is there, or the file has no certificate table.
    skUnsigned,
    // Anything else: a broken signature, a chain the machine cannot complete or does not trust,
    // an expired certificate without a time stamp. Whether the file is signed cannot be told.
    skUnknown,
  };
  TKind Kind = TKind::skUnsigned;
  TPublisher Publisher;
  // For skUnknown, what failed, for the log and the user: the system's code ("0x800B010A").
  std::string Problem;
};

// Reads a file's Authenticode signer through the platform.
class TSignerReader {
 public:
  virtual ~TSignerReader() = default;
  // What the open file's signature says. Raises ETrustError when the system's libraries for the
  // check cannot be loaded.
  virtual TSigner Signer(TFileStream& AFile) = 0;
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
  // this program." when the rule does not hold or the installer cannot be opened to check it,
  // and EOwnSignatureUnknown when this program cannot tell whether it is signed itself.
  std::unique_ptr<TFileStream> Check(const std::string& AInstaller);

  // What the running program's own file says of its signature (read once; never raises).
  enum class TOwnSignature {
    osUnsigned,  // no signature at all: nothing is checked
    osSigned,    // signed by OwnPublisher()
    osUnknown,   // cannot be told (OwnProblem() says why): nothing that needs a publisher starts
  };
  TOwnSignature OwnSignature();
  const TPublisher& OwnPublisher() { return FOwnPublisher; }
  // Why the own signature cannot be told: the system's code, or why the file or the system's
  // libraries could not be read.
  const std::string& OwnProblem() { return FOwnProblem; }

 private:
  std::string FOwnProgram;
  std::unique_ptr<TSignerReader> FReader;
  std::optional<TOwnSignature> FOwnSignature;
  TPublisher FOwnPublisher;
  std::string FOwnProblem;
};
