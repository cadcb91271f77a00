#pragma once

// Test doubles for the download-and-install sequence: an HTTP client, an archive reader and a
// platform that play scripts and write down, in one log, what the sequence did to them.

#include <zlib.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/Main.h"
#include "app/SetupArchive.h"
#include "app/platform/SetupPlatform.h"
#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/MemoryStream.h"
#include "base/Stream.h"
#include "download/DownloadClient.h"

inline uint32_t Crc32Of(const std::string& AContent) {
  return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0),
                                     reinterpret_cast<const Bytef*>(AContent.data()),
                                     static_cast<uInt>(AContent.size())));
}

struct TWorld {
  std::vector<std::string> Log;
  std::set<std::string> Folders;  // folders that exist (paths as the sequence passes them)
  std::set<std::string> Links;    // links and junctions that exist
  std::set<std::string> Files;    // files that exist
  // What the played extraction wrote, by path.
  std::map<std::string, std::string> Contents;
  int ArchivesAlive = 0;
  int TempFilesAlive = 0;

  int Count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(Log.begin(), Log.end(), [&](const std::string& e) {
      return e.compare(0, prefix.size(), prefix) == 0;
    }));
  }
  // Position of the first entry starting with prefix; -1 when there is none.
  int IndexOf(const std::string& prefix) const {
    for (size_t i = 0; i < Log.size(); ++i)
      if (Log[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
    return -1;
  }
};

class TFakeClient : public TDownloadClient {
 public:
  explicit TFakeClient(TWorld& w) : W(w) {}
  void Head(const std::string& url) override {
    W.Log.push_back("Head " + url);
    LastURL = url;
    if (OnHead) OnHead();
  }
  int64_t ResponseContentLength() override { return ContentLength; }
  // Where the probe ended: RedirectedTo when set, else the URL asked for.
  std::string ResponseURL() override { return RedirectedTo.empty() ? LastURL : RedirectedTo; }
  std::string ResponseContentType() override { return ContentType; }
  void Get(const std::string& url, TStream& dest, std::string_view expectedStart) override {
    W.Log.push_back("Get " + url);
    ExpectedStart = expectedStart;
    BodyLimitAtGet = UnannouncedBodyLimit;
    if (OnGet) {
      OnGet(dest);
      return;
    }
    // A body of ContentLength bytes in blocks of 32768, with a work event after each.
    const std::vector<uint8_t> block(32768, 'Z');
    int64_t done = 0;
    while (done < ContentLength) {
      const int64_t n = std::min<int64_t>(32768, ContentLength - done);
      dest.WriteBuffer(block.data(), n);
      done += n;
      if (OnWork) OnWork(done);
    }
  }
  void Disconnect() override { W.Log.push_back("Disconnect"); }

  TWorld& W;
  int64_t ContentLength = 100000;
  std::string ContentType = "application/zip";
  int64_t BodyLimitAtGet = 0;  // UnannouncedBodyLimit as the last Get found it
  std::string ExpectedStart;   // what the last Get was told the body begins with
  std::string LastURL;
  std::string RedirectedTo;
  std::function<void()> OnHead;
  std::function<void(TStream&)> OnGet;
};

// Puts a fake client in the form's place for the HTTP client, its work events connected.
inline TFakeClient* PlugInFakeClient(TMain& main, TWorld& world) {
  auto client = std::make_unique<TFakeClient>(world);
  TFakeClient* plugged = client.get();
  main.HTTP = std::move(client);
  main.ConnectHTTP();
  return plugged;
}

class TFakeArchive : public TSetupArchive {
 public:
  TFakeArchive(TWorld& w, std::function<void(const std::string&)> script)
      : W(w), Script(std::move(script)) {
    ++W.ArchivesAlive;
    W.Log.push_back("Archive created");
  }
  ~TFakeArchive() override {
    --W.ArchivesAlive;
    W.Log.push_back("Archive freed");
  }
  void Open(TStream& stream) override {
    W.Log.push_back("Open at " + std::to_string(stream.Position()) + " of " +
                    std::to_string(stream.Size()));
    if (Script) Script("Open");
  }
  std::vector<uint64_t> FileSizes() override {
    W.Log.push_back("FileSizes");
    return Sizes;
  }
  // Writes Blocks blocks, asking the sequence's hook before the first and after each, as the
  // real extractor does; the hook may abandon the extraction.
  void ExtractAll(const std::string& path) override {
    W.Log.push_back("ExtractAll " + path);
    if (Script) Script("ExtractAll");
    W.Folders.insert(path);
    for (int block = 0; block <= Blocks; ++block) {
      if (OnProgress && OnProgress()) {
        W.Log.push_back("Extraction abandoned after " + std::to_string(block) + " blocks");
        throw EAbort("The extraction was abandoned.");
      }
      if (block < Blocks && Script) Script("Block " + std::to_string(block + 1));
    }
    // The files, each told once written, as the real extractor tells them.
    for (const auto& [name, content] : Written) {
      W.Contents[path + name] = content;
      if (OnFileExtracted) OnFileExtracted(path + name, content.size(), Crc32Of(content));
    }
  }
  void Close() override { W.Log.push_back("Close"); }
  TTotals Totals() const override { return {Blocks, static_cast<uint64_t>(Blocks) * 61440}; }

  TWorld& W;
  std::function<void(const std::string&)> Script;
  int Blocks = 3;
  std::vector<uint64_t> Sizes{150000, 5};
  // The files ExtractAll writes: name below the folder, content.
  std::vector<std::pair<std::string, std::string>> Written{{"Install.exe", "MZ installer"},
                                                           {"Data\\app.dll", "MZ library"},
                                                           {"Data\\readme.txt", "Read me"}};
};

// A played hold of a file: the log tells when it begins and ends.
class TFakeHold : public TMemoryStream {
 public:
  TFakeHold(TWorld& w, std::string path, const std::string& content) : W(w), Path(std::move(path)) {
    WriteBuffer(content.data(), static_cast<int64_t>(content.size()));
    W.Log.push_back("Hold " + Path);
  }
  ~TFakeHold() override { W.Log.push_back("Release " + Path); }
  TWorld& W;
  std::string Path;
};

// A temporary file played in memory: the log tells when it is made and when it goes.
class TFakeTemporaryFile : public TMemoryStream {
 public:
  TFakeTemporaryFile(TWorld& w, const std::string& folder) : W(w) {
    W.Log.push_back("TempFile made in " + folder);
    ++W.TempFilesAlive;
  }
  ~TFakeTemporaryFile() override {
    W.Log.push_back("TempFile gone");
    --W.TempFilesAlive;
  }
  TWorld& W;
};

// A poll's result while the installer has not ended.
inline constexpr std::optional<uint32_t> kRunning = std::nullopt;

class TFakePlatform : public TSetupPlatform {
 public:
  explicit TFakePlatform(TWorld& w) : W(w) {}

  std::string ModuleFileName() override { return ExePath; }
  std::string CurrentDir() override { return CurrentDirectory; }
  bool CreateFolder(const std::string& path) override {
    W.Log.push_back("CreateFolder " + path);
    if (CreateFails || W.Folders.count(path) || W.Links.count(path)) return false;
    W.Folders.insert(path);
    return true;
  }
  void Sleep(unsigned ms) override {
    Clock += ms / 86400000.0;
    Ticks += ms;
  }
  uint64_t TickCount() override { return Ticks; }
  double Now() override { return Clock; }
  bool LaunchElevated(TWinHandle parent, const std::string& file,
                      const std::vector<std::string>& arguments, TProcess& process,
                      int& error) override {
    std::string launch = "Launch " + file;
    for (const std::string& argument : arguments)
      launch += " [" + argument + "]";
    W.Log.push_back(launch);
    LaunchParent = parent;
    if (OnLaunch) OnLaunch();
    if (LaunchError != 0) {
      error = LaunchError;
      return false;
    }
    process = OwnProcess(ProcessHandle);
    return true;
  }
  TProcessPoll PollProcess(TProcessHandle process, uint32_t& exitCode) override {
    ++Polls;
    W.Log.push_back("Poll " + std::to_string(process));
    if (OnPoll) OnPoll(Polls);
    if (process == 0 || (FailFromPoll > 0 && Polls >= FailFromPoll)) return TProcessPoll::ppFailed;
    const std::optional<uint32_t> result =
        Results[std::min<size_t>(static_cast<size_t>(Polls) - 1, Results.size() - 1)];
    if (!result) return TProcessPoll::ppRunning;
    exitCode = *result;
    return TProcessPoll::ppEnded;
  }
  void CloseProcessHandle(TProcessHandle process) override {
    W.Log.push_back("CloseHandle " + std::to_string(process));
  }
  bool FolderExists(const std::string& path) override { return W.Folders.count(path) != 0; }
  bool DeleteFolder(const std::string& path) override {
    W.Log.push_back("Delete " + path);
    if (OnDelete) OnDelete();
    if (DeleteFails || !W.Folders.count(path)) return false;
    W.Folders.erase(path);
    return true;
  }
  std::unique_ptr<TStream> HoldFile(const std::string& path) override {
    if (OnHold) OnHold(path);
    const auto file = W.Contents.find(path);
    if (file == W.Contents.end()) throw EFOpenError("Cannot open file \"" + path + "\".");
    return std::make_unique<TFakeHold>(W, path, file->second);
  }
  TPathKind PathKind(const std::string& path) override {
    if (W.Links.count(path)) return TPathKind::pkLink;
    if (W.Files.count(path)) return TPathKind::pkOther;
    return W.Folders.count(path) ? TPathKind::pkFolder : TPathKind::pkMissing;
  }
  std::string TempFolder() override { return TempDirectory; }
  std::unique_ptr<TStream> CreateTemporaryFile(const std::string& folder) override {
    if (TempFileFails) throw EFCreateError("Cannot create file \"" + folder + "\". Access denied");
    return std::make_unique<TFakeTemporaryFile>(W, folder);
  }
  // The volume of the temporary folder and the one of everything else (the setup folder).
  bool VolumeSpace(const std::string& path, TVolumeSpace& space) override {
    W.Log.push_back("VolumeSpace " + path);
    const std::optional<TVolumeSpace>& volume =
        path.compare(0, TempDirectory.size(), TempDirectory) == 0 ? TempVolume : SetupVolume;
    if (!volume) return false;
    space = *volume;
    return true;
  }

  TWorld& W;
  std::string ExePath = "C:\\Downloads\\Plenwick-setup_x64-stable.exe";
  std::string CurrentDirectory = "C:\\Work";
  double Clock = 45000.5;
  uint64_t Ticks = 1000;  // moved on by Sleep alone, as Clock
  int LaunchError = 0;    // the launch fails with this system error when not 0
  TProcessHandle ProcessHandle = 77;
  TWinHandle LaunchParent = nullptr;
  // One per poll, the last one repeating: kRunning, or the exit code the installer ended with.
  std::vector<std::optional<uint32_t>> Results{kRunning, kRunning, 0};
  int Polls = 0;
  // From this poll on the handle cannot be asked (an access error); 0: never.
  int FailFromPoll = 0;
  std::function<void(int poll)> OnPoll;
  std::function<void()> OnLaunch;
  std::function<void()> OnDelete;
  // Before a file is held: a chance to change it first, as another process could.
  std::function<void(const std::string& path)> OnHold;
  bool DeleteFails = false;
  bool CreateFails = false;
  std::string TempDirectory = "C:\\Users\\Me\\Temp";
  bool TempFileFails = false;
  // None: the system cannot tell.
  std::optional<TVolumeSpace> TempVolume = TVolumeSpace{int64_t{500} << 30, 4096, "C:"};
  std::optional<TVolumeSpace> SetupVolume = TVolumeSpace{int64_t{500} << 30, 4096, "C:"};
};
