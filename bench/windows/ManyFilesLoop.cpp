// The plain Windows way of writing a tree of many small files, beside which
// bench/run-windows-files.sh times the program's extraction under the same Wine: the tree of
// bench/zip/make_many_files.py (read from its pack file before the clock starts) written below a
// folder with one CreateDirectoryW per folder, then CreateFileW, one WriteFile and CloseHandle
// per file.
// Usage: many_files_loop <tree.pack> <target folder>
// Prints: seconds=<wall s> folders=<n> files=<n> bytes=<n>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct TEntry {
  std::wstring Path;
  std::string Data;
};

std::wstring Widen(const std::string& AText) {
  std::wstring out(AText.size(), L'\0');
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()),
                                      out.data(), static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

class TPack {
 public:
  explicit TPack(const std::string& AFile) {
    if (FILE* f = std::fopen(AFile.c_str(), "rb")) {
      char buffer[1 << 16];
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        FBytes.append(buffer, n);
      std::fclose(f);
    }
  }
  bool Take(void* AOut, size_t ACount) {
    if (FAt + ACount > FBytes.size()) return false;
    std::memcpy(AOut, FBytes.data() + FAt, ACount);
    FAt += ACount;
    return true;
  }
  bool Text(std::string& AOut, size_t ACount) {
    if (FAt + ACount > FBytes.size()) return false;
    AOut.assign(FBytes, FAt, ACount);
    FAt += ACount;
    return true;
  }

 private:
  std::string FBytes;
  size_t FAt = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <tree.pack> <target folder>\n", argv[0]);
    return 2;
  }
  TPack pack(argv[1]);
  char magic[4];
  uint32_t count = 0;
  if (!pack.Take(magic, 4) || std::string(magic, 4) != "PWPK" || !pack.Take(&count, 4)) {
    std::fprintf(stderr, "not a pack file\n");
    return 1;
  }
  const std::wstring target = Widen(argv[2]) + L"\\";
  std::vector<std::wstring> folders;
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t length = 0;
    std::string path;
    if (!pack.Take(&length, 2) || !pack.Text(path, length)) return 1;
    folders.push_back(target + Widen(path));
  }
  std::vector<TEntry> files;
  uint64_t bytes = 0;
  if (!pack.Take(&count, 4)) return 1;
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t length = 0;
    uint32_t size = 0;
    std::string path, data;
    if (!pack.Take(&length, 2) || !pack.Text(path, length) || !pack.Take(&size, 4) ||
        !pack.Text(data, size))
      return 1;
    files.push_back({target + Widen(path), std::move(data)});
    bytes += size;
  }

  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  for (const std::wstring& folder : folders) {
    if (!::CreateDirectoryW(folder.c_str(), nullptr)) {
      std::fprintf(stderr, "CreateDirectoryW failed: %lu\n", ::GetLastError());
      return 1;
    }
  }
  for (const TEntry& file : files) {
    const HANDLE h = ::CreateFileW(file.Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "CreateFileW failed: %lu\n", ::GetLastError());
      return 1;
    }
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(h, file.Data.data(), static_cast<DWORD>(file.Data.size()), &written, nullptr);
    ::CloseHandle(h);
    if (!ok || written != file.Data.size()) {
      std::fprintf(stderr, "WriteFile failed: %lu\n", ::GetLastError());
      return 1;
    }
  }
  ::QueryPerformanceCounter(&end);
  std::printf(
      "seconds=%.4f folders=%zu files=%zu bytes=%llu\n",
      static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
      folders.size(), files.size(), static_cast<unsigned long long>(bytes));
  return 0;
}
