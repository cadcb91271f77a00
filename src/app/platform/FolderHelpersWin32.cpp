#include <windows.h>  // first: the other platform headers build on it

#include <string>
#include <vector>

#include "app/platform/FolderHelpers.h"
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

bool SameText(const std::wstring& A, const std::wstring& B) {
  return ::CompareStringOrdinal(A.c_str(), static_cast<int>(A.size()), B.c_str(),
                                static_cast<int>(B.size()), TRUE) == CSTR_EQUAL;
}

// The full path in the extended form ("\\?\"), which the system takes as it stands: no length
// limit, and no trailing dots or spaces trimmed from names. No trailing separator but a root's.
std::wstring ExtendedPath(const std::wstring& APath) {
  std::wstring full = APath;
  if (full.compare(0, 4, L"\\\\?\\") != 0) {
    const DWORD n = ::GetFullPathNameW(APath.c_str(), 0, nullptr, nullptr);
    if (n == 0) return {};
    full.assign(n, L'\0');
    full.resize(::GetFullPathNameW(APath.c_str(), n, full.data(), nullptr));
    if (full.compare(0, 2, L"\\\\") == 0)
      full = L"\\\\?\\UNC" + full.substr(1);
    else
      full = L"\\\\?\\" + full;
  }
  while (full.size() > 7 && full.back() == L'\\' && full[full.size() - 2] != L':')
    full.pop_back();
  return full;
}

// The root that the names of FILE_NAME_INFO are relative to, for a path in the extended form:
// "\\?\X:" for a drive, "\\?\UNC" for a network share (its names start with the server); empty
// for any other form.
std::wstring VolumeRoot(const std::wstring& AExtendedPath) {
  if (AExtendedPath.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\?\\UNC";
  if (AExtendedPath.size() >= 6 && AExtendedPath.compare(0, 4, L"\\\\?\\") == 0 &&
      AExtendedPath[5] == L':')
    return AExtendedPath.substr(0, 6);
  return {};
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

// The path of the file the handle reached, below its volume's root ("\dir\name"); empty when
// unknown. Known where the final path is not (Wine gives that up beyond about 260 characters).
std::wstring NameOnVolume(HANDLE h) {
  std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t));
  if (!::GetFileInformationByHandleEx(h, FileNameInfo, buffer.data(),
                                      static_cast<DWORD>(buffer.size())))
    return {};
  const auto* info = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
  return std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
}

// A file's identity: its volume's serial number and its index there.
struct TFileId {
  DWORD Volume = 0;
  ULONGLONG Index = 0;
  bool operator==(const TFileId&) const = default;
};

