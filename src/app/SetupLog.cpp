#include "app/SetupLog.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "app/SecretRedaction.h"
#include "base/FileSystem.h"
#include "base/Format.h"

namespace {

constexpr char kLogPrefix[] = "Plenwick-setup-";
constexpr char kLogExtension[] = ".log";
// More runs in one second than this get no log of their own in the default folder.
constexpr int kMaxSequence = 100;

std::string InFolder(const std::string& AFolder, const std::string& AName) {
  if (AFolder.empty() || AFolder.back() == '\\' || AFolder.back() == '/') return AFolder + AName;
  return AFolder + '\\' + AName;
}

// The time and sequence a default log's name holds; false for any other name.
bool ReadLogName(const std::string& AName, std::tuple<std::string, int>& AKey) {
  const std::string prefix = kLogPrefix;
  const std::string extension = kLogExtension;
  // "YYYYMMDD-HHMMSS", then "-N" or nothing.
  if (AName.size() < prefix.size() + 15 + extension.size() || !AName.starts_with(prefix) ||
      !AName.ends_with(extension))
    return false;
  const std::string middle =
      AName.substr(prefix.size(), AName.size() - prefix.size() - extension.size());
  const std::string stamp = middle.substr(0, 15);
  for (size_t i = 0; i < stamp.size(); ++i)
    if (i == 8 ? stamp[i] != '-' : (stamp[i] < '0' || stamp[i] > '9')) return false;
  int sequence = 1;
  if (middle.size() > 15) {
    const std::string tail = middle.substr(15);
    if (tail.size() < 2 || tail.size() > 4 || tail[0] != '-' || tail[1] == '0' ||
        tail.find_first_not_of("0123456789", 1) != std::string::npos)
      return false;
    sequence = std::atoi(tail.c_str() + 1);
  }
  AKey = {stamp, sequence};
  return true;
}

}  // namespace

std::string DefaultLogName(TDateTime ATime, int ASequence) {
  const TDateTimeParts t = DecodeDateTime(ATime);
  std::string name = Format("%s%04d%02d%02d-%02d%02d%02d", kLogPrefix, t.Year, t.Month, t.Day,
                            t.Hour, t.Minute, t.Second);
  if (ASequence > 1) name += Format("-%d", ASequence);
  return name + kLogExtension;
}

void KeepNewestLogs(const std::string& AFolder, int AKeep) {
  std::vector<std::pair<std::tuple<std::string, int>, std::string>> logs;
  for (const std::string& name : FileNamesIn(AFolder)) {
    std::tuple<std::string, int> key;
    if (ReadLogName(name, key)) logs.emplace_back(key, name);
  }
  if (static_cast<int>(logs.size()) <= AKeep) return;
  std::sort(logs.begin(), logs.end());
  const size_t remove = logs.size() - static_cast<size_t>(std::max(AKeep, 0));
  for (size_t i = 0; i < remove; ++i)
    DeleteFileAt(InFolder(AFolder, logs[i].second));
}

TSetupLog::TSetupLog(const std::string& APath, TClock AClock)
    : TSetupLog(APath, TAppendFile(APath, TAppendFile::TOpen::ofAppend), std::move(AClock)) {}

TSetupLog::TSetupLog(std::string APath, TAppendFile AFile, TClock AClock)
    : FPath(std::move(APath)), FFile(std::move(AFile)), FClock(std::move(AClock)) {}

TSetupLog TSetupLog::CreateInFolder(const std::string& AFolder, int AKeep, TClock AClock) {
  const TDateTime start = AClock();
  std::string path;
  TAppendFile file;
  for (int sequence = 1; sequence <= kMaxSequence && !file.IsOpen(); ++sequence) {
    path = InFolder(AFolder, DefaultLogName(start, sequence));
    file = TAppendFile(path, TAppendFile::TOpen::ofCreateNew);
    // Only a name that is taken is worth another try.
    if (!file.IsOpen() && !FileExists(path)) break;
  }
  TSetupLog log(path, std::move(file), std::move(AClock));
  if (log.FFile.IsOpen()) KeepNewestLogs(AFolder, AKeep);
  return log;
}

void TSetupLog::Write(const std::string& AText) noexcept {
  if (!FFile.IsOpen()) return;
  try {
    const TDateTimeParts t = DecodeDateTime(FClock());
    std::string line = Format("%04d-%02d-%02d %02d:%02d:%02d.%03d ", t.Year, t.Month, t.Day, t.Hour,
                              t.Minute, t.Second, t.MilliSecond);
    // One event, one line, whatever the text holds: a line break ("\r\n" too) is one space.
    std::string text;
    text.reserve(AText.size());
    for (const char c : AText) {
      if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
        text += c;
      else if (text.empty() || text.back() != ' ')
        text += ' ';
    }
    // What ended in a line break ends there.
    while (!text.empty() && text.back() == ' ')
      text.pop_back();
    line += RedactSecrets(text);
    line += "\r\n";
    FFile.Append(line);
  } catch (...) {
    // Nothing about the log may stop the setup.
  }
}
