#include "trust/PublisherCheck.h"

#include "base/Exception.h"
#include "base/Format.h"
#include "base/Texts.h"
#include "trust/TrustError.h"

namespace {

// The file, held without write or delete sharing; null when it cannot be opened.
std::unique_ptr<TFileStream> Hold(const std::string& APath) {
  try {
    return std::make_unique<TFileStream>(APath, TFileStream::TMode::fmOpenRead);
  } catch (const EFileStreamError&) {
    return nullptr;
  }
}

}  // namespace

TPublisherCheck::TOwnSignature TPublisherCheck::OwnSignature() {
  if (FOwnSignature) return *FOwnSignature;
  // Whatever goes wrong here only means that the signature cannot be told: a failure must
  // neither pass for "unsigned" (which checks nothing) nor escape the run.
  FOwnSignature = TOwnSignature::osUnknown;
  try {
    std::unique_ptr<TFileStream> own =
        std::make_unique<TFileStream>(FOwnProgram, TFileStream::TMode::fmOpenRead);
    const TSigner signer = FReader->Signer(*own);
    switch (signer.Kind) {
      case TSigner::TKind::skSigned:
        FOwnSignature = TOwnSignature::osSigned;
        FOwnPublisher = signer.Publisher;
        break;
      case TSigner::TKind::skUnsigned:
        FOwnSignature = TOwnSignature::osUnsigned;
        break;
      case TSigner::TKind::skUnknown:
        FOwnProblem = signer.Problem;
        break;
    }
  } catch (const Exception& e) {
    FOwnProblem = e.Message();
  } catch (const std::exception& e) {
    FOwnProblem = e.what();
  } catch (...) {
    FOwnProblem = "?";
  }
  return *FOwnSignature;
}

std::unique_ptr<TFileStream> TPublisherCheck::Check(const std::string& AInstaller) {
  const TOwnSignature own = OwnSignature();
  if (own == TOwnSignature::osUnknown)
    throw EOwnSignatureUnknown(Format(RSOwnSignatureUnknown, FOwnProblem.c_str()));
  std::unique_ptr<TFileStream> installer = Hold(AInstaller);
  if (own == TOwnSignature::osUnsigned) return installer;
  // A file that cannot be held cannot be checked, and could change before the launch.
  if (!installer) throw ETrustError(Text(RSInstallerNotFromPublisher));
  const TSigner signer = FReader->Signer(*installer);
  if (signer.Kind != TSigner::TKind::skSigned || signer.Publisher != FOwnPublisher)
    throw ETrustError(Text(RSInstallerNotFromPublisher));
  return installer;
}