bool GetFileId(HANDLE h, TFileId& AId) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) return false;
  AId = {info.dwVolumeSerialNumber,
         (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  return true;
}

// The identity of what the path leads to (links followed).
bool GetFileIdOfPath(const std::wstring& APath, TFileId& AId) {
  const TFileHandle h(::CreateFileW(APath.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return h && GetFileId(h.get(), AId);
}

// A folder the walk is in: the path it reached it by, in the extended form, and its identity.
struct TFolder {
  std::wstring Path;
  TFileId Id;
};

// One entry of a folder, opened as itself: a link or junction as such, not what it leads to.
struct TEntry {
  std::wstring Name;
  std::wstring Path;  // below the folder's path
  TFileHandle Handle;
  DWORD Error = ERROR_SUCCESS;  // why it could not be opened
  FILE_ATTRIBUTE_TAG_INFO Info{};

  TEntry(const TFolder& AFolder, const std::wstring& AName, DWORD AAccess)
      : Name(AName),
        Path(JoinPath(AFolder.Path, AName)),
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
  bool InPlace(const TFolder& AFolder) const {
    const std::wstring reached = FinalPath(Handle.get());
    if (!reached.empty() && SameText(reached, Path)) return true;
    // The final path cannot always tell: Wine drops a last name's trailing dots and spaces from
    // it and gives it up beyond about 260 characters. Then ask by identity.
    return LiesIn(AFolder);
  }

  // Whether the folder that really holds what the handle reached is this folder (the same
  // volume and file index) under the listed name, which may have lost its trailing dots and
  // spaces on the way.
  bool LiesIn(const TFolder& AFolder) const {
    const std::wstring real = NameOnVolume(Handle.get());
    const size_t sep = real.rfind(L'\\');
    const std::wstring root = VolumeRoot(AFolder.Path);
    if (sep == std::wstring::npos || root.empty()) return false;
    const std::wstring realName = real.substr(sep + 1);
    std::wstring trimmed = Name;
    while (!trimmed.empty() && (trimmed.back() == L'.' || trimmed.back() == L' '))
      trimmed.pop_back();
    if (!SameText(realName, Name) && (trimmed.empty() || !SameText(realName, trimmed)))
      return false;
    TFileId holder;
    return GetFileIdOfPath(root + (sep == 0 ? L"\\" : real.substr(0, sep)), holder) &&
           holder == AFolder.Id;
  }
  bool IsLink() const { return Info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT; }
  bool IsFolder() const { return Info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY; }
};

// The folder that holds path (reached following links, as any path is) and the last name of
// path; False when the folder cannot be opened.
bool SplitPath(const std::string& APath, TFolder& AFolder, std::wstring& AName) {
  std::wstring wide = ToWide(APath);
  while (wide.size() > 1 && (wide.back() == L'\\' || wide.back() == L'/'))
    wide.pop_back();
  const size_t sep = wide.find_last_of(L"\\/");
  AName = sep == std::wstring::npos ? wide : wide.substr(sep + 1);
  const std::wstring folder =
      ExtendedPath(sep == std::wstring::npos ? L"." : wide.substr(0, sep + 1));
  if (folder.empty()) return false;
  TFileHandle handle(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle || !GetFileId(handle.get(), AFolder.Id)) return false;
  // Its final path (links on the way resolved), where that leads to the same folder: Wine's
  // may have lost a trailing dot or space, or be missing for a long path. Else the path it was
  // opened by.
  const std::wstring final = FinalPath(handle.get());
  TFileId finalId;
  AFolder.Path =
      !final.empty() && GetFileIdOfPath(final, finalId) && finalId == AFolder.Id ? final : folder;
  return !AName.empty();
}

// Clears an opened entry's read-only attribute, as the shell's deletion does: a read-only file
// cannot be deleted, nor (on some file systems) what a read-only folder holds.
void MakeWritable(const TEntry& AEntry) {
  if (!(AEntry.Info.FileAttributes & FILE_ATTRIBUTE_READONLY)) return;
  FILE_BASIC_INFO basic{};  // times of 0 stay as they are
  basic.FileAttributes =
      AEntry.Info.FileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_DIRECTORY);
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  ::SetFileInformationByHandle(AEntry.Handle.get(), FileBasicInfo, &basic, sizeof(basic));
}

// Marks an opened entry for deletion, which happens when its last handle closes.
bool Dispose(const TEntry& AEntry) {
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
bool RemoveEntry(const TFolder& AFolder, const std::wstring& AName) {
  const TEntry entry(AFolder, AName,
                     DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  if (!entry.Handle || !entry.InPlace(AFolder)) return false;
  MakeWritable(entry);
  bool removed = true;
  if (entry.IsFolder() && !entry.IsLink()) {
    TFolder folder{entry.Path, {}};
    std::vector<std::wstring> names;
    removed = GetFileId(entry.Handle.get(), folder.Id) && ListFolder(entry.Handle.get(), names);
    for (const std::wstring& child : names)
      removed = RemoveEntry(folder, child) && removed;
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
  TFolder folder;
  std::wstring name;
  return SplitPath(APath, folder, name) && RemoveEntry(folder, name);
}

TPathKind PathKind(const std::string& APath) {
  TFolder folder;
  std::wstring name;
  if (!SplitPath(APath, folder, name)) {
    return IsNotFound(::GetLastError()) ? TPathKind::pkMissing : TPathKind::pkOther;
  }
  const TEntry entry(folder, name, FILE_READ_ATTRIBUTES);
  if (!entry.Handle) return IsNotFound(entry.Error) ? TPathKind::pkMissing : TPathKind::pkOther;
  if (entry.IsLink() || !entry.InPlace(folder)) return TPathKind::pkLink;
  return entry.IsFolder() ? TPathKind::pkFolder : TPathKind::pkOther;
}

namespace {

struct TTokenTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::CloseHandle(h); }
};

// The user the process runs as, as its token says; empty when it cannot be told.
std::vector<BYTE> ProcessUser() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
  const TUniqueHandle<TTokenTraits> token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), ::TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  if (size == 0 || !::GetTokenInformation(token.get(), ::TokenUser, user.data(), size, &size))
    return {};
  return user;
}

// A well-known account's SID; empty when the system does not know it.
std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE AType) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = SECURITY_MAX_SID_SIZE;
  if (!::CreateWellKnownSid(AType, nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

}  // namespace

bool CreatePrivateFolder(const std::string& APath) {
  const std::vector<BYTE> user = ProcessUser();
  const std::vector<BYTE> system = WellKnownSid(WinLocalSystemSid);
  const std::vector<BYTE> admins = WellKnownSid(WinBuiltinAdministratorsSid);
  // Without all three the folder would be made with what the folder above lets anyone do.
  if (user.empty() || system.empty() || admins.empty()) return false;
  const PSID sids[] = {reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid,
                       const_cast<BYTE*>(system.data()), const_cast<BYTE*>(admins.data())};
  DWORD aclSize = sizeof(ACL);
  for (PSID sid : sids)
    aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(sid);
  std::vector<BYTE> acl(aclSize);
  const auto dacl = reinterpret_cast<PACL>(acl.data());
  if (!::InitializeAcl(dacl, aclSize, ACL_REVISION)) return false;
  // Inherited by every file and folder below.
  for (PSID sid : sids)
    if (!::AddAccessAllowedAceEx(dacl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                 FILE_ALL_ACCESS, sid))
      return false;
  SECURITY_DESCRIPTOR descriptor;
  if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE) ||
      // Protected: nothing of the folder above is inherited (a shared current folder's
      // "Everyone may write" stays out).
      !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
    return false;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  return ::CreateDirectoryW(ToWide(APath).c_str(), &attributes);
}
