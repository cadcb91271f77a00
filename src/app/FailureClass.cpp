#include "app/FailureClass.h"

#include "app/SetupErrors.h"
#include "http/IdHTTPStatus.h"
#include "trust/TrustError.h"
#include "zip/ZStream.h"
#include "zip/ZipFile.h"

namespace {

// Whether a failed download may pass: a connection that failed or timed out, a proxy that could
// not be reached, a server or proxy that failed (5xx); not a request or an answer that is wrong,
// nor a certificate, nor a proxy that wants credentials or refuses the way.
bool Passing(const TFailureCause& AFailure) {
  switch (AFailure.Kind) {
    case TFailureKind::fkNameNotResolved:
    case TFailureKind::fkResolverBusy:
    case TFailureKind::fkRefused:
    case TFailureKind::fkUnreachable:
    case TFailureKind::fkTimedOut:
    case TFailureKind::fkCutOff:
    case TFailureKind::fkSlow:
    case TFailureKind::fkConnection:
    case TFailureKind::fkProxyNotReached:
      return true;
    case TFailureKind::fkStatus:
    case TFailureKind::fkProxyRefusal:
      return StatusClass(AFailure.Status) == 5;
    default:
      return false;
  }
}

// Whether the failure is one of the download's own (its connection, proxy or server), which
// stands as a failed download wherever it is met.
bool OfTheDownload(TFailureKind AKind) {
  switch (AKind) {
    case TFailureKind::fkArchive:
    case TFailureKind::fkDisk:
    case TFailureKind::fkPortal:
    case TFailureKind::fkOther:
      return false;
    default:
      return true;
  }
}

TFailureClass ByStage(TRunStage AStage) {
  switch (AStage) {
    case TRunStage::rsStart:
    case TRunStage::rsFolder:
      return {TRunResult::rrDiskFailure, false};
    case TRunStage::rsProbe:
      return {TRunResult::rrProbeFailed, true};
    case TRunStage::rsSignature:
    case TRunStage::rsDownload:
      return {TRunResult::rrDownloadFailed, false};
    case TRunStage::rsExtraction:
      // What the extractor refuses that is no file of the disk: a name, a layout.
      return {TRunResult::rrArchiveRefused, false};
    case TRunStage::rsLaunch:
      return {TRunResult::rrLaunchFailed, false};
  }
  return {TRunResult::rrDownloadFailed, false};
}

}  // namespace

TFailureCause FailureCauseOf(const std::exception_ptr& AFailure) {
  if (!AFailure) return {};
  try {
    std::rethrow_exception(AFailure);
  } catch (const ETrustError&) {
    return {TFailureKind::fkArchive};
  } catch (const EZipException&) {
    return {TFailureKind::fkArchive};
  } catch (const EZLibError&) {
    return {TFailureKind::fkArchive};
  } catch (const ESetupFolderError&) {
    return {TFailureKind::fkDisk};
  } catch (...) {
  }
  return DownloadFailureCauseOf(AFailure);
}

TFailureClass ClassifyFailure(const std::exception_ptr& AFailure, TRunStage AStage) {
  // Whatever failed in the size probe failed the probe, and the probe may be tried again.
  if (AStage == TRunStage::rsProbe) return {TRunResult::rrProbeFailed, true};
  try {
    std::rethrow_exception(AFailure);
  } catch (const ESignatureNotDownloaded& e) {
    // A signature the server does not have: the archive is not signed. A download that failed
    // on the way is a failed download.
    const TFailureCause cause = FailureCauseOf(e.Cause());
    if (cause.Kind == TFailureKind::fkStatus && StatusClass(cause.Status) == 4)
      return {TRunResult::rrArchiveRefused, false};
    if (!OfTheDownload(cause.Kind)) return {TRunResult::rrArchiveRefused, false};
    return {TRunResult::rrDownloadFailed, Passing(cause)};
  } catch (const EOwnSignatureUnknown&) {
    // Nothing is wrong with the archive or the installer: this program cannot vouch for what
    // it would start on this machine, so the launch is refused.
    return {TRunResult::rrLaunchFailed, false};
  } catch (...) {
  }
  const TFailureCause failure = FailureCauseOf(AFailure);
  switch (failure.Kind) {
    case TFailureKind::fkArchive:
      return {TRunResult::rrArchiveRefused, false};
    case TFailureKind::fkDisk:
      return {TRunResult::rrDiskFailure, false};
    case TFailureKind::fkPortal:
      // Signing in to the network, then trying again, is what the message asks for.
      return {TRunResult::rrDownloadFailed, true};
    case TFailureKind::fkOther:
      return ByStage(AStage);
    default:
      return {TRunResult::rrDownloadFailed, Passing(failure)};
  }
}
