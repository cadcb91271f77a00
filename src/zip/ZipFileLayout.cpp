// TZipFile: where each entry's header and data lie, and the checks made on the whole archive
// before extraction writes anything.
#include <algorithm>
#include <utility>

#include "base/Format.h"
#include "base/Texts.h"
#include "zip/ZipEntryNames.h"
#include "zip/ZipFile.h"
#include "zip/ZipRecords.h"

using namespace ZipRecords;

namespace {
[[noreturn]] void ThrowOverlap(const TZipHeader& a, const TZipHeader& b) {
  throw EZipException(
      Format(RSZipEntriesOverlap, PrintableEntryName(a).c_str(), PrintableEntryName(b).c_str()));
}
}  // namespace

int64_t TZipFile::LocateData(int Index, TZipHeader& ALocalHeader) {
  const TZipHeader& central = FFiles[Index];
  ALocalHeader = TZipHeader{};
  const uint64_t offset = central.LocalHeaderOffset;
  const int64_t size = FStream->Size();
  uint8_t signature[4] = {};
  if (offset < static_cast<uint64_t>(std::max<int64_t>(size - FStartFileData, 0))) {
    FStream->SetPosition(FStartFileData + static_cast<int64_t>(offset));
    ReadUpTo(*FStream, signature, 4);
  }
  if (Signature(signature) != kLocalHeaderSignature)
    throw EZipException(Text(RSZipLocalHeaderInvalid));
  // Informational only: name, method and sizes come from the central header.
  uint8_t f[kLocalFixedSize] = {};
  ReadUpTo(*FStream, f, kLocalFixedSize);
  ReadLocalHeader(f, ALocalHeader);
  ReadUpTo(*FStream, ALocalHeader.FileName, ALocalHeader.FileNameLength);
  ReadUpTo(*FStream, ALocalHeader.ExtraField, ALocalHeader.ExtraFieldLength);

  // The header and the data must end before the next entry's header and before the central
  // directory; otherwise the entry would read bytes that belong to another record.
  const uint64_t dataStart =
      offset + 4 + kLocalFixedSize + ALocalHeader.FileNameLength + ALocalHeader.ExtraFieldLength;
  uint64_t limit = static_cast<uint64_t>(FEndFileData);
  const TZipHeader* next = nullptr;
  const auto after = std::upper_bound(
      FOffsetOrder.begin(), FOffsetOrder.end(), offset,
      [this](uint64_t AValue, int i) { return AValue < FFiles[i].LocalHeaderOffset; });
  if (after != FOffsetOrder.end() && FFiles[*after].LocalHeaderOffset < limit) {
    next = &FFiles[*after];
    limit = next->LocalHeaderOffset;
  }
  if (dataStart > limit || central.CompressedSize > limit - dataStart) {
    if (next) ThrowOverlap(central, *next);
    throw EZipException(Format(RSZipEntryOverlapsDirectory, PrintableEntryName(central).c_str()));
  }
  return FStartFileData + static_cast<int64_t>(dataStart);
}

void TZipFile::CheckLayout() {
  // In the order of their offsets each entry must end before the next one starts: one sort at
  // open, one pass here. Entries that share a header are the plainest overlap.
  for (size_t k = 0; k < FOffsetOrder.size(); ++k) {
    const TZipHeader& entry = FFiles[FOffsetOrder[k]];
    if (k + 1 < FOffsetOrder.size() &&
        FFiles[FOffsetOrder[k + 1]].LocalHeaderOffset == entry.LocalHeaderOffset)
      ThrowOverlap(entry, FFiles[FOffsetOrder[k + 1]]);
    TZipHeader local;
    LocateData(FOffsetOrder[k], local);
  }
}

void TZipFile::CheckDistinctNames() const {
  // Files only: a folder named twice is still one folder. A name that cannot be decoded fails on
  // its own when its turn comes.
  std::vector<std::pair<std::u16string, int>> keys;
  keys.reserve(FFiles.size());
  for (size_t i = 0; i < FFiles.size(); ++i) {
    const TZipHeader& h = FFiles[i];
    if (HasUndecodableName(h) || IsFolderByAttribute(h)) continue;
    std::string name = EntryName(h);
    std::replace(name.begin(), name.end(), '/', '\\');
    if (name.empty() || name.back() == '\\') continue;
    keys.emplace_back(WindowsNameKey(name), static_cast<int>(i));
  }
  std::sort(keys.begin(), keys.end());
  for (size_t k = 1; k < keys.size(); ++k)
    if (keys[k].first == keys[k - 1].first)
      throw EZipException(Format(RSZipEntriesSameFile,
                                 PrintableEntryName(FFiles[keys[k - 1].second]).c_str(),
                                 PrintableEntryName(FFiles[keys[k].second]).c_str()));
}
