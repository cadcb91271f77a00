#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/Stream.h"
#include "zip/ZipCompression.h"
#include "zip/ZipHeader.h"

class TZipFolders;

// Every archive-level failure.
PLENWICK_DECLARE_EXCEPTION(EZipException, Exception)

// A ZIP archive held in a stream: its central directory, and the entries read from it or
// written into it. Reads Zip64 archives; no spanning, no encryption. Every byte extracted is
// checked against its entry's size and CRC-32.
class TZipFile {
 public:
  TZipFile() = default;
  ~TZipFile();
  TZipFile(const TZipFile&) = delete;
  TZipFile& operator=(const TZipFile&) = delete;

  // Opens an archive held in a stream that the caller keeps alive until Close. The archive
  // starts at the stream's current position.
  void Open(TStream& ZipFileStream, TZipMode OpenMode);
  void Open(const std::string& ZipFileName, TZipMode OpenMode);
  // In a writing mode first writes the central directory; always leaves the object closed.
  void Close();

  TZipMode Mode() const { return FMode; }
  int FileCount() const;
  std::vector<std::string> FileNames() const;
  std::string FileName(int Index) const;
  TZipHeader FileInfo(int Index) const;
  std::string FileComment(int Index) const;
  void SetFileComment(int Index, const std::string& AValue);
  std::string Comment() const;
  void SetComment(const std::string& AValue);
  // Smallest index whose name equals FileName, ASCII letters compared without regard to case;
  // -1 when there is none.
  int IndexOf(const std::string& FileName) const;
  // How Add and the comment setters encode text: UTF-8 (flagged) or code page 437. Reading
  // decodes every entry by its own flag.
  bool UTF8Support() const { return FUTF8Support; }
  void SetUTF8Support(bool AValue);

  // A new stream (the caller owns it) from which the entry's uncompressed bytes are read, and
  // the entry's local header.
  void Read(int Index, std::unique_ptr<TStream>& AStream, TZipHeader& ALocalHeader);
  void Read(const std::string& FileName, std::unique_ptr<TStream>& AStream,
            TZipHeader& ALocalHeader);
  void Read(int Index, TBytes& ABytes);
  void Read(const std::string& FileName, TBytes& ABytes);

  // Writes one entry below Path: with CreateSubdirs under its folder names, else under its last
  // name only.
  void Extract(int Index, const std::string& Path = "", bool CreateSubdirs = true);
  void Extract(const std::string& FileName, const std::string& Path = "",
               bool CreateSubdirs = true);
  // Every entry in directory order, with sub-folders; the first failure ends it. Before anything
  // is written, the entries must lie apart from each other and from the central directory, and
  // no two of them may name the same file.
  void ExtractAll(const std::string& Path = "");

  // Asked before each entry that ExtractAll writes and after each block that Extract writes:
  // the caller's chance to keep its window alive during a long extraction. True abandons the
  // extraction, which then raises EAbort (the file being written keeps what it has). Unset:
  // never.
  std::function<bool()> OnExtractProgress;
  // Called by Extract after each file it wrote is whole, verified and closed, with the file's
  // path and its entry (its size and CRC-32). Unset: nothing is called.
  std::function<void(const std::string& APath, const TZipHeader& AEntry)> OnFileExtracted;

  // Appends an entry made of the rest of Data (from its position to its end).
  void Add(TStream& AData, const std::string& ARchiveFileName,
           TZipCompression ACompression = TZipCompression::zcDeflate);
  void Add(const TBytes& AData, const std::string& ARchiveFileName,
           TZipCompression ACompression = TZipCompression::zcDeflate);

  static void RegisterCompressionHandler(TZipCompression ACompression,
                                         TStreamConstructor ACompressStream,
                                         TStreamConstructor ADecompressStream);
  static bool IsValid(const std::string& ZipFileName);
  static void ExtractZipFile(const std::string& ZipFileName, const std::string& Path);

 private:
  static bool FindDirectoryEnd(TStream& AStream, TZipDirectoryEnd& ADirectoryEnd, TBytes& AComment,
                               int64_t* ARecordPosition = nullptr);
  void ReadDirectory();
  TZipHeader ReadCentralHeader();
  // Extract, with the folders this extraction has made so far.
  void Extract(int Index, const std::string& Path, bool CreateSubdirs, TZipFolders& AFolders);
  // Reads the entry's local header and returns the stream position of its first data byte,
  // after checking that its header and data end before the next entry's header and the central
  // directory.
  int64_t LocateData(int Index, TZipHeader& ALocalHeader);
  void CheckLayout();
  void CheckDistinctNames() const;
  void WriteDirectory();
  void ReadExact(void* ABuffer, int64_t ACount);
  void CheckOpen() const;
  // Raises EAbort when OnExtractProgress asks for it.
  void CheckAbandoned() const;
  void CheckIndex(int Index) const;
  TBytes EncodeText(const std::string& AText, bool AUtf8) const;

  TZipMode FMode = TZipMode::zmClosed;
  TStream* FStream = nullptr;
  std::unique_ptr<TStream> FFileStream;
  int64_t FStartFileData = 0;
  // Where the central directory starts, counted from FStartFileData; in the writing modes where
  // the next entry goes.
  int64_t FEndFileData = 0;
  std::vector<TZipHeader> FFiles;
  // Indices into FFiles in the order of their local header offsets.
  std::vector<int> FOffsetOrder;
  TBytes FComment;
  bool FUTF8Support = true;
};
