#include "http/IdURI.h"

#include <algorithm>
#include <optional>

#include "base/StrUtils.h"
#include "base/Utf.h"

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

void AppendEscaped(std::string& AOut, std::string_view ABytes) {
  for (unsigned char b : ABytes) {
    AOut += '%';
    AOut += kHexDigits[b >> 4];
    AOut += kHexDigits[b & 0x0F];
  }
}

// The bytes of one character (a code point) in the byte encoding.
std::string EncodeChar(char32_t ACp, TIdURIByteEncoding AEncoding) {
  std::string bytes;
  switch (AEncoding) {
    case TIdURIByteEncoding::UTF8:
      AppendUtf8(bytes, ACp);
      break;
    case TIdURIByteEncoding::Latin1:
      bytes += ACp <= 0xFF ? static_cast<char>(ACp) : '?';
      break;
    case TIdURIByteEncoding::ASCII:
      bytes += ACp <= 0x7F ? static_cast<char>(ACp) : '?';
      break;
  }
  return bytes;
}

// Decodes UTF-8 into code points, a surrogate pair counting as one character; malformed bytes
// become U+FFFD.
std::u32string CodePoints(std::string_view AUtf8) {
  const std::u16string wide = Utf8ToUtf16(AUtf8);
  std::u32string out;
  out.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    }
    out += c;
  }
  return out;
}

template <typename IsUnsafe>
std::string EncodeWith(std::string_view ASrc, TIdURIByteEncoding AEncoding, IsUnsafe AIsUnsafe) {
  std::string out;
  for (char32_t cp : CodePoints(ASrc)) {
    if (AIsUnsafe(cp))
      AppendEscaped(out, EncodeChar(cp, AEncoding));
    else
      AppendUtf8(out, cp);
  }
  return out;
}

bool InList(char32_t ACp, std::string_view AList) {
  return ACp < 0x80 && AList.find(static_cast<char>(ACp)) != std::string_view::npos;
}

