#include "base/SpillingStream.h"

#include <utility>

TSpillingStream::TSpillingStream(int64_t AMemoryLimit, TFileMaker AMakeFile)
    : FMemoryLimit(AMemoryLimit), FMakeFile(std::move(AMakeFile)) {}

int64_t TSpillingStream::Read(void* ABuffer, int64_t ACount) {
  return Current().Read(ABuffer, ACount);
}

int64_t TSpillingStream::Write(const void* ABuffer, int64_t ACount) {
  if (!FFile && ACount > 0 && FMemory.Position() + ACount > FMemoryLimit) MoveToFile();
  return Current().Write(ABuffer, ACount);
}

int64_t TSpillingStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  return Current().Seek(AOffset, AOrigin);
}

int64_t TSpillingStream::Size() {
  return Current().Size();
}

void TSpillingStream::SetSize(int64_t ANewSize) {
  if (!FFile && ANewSize > FMemoryLimit) MoveToFile();
  Current().SetSize(ANewSize);
}

void TSpillingStream::MoveToFile() {
  std::unique_ptr<TStream> file = FMakeFile();
  file->WriteBuffer(FMemory.Memory(), FMemory.Size());
  file->SetPosition(FMemory.Position());
  FFile = std::move(file);
  FMemory.Clear();
}
