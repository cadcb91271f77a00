#pragma once

#include <exception>
#include <string>

#include "base/Exception.h"
#include "trust/TrustError.h"

// The failures the downloader raises itself, each a class of its own so that the run's outcome
// (FailureClass.h) tells them apart.

// The setup folder could not be prepared: no current folder, a link or a file in its place, an
// old one that could not be removed, one that could not be created.
PLENWICK_DECLARE_EXCEPTION(ESetupFolderError, Exception)

// A volume has not the room the archive or its files need ("Setup needs 1.2 GB free on C:, but
// only ...").
PLENWICK_DECLARE_EXCEPTION(ENotEnoughSpace, Exception)

// A web page came where the setup archive (or its signature) was expected: the sign-in page of
// a public network, a proxy's notice. Its message says so (RSWebPageInstead).
PLENWICK_DECLARE_EXCEPTION(EWebPageInstead, Exception)

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
