#include "zip/ZipPaths.h"

#include <vector>

#include "base/Exception.h"
#include "base/FileSystem.h"
#include "base/StrUtils.h"
#include "base/Texts.h"
#include "base/Utf.h"
#include "zip/ZipFolders.h"

namespace {
constexpr size_t kMaxPath = 260;
constexpr std::string_view kExtendedPrefix = "\\\\?\\";
constexpr std::string_view kDevicePrefix = "\\\\.\\";

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool HasDriveLetter(std::string_view APath) {
  return APath.size() >= 2 && IsAsciiLetter(APath[0]) && APath[1] == ':';
}

bool IsExtended(std::string_view APath) {
  return APath.starts_with(kExtendedPrefix) || APath.starts_with(kDevicePrefix);
}

// Length of the root of an absolute path, without its trailing separator: "C:" for "C:\x",
// "\\server\share" for a network path, "" for a path rooted at "\" (the native build's root).
size_t RootLength(std::string_view APath) {
  if (HasDriveLetter(APath)) return 2;
  if (APath.size() >= 2 && IsSeparator(APath[0]) && IsSeparator(APath[1])) {
    // "\\server\share": the root ends before the separator after the share name.
    size_t i = 2;
    for (int part = 0; part < 2; ++part) {
      while (i < APath.size() && !IsSeparator(APath[i]))
        ++i;
      if (part == 0 && i < APath.size()) ++i;
    }
    return i;
  }
  return 0;
}

// root + "\" + the segments of rest, with "." dropped and ".." taking the previous one away.
std::string Normalize(std::string_view ARoot, std::string_view ARest) {
  std::vector<std::string_view> segments;
  size_t i = 0;
  while (i <= ARest.size()) {
    size_t j = i;
    while (j < ARest.size() && !IsSeparator(ARest[j]))
      ++j;
    const std::string_view seg = ARest.substr(i, j - i);
    if (seg == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segments.push_back(seg);
    }
    i = j + 1;
  }
  std::string out(ARoot);
  out += '\\';
  for (size_t k = 0; k < segments.size(); ++k) {
    if (k > 0) out += '\\';
    out += segments[k];
  }
  return out;
}
}  // namespace

bool HasInvalidPathChars(std::string_view AText) {
  for (const char c : AText) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || c == '"' || c == '<' || c == '>' || c == '|') return true;
  }
  return false;
}

std::string CombinePath(std::string_view APath, std::string_view AName) {
  if (APath.empty()) return std::string(AName);
  if (AName.empty()) return std::string(APath);
  if (HasInvalidPathChars(APath) || HasInvalidPathChars(AName))
    throw EArgumentException(Text(RSPathInvalidChars));
  std::string out(APath);
  const char last = APath.back();
  if (last != '\\' && last != '/' && last != ':') out += '\\';
  out += AName;
  return out;
}

bool IsEscapingEntryName(std::string_view AName) {
  if (!AName.empty() && AName[0] == '\\') return true;
  if (HasDriveLetter(AName)) return true;
  size_t i = 0;
  while (i <= AName.size()) {
    size_t j = AName.find('\\', i);
    if (j == std::string_view::npos) j = AName.size();
    const std::string_view seg = AName.substr(i, j - i);
    // Windows drops trailing dots and spaces from a segment, so ".. " and "..." act as "..".
    size_t dots = 0;
    bool onlyDotsAndSpaces = !seg.empty();
    for (const char c : seg) {
      if (c == '.')
        ++dots;
      else if (c != ' ')
        onlyDotsAndSpaces = false;
    }
    if (onlyDotsAndSpaces && dots >= 2) return true;
    i = j + 1;
  }
  return false;
}

std::string ExpandPath(std::string_view APath) {
  if (IsExtended(APath)) return std::string(APath);
  if (HasDriveLetter(APath) && !(APath.size() > 2 && IsSeparator(APath[2]))) {
    // "C:x" is relative to the current folder of drive C; only the process's own current folder
    // is known, so it counts when it is on that drive and the drive's root otherwise.
    const std::string cwd = GetCurrentDir();
    if (HasDriveLetter(cwd) && UpperChar(cwd[0]) == UpperChar(APath[0]))
      return ExpandPath(cwd + "\\" + std::string(APath.substr(2)));
    return Normalize(APath.substr(0, 2), APath.substr(2));
  }
  const size_t rootLen = RootLength(APath);
  if (rootLen > 0) return Normalize(APath.substr(0, rootLen), APath.substr(rootLen));
  const std::string cwd = GetCurrentDir();
  const size_t cwdRoot = RootLength(cwd);
  // Rooted without a drive: on the current folder's drive (or the native root).
  if (!APath.empty() && IsSeparator(APath[0]))
    return Normalize(std::string_view(cwd).substr(0, cwdRoot), APath);
  return Normalize(std::string_view(cwd).substr(0, cwdRoot),
                   std::string(std::string_view(cwd).substr(cwdRoot)) + "\\" + std::string(APath));
}

TCheckedFolder CheckFolderPath(std::string_view AFolder) {
  std::string full = ExpandPath(AFolder);
  const bool extended = IsExtended(full);
  if (!extended && Utf8ToUtf16(full).size() >= kMaxPath)
    throw EPathTooLongException(Text(RSPathTooLong));
  const std::string_view body =
      extended ? std::string_view(full).substr(kExtendedPrefix.size()) : std::string_view(full);
  for (size_t i = body.find(':'); i != std::string_view::npos; i = body.find(':', i + 1))
    if (i != 1 || !IsAsciiLetter(body[0]))
      throw ENotSupportedException(Text(RSPathFormatUnsupported));
  if (Trim(full).empty() || HasInvalidPathChars(full))
    throw EArgumentException(Text(RSPathInvalidChars));
  TCheckedFolder folder;
  if (HasDriveLetter(body)) folder.Drive = std::string(body.substr(0, 2)) + "\\";
  folder.RootEnd = extended ? kExtendedPrefix.size() + RootLength(body) : RootLength(full);
  while (full.size() > folder.RootEnd + 1 && full.back() == '\\')
    full.pop_back();
  folder.Full = std::move(full);
  return folder;
}

void ForceFolders(std::string_view AFolder) {
  TZipFolders().Force(AFolder);
}
