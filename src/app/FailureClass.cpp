#include "app/FailureClass.h"

#include "app/SetupErrors.h"
#include "http/IdHTTPExceptions.h"
#include "net/IdExceptionCore.h"
#include "net/IdTLSExceptions.h"
#include "trust/TrustError.h"
#include "zip/ZStream.h"
#include "zip/ZipFile.h"

namespace {

// A failure of the connection layer or the server that may pass: nothing about the request or
// the answer's content is wrong.
bool Passing(const EIdException& AFailure) {
  if (const auto* status = dynamic_cast<const EIdHTTPProtocolException*>(&AFailure))
    return status->ErrorCode() / 100 == 5;
  if (const auto* proxy = dynamic_cast<const EIdHTTPProxyError*>(&AFailure))
    // A proxy that could not be reached or answered 5xx; not one that wants credentials or
    // refuses the way.
    return proxy->ErrorCode() == 0 || proxy->ErrorCode() / 100 == 5;
  return dynamic_cast<const EIdSocketError*>(&AFailure) ||
         dynamic_cast<const EIdConnectTimeout*>(&AFailure) ||
         dynamic_cast<const EIdConnectException*>(&AFailure) ||
         dynamic_cast<const EIdReadTimeout*>(&AFailure) ||
         dynamic_cast<const EIdClosedSocket*>(&AFailure) ||
         dynamic_cast<const EIdNotConnected*>(&AFailure) ||
         // A close before the end of an answer, the TLS goodbye missing at the end of a body.
         dynamic_cast<const EIdConnClosedGracefully*>(&AFailure) ||
         dynamic_cast<const EIdTLSCutOff*>(&AFailure);
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

TFailureClass ClassifyFailure(const std::exception_ptr& AFailure, TRunStage AStage) {
  // Whatever failed in the size probe failed the probe, and the probe may be tried again.
  if (AStage == TRunStage::rsProbe) return {TRunResult::rrProbeFailed, true};
  try {
    std::rethrow_exception(AFailure);
  } catch (const ESignatureNotDownloaded& e) {
    // A signature the server does not have: the archive is not signed. A download that failed
    // on the way is a failed download.
    try {
      std::rethrow_exception(e.Cause());
    } catch (const EIdHTTPProtocolException& status) {
      if (status.ErrorCode() / 100 == 4) return {TRunResult::rrArchiveRefused, false};
      return {TRunResult::rrDownloadFailed, status.ErrorCode() / 100 == 5};
    } catch (const EIdException& cause) {
      return {TRunResult::rrDownloadFailed, Passing(cause)};
    } catch (...) {
      return {TRunResult::rrArchiveRefused, false};
    }
  } catch (const EOwnSignatureUnknown&) {
    // Nothing is wrong with the archive or the installer: this program cannot vouch for what
    // it would start on this machine, so the launch is refused.
    return {TRunResult::rrLaunchFailed, false};
  } catch (const ETrustError&) {
    return {TRunResult::rrArchiveRefused, false};
  } catch (const EWebPageInstead&) {
    // Signing in to the network, then trying again, is what the message asks for.
    return {TRunResult::rrDownloadFailed, true};
  } catch (const EZipException&) {
    return {TRunResult::rrArchiveRefused, false};
  } catch (const EZLibError&) {
    return {TRunResult::rrArchiveRefused, false};
  } catch (const ENotEnoughSpace&) {
    return {TRunResult::rrDiskFailure, false};
  } catch (const ESetupFolderError&) {
    return {TRunResult::rrDiskFailure, false};
  } catch (const EFileStreamError&) {
    return {TRunResult::rrDiskFailure, false};
  } catch (const EWriteError&) {
    return {TRunResult::rrDiskFailure, false};
  } catch (const EOSError&) {
    return {TRunResult::rrDiskFailure, false};
  } catch (const EPathTooLongException&) {
    return {TRunResult::rrDiskFailure, false};
  } catch (const EDirectoryNotFoundException&) {
    return {TRunResult::rrDiskFailure, false};
  } catch (const EIdException& e) {
    return {TRunResult::rrDownloadFailed, Passing(e)};
  } catch (...) {
  }
  return ByStage(AStage);
}
