#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/MemoryStream.h"
#include "base/Stream.h"

// A stream held in memory until it would grow past a limit, then in a file that takes over its
// bytes and its position: for data whose size is not known before it arrives. Readers and
// writers cannot tell where the bytes are.
class TSpillingStream : public TStream {
 public:
  using TFileMaker = std::function<std::unique_ptr<TStream>()>;

  // AMakeFile is called once, when the stream first needs more than AMemoryLimit bytes; what it
  // raises, the write or SetSize that needed the file raises, and the bytes stay in memory.
  TSpillingStream(int64_t AMemoryLimit, TFileMaker AMakeFile);

  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  int64_t Size() override;
  void SetSize(int64_t ANewSize) override;

  // Whether the bytes have moved to the file.
  bool InFile() const { return FFile != nullptr; }

 private:
  void MoveToFile();
  TStream& Current() { return FFile ? *FFile : static_cast<TStream&>(FMemory); }

  int64_t FMemoryLimit;
  TFileMaker FMakeFile;
  TMemoryStream FMemory;
  std::unique_ptr<TStream> FFile;
};
