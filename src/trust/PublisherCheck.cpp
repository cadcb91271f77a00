#include "trust/PublisherCheck.h"

#include "base/Exception.h"
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
  if (!FOwnSignature) {
    std::unique_ptr<TFileStream> own = Hold(FOwnProgram);
    const std::optional<TPublisher> signer =
        own ? FReader->TrustedSigner(*own) : std::optional<TPublisher>();
    // A program that cannot read its own file cannot tell whether it is signed: it takes the
    // stricter side.
    FOwnSignature = !own     ? TOwnSignature::osUnknown
                    : signer ? TOwnSignature::osSigned
                             : TOwnSignature::osUnsigned;
    if (signer) FOwnPublisher = *signer;
  }
  return *FOwnSignature;
}

std::unique_ptr<TFileStream> TPublisherCheck::Check(const std::string& AInstaller) {
  const TOwnSignature own = OwnSignature();
  std::unique_ptr<TFileStream> installer = Hold(AInstaller);
  if (own == TOwnSignature::osUnsigned) return installer;
  // A file that cannot be held cannot be checked, and could change before the launch.
  if (own == TOwnSignature::osUnknown || !installer)
    throw ETrustError(Text(RSInstallerNotFromPublisher));
  const std::optional<TPublisher> signer = FReader->TrustedSigner(*installer);
  if (!signer || *signer != FOwnPublisher) throw ETrustError(Text(RSInstallerNotFromPublisher));
  return installer;
}
