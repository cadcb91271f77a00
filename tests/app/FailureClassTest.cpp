// What a failure means for the run (its exit code, and whether trying again may help), and the
// web page that comes where the archive was expected.

#include <gtest/gtest.h>

#include <exception>
#include <string>

#include "app/FailureClass.h"
#include "app/SetupErrors.h"
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "download/ResumeState.h"
#include "download/WebPageCheck.h"
#include "http/IdHTTPExceptions.h"
#include "net/IdExceptionCore.h"
#include "net/IdTLSExceptions.h"
#include "trust/TrustError.h"
#include "zip/ZipFile.h"

namespace {

template <typename E>
std::exception_ptr Failure(E AException) {
  return std::make_exception_ptr(std::move(AException));
}

EIdHTTPProtocolException Status(int ACode) {
  return EIdHTTPProtocolException(ACode, "HTTP/1.1 " + std::to_string(ACode) + " X", "");
}

TEST(FailureClass, TellsTheOutcomeAndWhetherTryingAgainMayHelp) {
  const std::exception_ptr refused = Failure(Status(404));
  const struct {
    const char* name;
    std::exception_ptr failure;
    TRunStage stage;
    TRunResult result;
    bool tryAgain;
  } cases[] = {
      // Whatever fails in the size probe fails the probe, which may be tried again.
      {"probe 404", refused, TRunStage::rsProbe, TRunResult::rrProbeFailed, true},
      {"probe other", Failure(Exception("x")), TRunStage::rsProbe, TRunResult::rrProbeFailed, true},
      // The download: passing faults of the network or the server, and lasting ones.
      {"socket", Failure(EIdSocketError(10061, "Connection refused.")), TRunStage::rsDownload,
       TRunResult::rrDownloadFailed, true},
      {"read time-out", Failure(EIdReadTimeout("Read timed out.")), TRunStage::rsDownload,
       TRunResult::rrDownloadFailed, true},
      {"cut off", Failure(EIdConnClosedGracefully("closed")), TRunStage::rsDownload,
       TRunResult::rrDownloadFailed, true},
      {"503", Failure(Status(503)), TRunStage::rsDownload, TRunResult::rrDownloadFailed, true},
      {"404", refused, TRunStage::rsDownload, TRunResult::rrDownloadFailed, false},
      {"proxy unreachable", Failure(EIdHTTPProxyError("no proxy")), TRunStage::rsDownload,
       TRunResult::rrDownloadFailed, true},
      {"proxy wants credentials", Failure(EIdHTTPProxyError("407", 407)), TRunStage::rsDownload,
       TRunResult::rrDownloadFailed, false},
      {"web page", Failure(EWebPageInstead("page")), TRunStage::rsDownload,
       TRunResult::rrDownloadFailed, true},
      // Where the retries and the run's offer differ: a name the resolver does not know and a
      // 501 are not retried at once, but a later run may find them mended; a 429 or a 408 is
      // retried, and has had its retries when it gets here.
      {"host not found", Failure(EIdSocketError(11001, "Host not found.")), TRunStage::rsDownload,
       TRunResult::rrDownloadFailed, true},
      {"501", Failure(Status(501)), TRunStage::rsDownload, TRunResult::rrDownloadFailed, true},
      {"429", Failure(Status(429)), TRunStage::rsDownload, TRunResult::rrDownloadFailed, false},
      {"408", Failure(Status(408)), TRunStage::rsDownload, TRunResult::rrDownloadFailed, false},
      {"proxy 502", Failure(EIdHTTPProxyError("bad gateway", 502)), TRunStage::rsDownload,
       TRunResult::rrDownloadFailed, true},
      {"proxy refuses the way", Failure(EIdHTTPProxyError("forbidden", 403)), TRunStage::rsDownload,
       TRunResult::rrDownloadFailed, false},
      {"certificate", Failure(EIdTLSCertificateUntrusted("untrusted")), TRunStage::rsDownload,
       TRunResult::rrDownloadFailed, false},
      {"malformed", Failure(EIdHTTPMalformedResponse("chunks")), TRunStage::rsDownload,
       TRunResult::rrDownloadFailed, false},
      {"resume refused", Failure(EResumeRefused("other copy")), TRunStage::rsDownload,
       TRunResult::rrDownloadFailed, false},
      // The signature: one the server lacks leaves the archive unsigned; one that could not be
      // fetched is a failed download.
      {"signature 404", Failure(ESignatureNotDownloaded("no sig", refused)), TRunStage::rsSignature,
       TRunResult::rrArchiveRefused, false},
      {"signature 502", Failure(ESignatureNotDownloaded("no sig", Failure(Status(502)))),
       TRunStage::rsSignature, TRunResult::rrDownloadFailed, true},
      {"signature time-out",
       Failure(ESignatureNotDownloaded("no sig", Failure(EIdReadTimeout("Read timed out.")))),
       TRunStage::rsSignature, TRunResult::rrDownloadFailed, true},
      {"signature refused", Failure(ETrustError("bad key")), TRunStage::rsSignature,
       TRunResult::rrArchiveRefused, false},
      {"archive mismatch", Failure(ETrustError("mismatch")), TRunStage::rsExtraction,
       TRunResult::rrArchiveRefused, false},
      {"damaged", Failure(EZipException("CRC")), TRunStage::rsExtraction,
       TRunResult::rrArchiveRefused, false},
      // The disks, wherever they fail.
      {"no room before the download", Failure(ENotEnoughSpace("Setup needs")),
       TRunStage::rsDownload, TRunResult::rrDiskFailure, false},
      {"no room for the files", Failure(ENotEnoughSpace("Setup needs")), TRunStage::rsExtraction,
       TRunResult::rrDiskFailure, false},
      {"no temporary file", Failure(EFCreateError("Cannot create file")), TRunStage::rsDownload,
       TRunResult::rrDiskFailure, false},
      {"write", Failure(EWriteError("Stream write error")), TRunStage::rsExtraction,
       TRunResult::rrDiskFailure, false},
      {"folder", Failure(ESetupFolderError("is a link")), TRunStage::rsFolder,
       TRunResult::rrDiskFailure, false},
      // Otherwise the stage tells.
      {"launch", Failure(ETrustError("not from the publisher")), TRunStage::rsLaunch,
       TRunResult::rrArchiveRefused, false},
      {"launch other", Failure(Exception("x")), TRunStage::rsLaunch, TRunResult::rrLaunchFailed,
       false},
      {"start", Failure(Exception("x")), TRunStage::rsStart, TRunResult::rrDiskFailure, false},
  };
  for (const auto& c : cases) {
    const TFailureClass failure = ClassifyFailure(c.failure, c.stage);
    EXPECT_EQ(failure.Result, c.result) << c.name;
    EXPECT_EQ(failure.TryAgainMayHelp, c.tryAgain) << c.name;
  }
}

TEST(WebPageCheck, TellsAPageFromAnArchive) {
  const struct {
    const char* type;
    std::string body;
    bool page;
  } cases[] = {
      {"text/html; charset=utf-8", "<p>Sign in</p>", true},
      {"TEXT/HTML", "", true},
      {"application/xhtml+xml", "x", true},
      {"application/octet-stream", "\xEF\xBB\xBF \r\n<!DOCTYPE html><html>", true},
      {"", "<HTML><HEAD>", true},
      {"", "\t<!-- portal -->", true},
      // What begins as an archive is one, whatever it was sent as.
      {"text/html", "PK\x03\x04<html>", false},
      {"application/zip", "PK\x03\x04", false},
      // Neither sent nor shaped as a page: left to the archive's own checks.
      {"text/plain", "Access denied", false},
      {"", "<?xml version=\"1.0\"?>", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LooksLikeWebPage(c.type, c.body, "PK"), c.page) << c.type << " " << c.body;
}

TEST(WebPageCheck, RefusesAPageWithItsMessageAndKeepsThePosition) {
  TMemoryStream page;
  const std::string html = "<html><body>Welcome to the airport's network</body></html>";
  page.WriteBuffer(html.data(), static_cast<int64_t>(html.size()));
  try {
    RefuseWebPage("text/html", page, "PK");
    ADD_FAILURE() << "not refused";
  } catch (const EWebPageInstead& e) {
    EXPECT_EQ(e.Message(),
              "The network returned a web page instead of the setup archive. You may need to "
              "sign in to the network first.");
  }
  EXPECT_EQ(page.Position(), static_cast<int64_t>(html.size()));

  TMemoryStream archive;
  archive.WriteBuffer("PK\x05\x06", 4);
  EXPECT_NO_THROW(RefuseWebPage("text/html", archive, "PK"));
}

}  // namespace
