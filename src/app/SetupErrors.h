#pragma once

#include <exception>
#include <string>

#include "base/Exception.h"
#include "download/DownloadErrors.h"
#include "trust/TrustError.h"

// The failures the downloader raises itself, each a class of its own so that the run's outcome
// (FailureClass.h) tells them apart.

// The setup folder could not be prepared: no current folder, a link or a file in its place, an
// old one that could not be removed, one that could not be created.
PLENWICK_DECLARE_EXCEPTION(ESetupFolderError, Exception)

// The download's own (ENotEnoughSpace, EWebPageInstead) are in download/DownloadErrors.h.

// The archive's signature could not be downloaded; Cause is the failure of the download (a
// status such as 404, a connection that failed), which tells whether trying again may help.
class ESignatureNotDownloaded : public ETrustError {
 public:
  ESignatureNotDownloaded(std::string AMessage, std::exception_ptr ACause)
      : ETrustError(std::move(AMessage)), FCause(std::move(ACause)) {}
  const std::exception_ptr& Cause() const noexcept { return FCause; }

 private:
  std::exception_ptr FCause;
};
