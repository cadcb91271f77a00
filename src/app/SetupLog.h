#pragma once

#include <functional>
#include <string>

#include "app/LogSink.h"
#include "base/AppendFile.h"
#include "base/DateTime.h"

// The run's log file: UTF-8, one line per event, each after its local time stamp
// ("2024-01-31 15:45:02.123 "), ended by CR LF; written through to the file at once, so that a
// run that ends abruptly leaves every line it wrote, and shared, so that the user can read it
// while the program runs. Every line is one line (line breaks and other control characters
// become spaces, none at its end) and passes RedactSecrets. A file that cannot be opened or
// written takes nothing, and the setup goes on.
class TSetupLog : public TLogSink {
 public:
  using TClock = std::function<TDateTime()>;

  // The file at APath, created when missing, otherwise continued after what it holds.
  explicit TSetupLog(const std::string& APath, TClock AClock = Now);
  // A new log in AFolder named after the time (DefaultLogName), never one that exists; then
  // only the newest AKeep of the folder's logs are kept (KeepNewestLogs).
  static TSetupLog CreateInFolder(const std::string& AFolder, int AKeep, TClock AClock = Now);

  void Write(const std::string& AText) noexcept override;
  // The file's path when it could be opened, else empty.
  std::string Path() const override { return FFile.IsOpen() ? FPath : std::string(); }
  // The system's error of a file that could not be opened (0 when it was).
  int OpenError() const { return FFile.OpenError(); }

 private:
  TSetupLog(std::string APath, TAppendFile AFile, TClock AClock);

  std::string FPath;
  TAppendFile FFile;
  TClock FClock;
};

// The default log's name for a run started at ATime: "Plenwick-setup-20240131-154502.log", and
// with ASequence > 1 (another run started in the same second)
// "Plenwick-setup-20240131-154502-2.log".
std::string DefaultLogName(TDateTime ATime, int ASequence = 1);

// Removes the default logs of AFolder (names as DefaultLogName makes them; nothing else is
// touched) but the newest AKeep, newest by the time and sequence in their names. Files that
// cannot be removed stay.
void KeepNewestLogs(const std::string& AFolder, int AKeep);
