// An archive as the downloader receives it: opened from memory and extracted into a fresh
// folder. Whatever the bytes, the run ends with the archive's own failure or with files that
// lie inside the folder and are no longer than their entries announce.
//
// The target folder is "target\" below a working folder that lies alone in a sandbox folder of
// its own; after every run the sandbox must hold nothing but the working folder, and that
// nothing but the target. (The target is given as a full path: the fuzzer's corpus folders may
// be relative to the current directory, which therefore stays as it is.)
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "FuzzCheck.h"
#include "base/Exception.h"
#include "base/FileSystem.h"
#include "base/MemoryStream.h"
#include "zip/ZipFile.h"

namespace fs = std::filesystem;

namespace {

// Archives that promise more than this are read entry by entry instead of written to disk, so
// that a small input cannot fill the disk.
constexpr uint64_t kExtractBudget = 16 << 20;
constexpr int64_t kReadBudget = 256 << 10;

fs::path gSandbox;
fs::path gWork;
std::string gTarget;  // in the program's own form, with "\\" separators

void RemoveSandbox() {
  std::error_code ec;
  fs::remove_all(gSandbox, ec);
}

// Names of the entries of a folder (without following links).
std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  return names;
}

void CheckNothingOutside() {
  const std::vector<std::string> sandbox = Entries(gSandbox);
  FUZZ_CHECK(sandbox.size() == 1 && sandbox[0] == gWork.filename().string());
  const std::vector<std::string> work = Entries(gWork);
  FUZZ_CHECK(work.empty() || (work.size() == 1 && work[0] == "target"));
}

// Every file below the target is a plain file or folder, none longer than the longest entry,
// and all together no longer than all entries.
void CheckWritten(uint64_t largest, uint64_t total) {
  const fs::path target = gWork / "target";
  if (!fs::exists(fs::symlink_status(target))) return;
  uint64_t written = 0;
  for (const auto& e : fs::recursive_directory_iterator(target)) {
    const fs::file_status st = e.symlink_status();
    FUZZ_CHECK(fs::is_regular_file(st) || fs::is_directory(st));
    if (!fs::is_regular_file(st)) continue;
    const uint64_t size = fs::file_size(e.path());
    FUZZ_CHECK(size <= largest);
    written += size;
  }
  FUZZ_CHECK(written <= total);
}

// Reads at most kReadBudget bytes of every entry.
void ReadEntries(TZipFile& zip) {
  const auto block = std::make_unique<uint8_t[]>(65536);
  for (int i = 0; i < zip.FileCount(); ++i) {
    try {
      std::unique_ptr<TStream> entry;
      TZipHeader local;
      zip.Read(i, entry, local);
      int64_t left = std::min<int64_t>(zip.FileInfo(i).UncompressedSize, kReadBudget);
      while (left > 0) {
        const int64_t n = entry->Read(block.get(), std::min<int64_t>(left, 65536));
        if (n <= 0) break;
        FUZZ_CHECK(n <= std::min<int64_t>(left, 65536));
        left -= n;
      }
    } catch (const Exception&) {
      // The entry's own failure; the next one is still readable.
    }
  }
}

void Run(TZipFile& zip, TMemoryStream& archive) {
  try {
    zip.Open(archive, TZipMode::zmRead);
  } catch (const Exception&) {
    FUZZ_CHECK(zip.Mode() == TZipMode::zmClosed);
    return;
  }
  const int count = zip.FileCount();
  FUZZ_CHECK(count == static_cast<int>(zip.FileNames().size()));
  uint64_t total = 0, largest = 0;
  for (int i = 0; i < count; ++i) {
    const TZipHeader h = zip.FileInfo(i);
    FUZZ_CHECK(h.FileName.size() == h.FileNameLength && h.ExtraField.size() == h.ExtraFieldLength &&
               h.FileComment.size() == h.FileCommentLength);
    FUZZ_CHECK(zip.IndexOf(zip.FileName(i)) <= i);
    (void)zip.FileComment(i);
    total += h.UncompressedSize;
    largest = std::max<uint64_t>(largest, h.UncompressedSize);
  }
  (void)zip.Comment();

  if (total > kExtractBudget) {
    ReadEntries(zip);
  } else {
    try {
      zip.ExtractAll(gTarget);
    } catch (const Exception&) {
      // The archive's own failure ends the extraction; the object stays open.
      FUZZ_CHECK(zip.Mode() == TZipMode::zmRead);
    }
  }
  CheckNothingOutside();
  CheckWritten(largest, total);
  zip.Close();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (fs::temp_directory_path() / "plenwick-fuzz-zip.XXXXXX").string();
  FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
  gSandbox = pattern;
  gWork = gSandbox / "work";
  fs::create_directory(gWork);
  gTarget = FromNativePath((gWork / "target").string()) + "\\";
  std::atexit(RemoveSandbox);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream archive;
  archive.SetSize(static_cast<int64_t>(size));
  if (size > 0) std::copy(data, data + size, archive.Memory());
  archive.SetPosition(0);
  TZipFile zip;
  Run(zip, archive);
  std::error_code ec;
  fs::remove_all(gWork / "target", ec);
  FUZZ_CHECK(!ec);
  return 0;
}
