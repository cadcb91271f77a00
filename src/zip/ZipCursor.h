#pragma once

// Cursors over the bytes of an archive record, so that a record's layout is written once (see
// ZipRecords.h) and serves reading and writing alike. All values are little-endian.

#include <cstddef>
#include <cstdint>

#include "base/Bytes.h"

// Reads fields from a run of bytes, bounds-checked: a field that would run past the end reads
// nothing, yields 0 and leaves the cursor not Ok for good.
class TZipReader {
 public:
  TZipReader(const uint8_t* AData, size_t ASize) : FData(AData), FSize(ASize) {}

  void Field(uint16_t& AValue) { AValue = static_cast<uint16_t>(Take(2)); }
  void Field(uint32_t& AValue) { AValue = static_cast<uint32_t>(Take(4)); }
  void Field(uint64_t& AValue) { AValue = Take(8); }
  // Several fields, in their order on disk.
  template <typename... TValues>
  void Fields(TValues&... AValues) {
    (Field(AValues), ...);
  }
  // A 32-bit field held in a 64-bit one (the Zip64 values may replace it later).
  void Field32(uint64_t& AValue) { AValue = Take(4); }
  void Skip(size_t ACount) {
    if (!Fits(ACount)) return;
    FAt += ACount;
  }

  bool Ok() const { return FOk; }
  size_t Position() const { return FAt; }
  size_t Left() const { return FSize - FAt; }

 private:
  bool Fits(size_t ACount) {
    if (FOk && ACount <= FSize - FAt) return true;
    FOk = false;
    return false;
  }
  uint64_t Take(size_t ACount) {
    if (!Fits(ACount)) return 0;
    uint64_t value = 0;
    for (size_t i = 0; i < ACount; ++i)
      value |= static_cast<uint64_t>(FData[FAt + i]) << (8 * i);
    FAt += ACount;
    return value;
  }

  const uint8_t* FData;
  size_t FSize;
  size_t FAt = 0;
  bool FOk = true;
};

// Appends fields to an array of bytes.
class TZipWriter {
 public:
  explicit TZipWriter(TBytes& AOut) : FOut(AOut) {}

  void Field(const uint16_t& AValue) { Put(AValue, 2); }
  void Field(const uint32_t& AValue) { Put(AValue, 4); }
  void Field(const uint64_t& AValue) { Put(AValue, 8); }
  template <typename... TValues>
  void Fields(const TValues&... AValues) {
    (Field(AValues), ...);
  }
  // A 64-bit value into a 32-bit field; EZipException "Zip file too large" when it does not fit
  // (the writer makes no Zip64 records).
  void Field32(const uint64_t& AValue);
  void Bytes(const TBytes& AValue) { FOut.insert(FOut.end(), AValue.begin(), AValue.end()); }

 private:
  void Put(uint64_t AValue, size_t ACount) {
    for (size_t i = 0; i < ACount; ++i)
      FOut.push_back(static_cast<uint8_t>(AValue >> (8 * i)));
  }

  TBytes& FOut;
};
