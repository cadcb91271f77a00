#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "app/platform/FolderHelpers.h"
#include "base/FileSystem.h"

bool FolderExists(const std::string& APath) {
  struct stat st;
  if (::stat(ToNativePath(APath).c_str(), &st) != 0) {
    switch (errno) {
      case ENOENT:
      case ENOTDIR:
      case ENAMETOOLONG:
      case ELOOP:  // a link that leads nowhere
        return false;
      default:
        return true;  // there, but not to be looked at (access denied and the like)
    }
  }
  return S_ISDIR(st.st_mode);
}

namespace {

// The path as the system takes it, without a trailing separator (which would make the system
// follow a link there).
std::string EntryPath(const std::string& APath) {
  std::string native = ToNativePath(APath);
  while (native.size() > 1 && native.back() == '/')
    native.pop_back();
  return native;
}

}  // namespace

bool DeleteFolder(const std::string& APath) {
  if (!FolderExists(APath)) return false;
  namespace fs = std::filesystem;
  const std::string native = EntryPath(APath);
  std::error_code ec;
  // Write-protected sub-folders are opened up first, as the shell's deletion does for
  // read-only files; links are removed, never followed (nor opened up).
  if (!fs::is_symlink(native, ec)) {
    for (fs::recursive_directory_iterator it(native, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code ignored;
      if (it->is_directory(ignored) && !it->is_symlink(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  ec.clear();
  fs::remove_all(native, ec);
  return !ec;
}

bool CreatePrivateFolder(const std::string& APath) {
  // The mask can only take rights away: the folder is the user's alone.
  return ::mkdir(EntryPath(APath).c_str(), 0700) == 0;
}

TPathKind PathKind(const std::string& APath) {
  struct stat st;
  if (::lstat(EntryPath(APath).c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? TPathKind::pkMissing : TPathKind::pkOther;
  if (S_ISLNK(st.st_mode)) return TPathKind::pkLink;
  return S_ISDIR(st.st_mode) ? TPathKind::pkFolder : TPathKind::pkOther;
}
