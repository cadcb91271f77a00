#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "app/FolderHelpers.h"
#include "base/FileSystem.h"

bool FolderExists(const std::string& path) {
  struct stat st;
  if (::stat(ToNativePath(path).c_str(), &st) != 0) {
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

bool DeleteFolder(const std::string& path) {
  if (!FolderExists(path)) return false;
  namespace fs = std::filesystem;
  std::string native = ToNativePath(path);
  while (native.size() > 1 && native.back() == '/')
    native.pop_back();
  std::error_code ec;
  // Write-protected sub-folders are opened up first, as the shell's deletion does for
  // read-only files; links are removed, never followed.
  for (fs::recursive_directory_iterator it(native, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ignored;
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  ec.clear();
  fs::remove_all(native, ec);
  return !ec;
}
