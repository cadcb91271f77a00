// An archive as the downloader receives it: opened from memory and extracted into a fresh
// folder. Whatever the bytes, the run ends with the archive's own failure or with files that
// lie inside the folder and are no longer than their entries announce. Beyond that:
// - an extraction that succeeds wrote every file entry whole: its size and CRC-32 are the
//   central header's;
// - an archive refused as a whole (overlapping entries, two entries naming one file, a damaged
//   local header) has nothing written for it;
// - no file or folder is made under a name that Windows would read otherwise (a device name,
//   a ":", a trailing dot or space, a control character, a wildcard), and no two files differ
//   only in letter case.
//
// The target folder is "target\" below a working folder that lies alone in a sandbox folder of
// its own; after every run the sandbox must hold nothing but the working folder, and that
// nothing but the target. (The target is given as a full path: the fuzzer's corpus folders may
// be relative to the current directory, which therefore stays as it is.)
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
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

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// A name Windows would take for a device, a stream, a shorter name or a pattern.
bool WindowsMisreads(const std::string& segment) {
  if (segment.empty() || segment.back() == '.' || segment.back() == ' ') return true;
  for (const char c : segment)
    if (static_cast<unsigned char>(c) < 0x20 || c == ':' || c == '*' || c == '?') return true;
  std::string base = Upper(segment.substr(0, segment.find('.')));
  while (!base.empty() && base.back() == ' ')
    base.pop_back();
  static const std::set<std::string> kDevices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  if (kDevices.contains(base)) return true;
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
         base[3] >= '1' && base[3] <= '9';
}

// Every file below the target is a plain file or folder, none longer than the longest entry,
// all together no longer than all entries, none under a name Windows misreads, no two that
// differ only in case. Returns the count of files.
int CheckWritten(uint64_t largest, uint64_t total) {
  const fs::path target = gWork / "target";
  if (!fs::exists(fs::symlink_status(target))) return 0;
  uint64_t written = 0;
  int files = 0;
  std::set<std::string> folded;
  for (const auto& e : fs::recursive_directory_iterator(target)) {
    const fs::file_status st = e.symlink_status();
    FUZZ_CHECK(fs::is_regular_file(st) || fs::is_directory(st));
    for (const auto& segment : e.path().lexically_relative(target))
      FUZZ_CHECK(!WindowsMisreads(segment.string()));
    if (!fs::is_regular_file(st)) continue;
    const uint64_t size = fs::file_size(e.path());
    FUZZ_CHECK(size <= largest);
    written += size;
    ++files;
    FUZZ_CHECK(folded.insert(Upper(e.path().lexically_relative(target).string())).second);
  }
  FUZZ_CHECK(written <= total);
  return files;
}

// After an extraction that succeeded: each file entry's file holds exactly its announced size
// with its CRC-32. (Folders are entries ending in "/" or marked by the directory attribute of
// a DOS or Windows host.)
void CheckWhole(TZipFile& zip) {
  for (int i = 0; i < zip.FileCount(); ++i) {
    const TZipHeader h = zip.FileInfo(i);
    std::string name = zip.FileName(i);
    const int host = h.MadeByVersion >> 8;
    if (name.empty() || name.back() == '/' || name.back() == '\\' ||
        ((host == 0 || host == 10 || host == 14) && (h.ExternalAttributes & 0x10)))
      continue;
    std::ifstream in(ToNativePath(gTarget + name), std::ios::binary);
    FUZZ_CHECK(in.good());
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    FUZZ_CHECK(bytes.size() == h.UncompressedSize);
    FUZZ_CHECK(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()),
                     static_cast<uInt>(bytes.size())) == h.CRC32);
  }
}

// Failures of the checks that ExtractAll makes on the whole archive before it writes anything.
bool RefusedAsAWhole(const std::string& message) {
  return message.ends_with("\" overlap") || message.ends_with("overlaps the central directory") ||
         message.ends_with("name the same file") || message == "Invalid Zip Local Header signature";
}

// Reads at most kReadBudget bytes of every entry.
void ReadEntries(TZipFile& zip) {
  const auto block = std::make_unique<uint8_t[]>(65536);
  for (int i = 0; i < zip.FileCount(); ++i) {
    try {
      std::unique_ptr<TStream> entry;
      TZipHeader local;
      zip.Read(i, entry, local);
      auto left =
          static_cast<int64_t>(std::min<uint64_t>(zip.FileInfo(i).UncompressedSize, kReadBudget));
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
    // Sums that would wrap count as over the budget.
    total = h.UncompressedSize > kExtractBudget ? kExtractBudget + 1 : total + h.UncompressedSize;
    largest = std::max<uint64_t>(largest, h.UncompressedSize);
  }
  (void)zip.Comment();

  if (total > kExtractBudget) {
    ReadEntries(zip);
    CheckNothingOutside();
    CheckWritten(largest, total);
  } else {
    bool whole = false;
    std::string failure;
    try {
      zip.ExtractAll(gTarget);
      whole = true;
    } catch (const Exception& e) {
      // The archive's own failure ends the extraction; the object stays open.
      FUZZ_CHECK(zip.Mode() == TZipMode::zmRead);
      failure = e.Message();
    }
    CheckNothingOutside();
    const int files = CheckWritten(largest, total);
    if (whole) CheckWhole(zip);
    if (RefusedAsAWhole(failure)) FUZZ_CHECK(files == 0);
  }
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
