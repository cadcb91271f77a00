#include <windows.h>  // first: the other platform headers build on it

#include <string>
#include <vector>

#include "app/FolderHelpers.h"
#include "base/UniqueHandle.h"
#include "base/Utf.h"

namespace {

struct TFileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};
using TFileHandle = TUniqueHandle<TFileHandleTraits>;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Errors that say nothing is there.
bool IsNotFound(DWORD AError) {
  switch (AError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NOT_READY:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return true;
    default:
      return false;
  }
}

std::wstring JoinPath(const std::wstring& AFolder, const std::wstring& AName) {
  return !AFolder.empty() && AFolder.back() == L'\\' ? AFolder + AName : AFolder + L'\\' + AName;
}

// The path the system reached through the handle, in its final form; empty when unknown.
std::wstring FinalPath(HANDLE h) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(n);
  }
}

// One entry of a folder, opened as itself: a link or junction as such, not what it leads to.
struct TEntry {
  std::wstring Path;  // below the folder's final path
  TFileHandle Handle;
  DWORD Error = ERROR_SUCCESS;  // why it could not be opened
  FILE_ATTRIBUTE_TAG_INFO Info{};

  TEntry(const std::wstring& AFolderFinal, const std::wstring& AName, DWORD AAccess)
      : Path(JoinPath(AFolderFinal, AName)),
        Handle(::CreateFileW(Path.c_str(), AAccess, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)) {
    if (!Handle) {
      Error = ::GetLastError();
    } else if (!::GetFileInformationByHandleEx(Handle.get(), FileAttributeTagInfo, &Info,
                                               sizeof(Info))) {
      Error = ::GetLastError();
      Handle.reset();
    }
  }

  // Whether the handle reached the entry where its name says. A platform that follows a
  // symbolic link even when asked to open it as such (Wine does) reaches another place.
  bool InPlace() const {
    const std::wstring reached = FinalPath(Handle.get());
    return !reached.empty() &&
           ::CompareStringOrdinal(reached.c_str(), static_cast<int>(reached.size()), Path.c_str(),
                                  static_cast<int>(Path.size()), TRUE) == CSTR_EQUAL;
  }
  bool IsLink() const { return Info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT; }
  bool IsFolder() const { return Info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY; }
};

// The final path of the folder that holds path (reached following links, as any path is) and
// the last name of path; False when the folder cannot be opened.
bool SplitPath(const std::string& APath, std::wstring& AFolderFinal, std::wstring& AName) {
  std::wstring wide = ToWide(APath);
  while (wide.size() > 1 && (wide.back() == L'\\' || wide.back() == L'/'))
    wide.pop_back();
  const size_t sep = wide.find_last_of(L"\\/");
  AName = sep == std::wstring::npos ? wide : wide.substr(sep + 1);
  std::wstring folder = sep == std::wstring::npos ? L"." : wide.substr(0, sep + 1);
  TFileHandle handle(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return false;
  AFolderFinal = FinalPath(handle.get());
  return !AFolderFinal.empty() && !AName.empty();
}

// Marks an opened entry for deletion, which happens when its last handle closes; a read-only
// entry is made writable first, as the shell's deletion does.
bool Dispose(const TEntry& AEntry) {
  if (AEntry.Info.FileAttributes & FILE_ATTRIBUTE_READONLY) {
    FILE_BASIC_INFO basic{};  // times of 0 stay as they are
    basic.FileAttributes =
        AEntry.Info.FileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_DIRECTORY);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(AEntry.Handle.get(), FileBasicInfo, &basic, sizeof(basic));
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  return ::SetFileInformationByHandle(AEntry.Handle.get(), FileDispositionInfo, &disposition,
                                      sizeof(disposition));
}

// The names in an opened folder, read through its handle (a second open to list it could
// reach another folder, and collides with the handle's delete access under Wine).
bool ListFolder(HANDLE AFolder, std::vector<std::wstring>& ANames) {
  std::vector<unsigned char> buffer(64 * 1024);
  FILE_INFO_BY_HANDLE_CLASS kind = FileFullDirectoryRestartInfo;
  while (::GetFileInformationByHandleEx(AFolder, kind, buffer.data(),
                                        static_cast<DWORD>(buffer.size()))) {
    kind = FileFullDirectoryInfo;
    for (size_t at = 0;;) {
      const auto* info = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer.data() + at);
      const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") ANames.push_back(name);
      if (info->NextEntryOffset == 0) break;
      at += info->NextEntryOffset;
    }
  }
  return ::GetLastError() == ERROR_NO_MORE_FILES;
}

// Removes the entry: a folder with everything in it, a file, or a link itself. False when
// something stayed (also an entry the platform would only reach through a link).
bool RemoveEntry(const std::wstring& AFolderFinal, const std::wstring& AName) {
  const TEntry entry(AFolderFinal, AName,
                     DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  if (!entry.Handle || !entry.InPlace()) return false;
  bool removed = true;
  if (entry.IsFolder() && !entry.IsLink()) {
    std::vector<std::wstring> names;
    removed = ListFolder(entry.Handle.get(), names);
    for (const std::wstring& child : names)
      removed = RemoveEntry(entry.Path, child) && removed;
  }
  // A folder goes once its entries have (their handles are closed by now).
  return Dispose(entry) && removed;
}

}  // namespace

bool FolderExists(const std::string& APath) {
  const std::wstring wide = ToWide(APath);
  const DWORD attr = ::GetFileAttributesW(wide.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) {
    // Otherwise something is there that cannot be looked at (access denied and the like).
    return !IsNotFound(::GetLastError());
  }
  if (!(attr & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (attr & FILE_ATTRIBUTE_REPARSE_POINT) {
    // A link counts only when its target can be opened.
    TFileHandle h(::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h) return false;
  }
  return true;
}

// A walk of our own instead of the shell's deletion, which follows symbolic links inside the
// folder (under Wine it deleted the folders they led to).
bool DeleteFolder(const std::string& APath) {
  if (!FolderExists(APath)) return false;
  std::wstring folderFinal, name;
  return SplitPath(APath, folderFinal, name) && RemoveEntry(folderFinal, name);
}

TPathKind PathKind(const std::string& APath) {
  std::wstring folderFinal, name;
  if (!SplitPath(APath, folderFinal, name)) {
    return IsNotFound(::GetLastError()) ? TPathKind::pkMissing : TPathKind::pkOther;
  }
  const TEntry entry(folderFinal, name, FILE_READ_ATTRIBUTES);
  if (!entry.Handle) return IsNotFound(entry.Error) ? TPathKind::pkMissing : TPathKind::pkOther;
  if (entry.IsLink() || !entry.InPlace()) return TPathKind::pkLink;
  return entry.IsFolder() ? TPathKind::pkFolder : TPathKind::pkOther;
}
