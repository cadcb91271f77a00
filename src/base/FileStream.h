#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "base/Stream.h"

// A stream on a file of the file system.
class TFileStream : public TStream {
 public:
  enum class TMode {
    fmCreate,         // create always (replacing a file of that name), read-write, no sharing
    fmOpenRead,       // existing file, read only, others may read
    fmOpenReadWrite,  // existing file, read-write, no sharing
  };

  // Raises EFCreateError "Cannot create file "%s". %s" or EFOpenError
  // "Cannot open file "%s". %s" with the path and the system's error text.
  TFileStream(const std::string& AFileName, TMode AMode);
  ~TFileStream() override;

  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  void SetSize(int64_t ANewSize) override;

  const std::string& FileName() const { return FFileName; }
  // The system's own handle of the open file (a HANDLE on Windows, a descriptor natively), for
  // calls that take one; it stays the stream's.
#ifdef _WIN32
  void* Handle() const {
    return FHandle;
  }
#else
  int Handle() const {
    return FHandle;
  }
#endif

 protected:
#ifdef _WIN32
  using THandle = void*;
#else
  using THandle = int;
#endif
  // Takes over a file that a descendant has opened; the stream closes it.
  TFileStream(std::string AFileName, THandle AHandle)
      : FFileName(std::move(AFileName)), FHandle(AHandle) {}

 private:
  std::string FFileName;
  THandle FHandle;
};