// The value of count hexadecimal digits at pos, or -1 when one is missing or not hexadecimal.
int HexAt(std::string_view s, size_t APos, size_t ACount) {
  if (APos + ACount > s.size()) return -1;
  int value = 0;
  for (size_t i = 0; i < ACount; ++i) {
    const int d = HexValue(s[APos + i]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

// Splits query and fragment off the remaining text.
void SplitQueryAndFragment(std::string& ARest, std::string& AParams, std::string& ABookmark) {
  const size_t q = ARest.find('?');
  if (q != std::string::npos) {
    AParams = ARest.substr(q + 1);
    ARest.erase(q);
    if (AParams.find('#') != std::string::npos) {
      ABookmark = AParams;
      AParams = Fetch(ABookmark, '#');
    }
    return;
  }
  const size_t h = ARest.find('#');
  if (h != std::string::npos) {
    ABookmark = ARest.substr(h + 1);
    ARest.erase(h);
  }
}

}  // namespace

TIdURI::TIdURI(std::string_view AURI) {
  if (!AURI.empty()) SetURI(AURI);
}

size_t TIdURI::SchemeLength(std::string_view AURL) {
  auto isAlpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (AURL.empty() || !isAlpha(AURL[0])) return 0;
  for (size_t i = 1; i < AURL.size(); ++i) {
    const char c = AURL[i];
    if (c == ':') return i;
    if (!isAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return 0;
  }
  return 0;
}

void TIdURI::NormalizePath(std::string& APath) {
  // Only a scheme's ":" counts: one in a path, query or fragment leaves the text before it
  // as it is.
  size_t start = 0;
  if (const size_t colon = SchemeLength(APath); colon > 0) {
    start = colon + 1;
    auto isSeparator = [&](size_t i) {
      return i < APath.size() && (APath[i] == '\\' || APath[i] == '/');
    };
    if (isSeparator(colon + 1) && isSeparator(colon + 2)) start = colon + 3;
  }
  for (size_t i = start; i < APath.size(); ++i) {
    if (APath[i] == '?' || APath[i] == '#') break;
    if (APath[i] == '\\') APath[i] = '/';
  }
}

void TIdURI::SetURI(std::string_view AValue) {
  FURI = std::string(AValue);
  NormalizePath(FURI);
  std::string rest = FURI;

  Document.clear();
  Protocol.clear();
  Port.clear();
  Path.clear();
  Host.clear();
  Bookmark.clear();
  Username.clear();
  Password.clear();
  Params.clear();
  IPVersion = Id_IPv4;

  // A URL is absolute only when it begins with a scheme; a "://" further on (in a query, say)
  // is just text. An authority follows "//", after the scheme or without one (a network-path
  // reference, which keeps the scheme of the URL it is read against).
  if (const size_t scheme = SchemeLength(rest); scheme > 0) {
    Protocol = rest.substr(0, scheme);
    rest.erase(0, scheme + 1);
  }
  if (rest.compare(0, 2, "//") == 0) {
    rest.erase(0, 2);
    SplitQueryAndFragment(rest, Params, Bookmark);

    std::string authority = Fetch(rest, '/');
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) {
      Password = authority.substr(0, at);
      authority.erase(0, at + 1);
      Username = Fetch(Password, ':');
      if (Username.empty()) Password.clear();
    }

    const size_t open = authority.find('[');
    const size_t close = authority.find(']');
    if (open != std::string::npos && close != std::string::npos && close > open) {
      Host = Fetch(authority, ']');
      Fetch(Host, '[');
      Fetch(authority, ':');
      IPVersion = Id_IPv6;
    } else {
      Host = Fetch(authority, ':');
    }
    Port = authority;

    const size_t lastSlash = rest.rfind('/');
    if (lastSlash != std::string::npos) {
      Path = "/" + rest.substr(0, lastSlash + 1);
      rest.erase(0, lastSlash + 1);
    } else {
      Path = "/";
    }
  } else {
    SplitQueryAndFragment(rest, Params, Bookmark);
    const size_t lastSlash = rest.rfind('/');
    if (lastSlash != std::string::npos) {
      Path = rest.substr(0, lastSlash + 1);
      rest.erase(0, lastSlash + 1);
    }
  }
  Document = rest;
}

std::string TIdURI::RemoveDotSegments(std::string_view APath) {
  std::string in(APath);
  std::string out;
  while (!in.empty()) {
    if (in.compare(0, 3, "../") == 0) {
      in.erase(0, 3);
    } else if (in.compare(0, 2, "./") == 0) {
      in.erase(0, 2);
    } else if (in.compare(0, 3, "/./") == 0 || in == "/.") {
      in.replace(0, in.size() > 2 ? 3 : 2, "/");
    } else if (in.compare(0, 4, "/../") == 0 || in == "/..") {
      in.replace(0, in.size() > 3 ? 4 : 3, "/");
      const size_t last = out.rfind('/');
      out.erase(last == std::string::npos ? 0 : last);
    } else if (in == "." || in == "..") {
      in.clear();
    } else {
      const size_t next = in.find('/', 1);
      const size_t length = next == std::string::npos ? in.size() : next;
      out.append(in, 0, length);
      in.erase(0, length);
    }
  }
  return out;
}

std::string TIdURI::ResolveReference(std::string_view AReference) const {
  std::string reference(AReference);
  NormalizePath(reference);
  std::string_view rest = reference;
  // The reference's parts, each absent or present (even when empty).
  const size_t schemeLength = SchemeLength(rest);
  const std::string_view scheme = rest.substr(0, schemeLength);
  if (schemeLength > 0) rest.remove_prefix(schemeLength + 1);
  std::optional<std::string_view> authority;
  if (rest.compare(0, 2, "//") == 0) {
    rest.remove_prefix(2);
    const size_t end = std::min(rest.find_first_of("/?#"), rest.size());
    authority = rest.substr(0, end);
    rest.remove_prefix(end);
  }
  rest = rest.substr(0, rest.find('#'));
  std::optional<std::string_view> query;
  if (const size_t q = rest.find('?'); q != std::string_view::npos) {
    query = rest.substr(q + 1);
    rest = rest.substr(0, q);
  }
  const std::string_view path = rest;

  std::string baseAuthority = IPVersion == Id_IPv6 ? "[" + Host + "]" : Host;
  if (!Port.empty()) baseAuthority += ":" + Port;
  const std::string basePath = Path + Document;

  std::string targetScheme(scheme);
  std::optional<std::string> targetAuthority;
  std::string targetPath;
  std::optional<std::string> targetQuery;
  if (query) targetQuery = std::string(*query);
  if (schemeLength > 0 || authority) {
    if (authority) targetAuthority = std::string(*authority);
    targetPath = RemoveDotSegments(path);
  } else {
    if (path.empty()) {
      targetPath = basePath;
      if (!query && !Params.empty()) targetQuery = Params;
    } else if (path.front() == '/') {
      targetPath = RemoveDotSegments(path);
    } else {
      const std::string folder = basePath.empty() && !Host.empty()
                                     ? std::string("/")
                                     : basePath.substr(0, basePath.rfind('/') + 1);
      targetPath = RemoveDotSegments(folder + std::string(path));
    }
    targetAuthority = baseAuthority;
  }
  if (schemeLength == 0) targetScheme = Protocol;

  std::string result = targetScheme + ":";
  if (targetAuthority) result += "//" + *targetAuthority;
  result += targetPath;
  if (targetQuery) result += "?" + *targetQuery;
  return result;
}

std::string TIdURI::URI() {
  FURI = GetFullURI({ofAuthInfo, ofBookmark});
  return GetFullURI({});
}

std::string TIdURI::GetFullURI(TIdURIOptionalFieldsSet AOptionalFields) const {
  if (Protocol.empty()) throw EIdURIException("Protocol field is empty");
  if (Host.empty()) throw EIdURIException("Host field is empty");

  std::string result = Protocol + "://";
  if (AOptionalFields.Contains(ofAuthInfo) && !Username.empty()) {
    result += Username;
    if (!Password.empty()) result += ":" + Password;
    result += "@";
  }
  result += IPVersion == Id_IPv6 ? "[" + Host + "]" : Host;

  if (!Port.empty()) {
    const bool isDefault = (SameText(Protocol, "HTTP") && Port == "80") ||
                           (SameText(Protocol, "HTTPS") && Port == "443") ||
                           (SameText(Protocol, "FTP") && Port == "21");
    if (!isDefault) result += ":" + Port;
  }
  result += GetPathAndParams();
  if (AOptionalFields.Contains(ofBookmark) && !Bookmark.empty()) result += "#" + Bookmark;
  return result;
}

std::string TIdURI::GetPathAndParams() const {
  std::string result = Path + Document;
  if (!Params.empty()) result += "?" + Params;
  return result;
}

std::string TIdURI::PathEncode(std::string_view ASrc, TIdURIByteEncoding AByteEncoding) {
  return EncodeWith(ASrc, AByteEncoding, [](char32_t ACp) {
    return ACp < 0x21 || ACp > 0x7F || InList(ACp, "*<>#%\"{}|\\^[]`+");
  });
}

std::string TIdURI::ParamsEncode(std::string_view ASrc, TIdURIByteEncoding AByteEncoding) {
  return EncodeWith(ASrc, AByteEncoding, [](char32_t ACp) {
    return ACp < 0x21 || ACp > 0x80 || InList(ACp, "*<>#%\"{}|\\^[]`");
  });
}

std::string TIdURI::URLEncode(std::string_view ASrc, TIdURIByteEncoding AByteEncoding) {
  TIdURI uri(ASrc);
  uri.Path = PathEncode(uri.Path, AByteEncoding);
  uri.Document = PathEncode(uri.Document, AByteEncoding);
  uri.Params = ParamsEncode(uri.Params, AByteEncoding);
  return uri.URI();
}

std::string TIdURI::URLDecode(std::string_view ASrc, TIdURIByteEncoding AByteEncoding) {
  std::string bytes;
  size_t i = 0;
  while (i < ASrc.size()) {
    const char c = ASrc[i];
    if (c != '%') {
      // Text outside escapes keeps its characters: UTF-8 input is re-encoded as a whole
      // character, not cut down to a byte.
      const size_t start = i++;
      if (static_cast<unsigned char>(c) >= 0x80) {
        while (i < ASrc.size() && (static_cast<unsigned char>(ASrc[i]) & 0xC0) == 0x80)
          ++i;
        for (char32_t cp : CodePoints(ASrc.substr(start, i - start)))
          bytes += EncodeChar(cp, AByteEncoding);
      } else {
        bytes += c;
      }
      continue;
    }
    if (i + 1 < ASrc.size() && (ASrc[i + 1] == 'u' || ASrc[i + 1] == 'U')) {
      const int unit = HexAt(ASrc, i + 2, 4);
      i = std::min(i + 6, ASrc.size());
      if (unit < 0) continue;  // a malformed escape is dropped
      char32_t cp = static_cast<char32_t>(unit);
      // A high surrogate escape directly followed by a low one forms one character.
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < ASrc.size() && ASrc[i] == '%' &&
          (ASrc[i + 1] == 'u' || ASrc[i + 1] == 'U')) {
        const int low = HexAt(ASrc, i + 2, 4);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00);
          i += 6;
        }
      }
      bytes += EncodeChar(cp, AByteEncoding);
      continue;
    }
    const int value = HexAt(ASrc, i + 1, 2);
    i = std::min(i + 3, ASrc.size());
    if (value >= 0) bytes += static_cast<char>(value);
  }

  switch (AByteEncoding) {
    case TIdURIByteEncoding::UTF8:
      return IsValidUtf8(bytes) ? bytes : Utf16ToUtf8(Utf8ToUtf16(bytes));
    case TIdURIByteEncoding::Latin1: {
      std::string out;
      for (unsigned char b : bytes)
        AppendUtf8(out, b);
      return out;
    }
    case TIdURIByteEncoding::ASCII: {
      for (char& b : bytes)
        if (static_cast<unsigned char>(b) >= 0x80) b = '?';
      return bytes;
    }
  }
  return bytes;
}
