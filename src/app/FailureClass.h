#pragma once

#include <exception>

#include "app/RunOutcome.h"
#include "download/FailureKind.h"

// Where in its sequence the run was when it failed.
enum class TRunStage {
  rsStart,       // before the size probe (the current folder)
  rsProbe,       // the size probe
  rsSignature,   // fetching the archives' signatures
  rsFolder,      // preparing the setup folder
  rsDownload,    // downloading an archive
  rsExtraction,  // checking, opening and extracting it
  rsLaunch,      // checking and starting the installer
};

struct TFailureClass {
  TRunResult Result = TRunResult::rrDownloadFailed;
  // Whether running the sequence again (from the size probe) may help: a connection that failed or
  // timed out, a server's 5xx, a proxy that could not be reached, a web page where the archive
  // was expected, and any failure of the size probe.
  bool TryAgainMayHelp = false;
};

// What the failure (an exception being handled, as std::current_exception gives it) at AStage
// means for the run: its outcome, and whether to offer to try again. By the exception's class
// first (a refused archive is refused wherever it is found), then by the stage. Failures other
// branches bring (a disk that is full, retries that gave up) get their row here.
TFailureClass ClassifyFailure(const std::exception_ptr& AFailure, TRunStage AStage);

// The kind of the failure AFailure for the whole run: the archive's and its checks' failures and
// the setup folder's told here, the rest as the download tells them (DownloadFailureCauseOf).
// ESignatureNotDownloaded is a refused archive here; its Cause is a failure of its own.
TFailureCause FailureCauseOf(const std::exception_ptr& AFailure);
