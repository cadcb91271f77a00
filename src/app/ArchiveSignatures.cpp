#include "app/ArchiveSignatures.h"

#include <algorithm>
#include <string_view>

#include "app/SetupErrors.h"
#include "base/Format.h"
#include "base/MemoryStream.h"
#include "base/Texts.h"
#include "download/DownloadClient.h"
#include "download/WebPageCheck.h"
#include "trust/TrustError.h"

namespace {

// How every signature file begins.
constexpr char kSignatureStart[] = "plenwick-archive-signature:";

// A memory stream that refuses bytes written past its bound, however the body comes (announced,
// chunked or until the close): the signature file is small, and a server must not be able to
// fill the memory with it. Not a TMemoryStream itself, so every byte passes through Write.
class TBoundedStream : public TStream {
 public:
  explicit TBoundedStream(int64_t ALimit) : FLimit(ALimit) {}

  int64_t Read(void* ABuffer, int64_t ACount) override { return FData.Read(ABuffer, ACount); }
  int64_t Write(const void* ABuffer, int64_t ACount) override {
    if (ACount > 0 && FData.Position() + ACount > FLimit) Refuse();
    return FData.Write(ABuffer, ACount);
  }
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override {
    return FData.Seek(AOffset, AOrigin);
  }
  int64_t Size() override { return FData.Size(); }
  // A reader sizes the stream ahead of the bytes it expects (a whole piece of a body read until
  // the close): held at the bound, since only bytes that come are refused.
  void SetSize(int64_t ANewSize) override { FData.SetSize(std::min(ANewSize, FLimit)); }

  std::string_view Text() {
    return {reinterpret_cast<const char*>(FData.Memory()), static_cast<size_t>(FData.Size())};
  }

 private:
  [[noreturn]] void Refuse() const {
    throw ETrustError(Format(RSSignatureTooLarge, static_cast<int>(FLimit)));
  }

  int64_t FLimit;
  TMemoryStream FData;
};

}  // namespace

std::string TArchiveSignatures::SignatureURL(const std::string& AArchiveURL) {
  // The path ends where the query or the fragment begins; a signed address's query (a CDN's
  // token) stays as it is.
  const size_t pathEnd = std::min(AArchiveURL.find('?'), AArchiveURL.find('#'));
  if (pathEnd == std::string::npos) return AArchiveURL + ".sig";
  return AArchiveURL.substr(0, pathEnd) + ".sig" + AArchiveURL.substr(pathEnd);
}

bool TArchiveSignatures::Enabled() const {
  return FPemKeys.find_first_not_of(" \t\r\n") != std::string::npos;
}

const TArchiveVerifier& TArchiveSignatures::Verifier() {
  if (!FVerifier) FVerifier = std::make_unique<TArchiveVerifier>(ParseArchiveKeys(FPemKeys));
  return *FVerifier;
}

void TArchiveSignatures::Fetch(TDownloadClient& AClient, const std::string& AURL,
                               const std::string& AName, int64_t ALength) {
  const TArchiveVerifier& verifier = Verifier();
  TBoundedStream file(TArchiveSignature::kMaxFileSize);
  try {
    AClient.Get(SignatureURL(AURL), file, kSignatureStart);
  } catch (const EWebPageInstead&) {
    // Told by the client from the page's first bytes, before the rest was read.
    throw;
  } catch (const ETrustError&) {
    // Past the bound: a network's sign-in page is larger than any signature.
    RefuseWebPage(AClient.ResponseContentType(), file, kSignatureStart);
    throw;
  } catch (const Exception& e) {
    // Missing (404), refused, cut off: the server's or the connection's own words say which, as
    // a sentence of their own.
    std::string reason = e.Message();
    if (!reason.empty() && reason.back() != '.') reason += '.';
    throw ESignatureNotDownloaded(Format(RSSignatureNotDownloaded, reason.c_str()),
                                  std::current_exception());
  }
  // A network's sign-in page is told as such, not as a malformed signature.
  RefuseWebPage(AClient.ResponseContentType(), file, kSignatureStart);
  FAccepted[AURL] = verifier.Accept(file.Text(), AName, ALength);
}

const TArchiveSignature* TArchiveSignatures::Accepted(const std::string& AURL) const {
  const auto accepted = FAccepted.find(AURL);
  return accepted == FAccepted.end() ? nullptr : &accepted->second;
}

void TArchiveSignatures::Check(const std::string& AURL, TStream& AArchive) const {
  const auto accepted = FAccepted.find(AURL);
  if (accepted == FAccepted.end()) throw ETrustError(Text(RSArchiveMismatch));
  FVerifier->Check(accepted->second, AArchive);
}
