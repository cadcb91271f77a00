#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/EnumSet.h"
#include "net/IdException.h"
#include "net/IdIPVersion.h"

class EIdURIException : public EIdException {
 public:
  using EIdException::EIdException;
};

enum TIdURIOptionalFields { ofAuthInfo, ofBookmark };
using TIdURIOptionalFieldsSet = TEnumSet<TIdURIOptionalFields>;

// Byte encodings the class encoders and the decoder use for characters outside ASCII.
// Latin1 and ASCII write "?" for a character they cannot represent.
enum class TIdURIByteEncoding { UTF8, Latin1, ASCII };

// A URL split into its parts. The setter never fails: every string yields some split, and the
// parts that a later step needs (protocol, host) are checked when the URL is rebuilt.
class TIdURI {
 public:
  explicit TIdURI(std::string_view AURI = {});
  virtual ~TIdURI() = default;

  // Reading rebuilds the URL without user information and bookmark (and keeps the full form,
  // with both, as the last URI text). Raises EIdURIException when protocol or host is empty.
  std::string URI();
  void SetURI(std::string_view AValue);

  std::string GetFullURI(TIdURIOptionalFieldsSet AOptionalFields = {ofAuthInfo, ofBookmark}) const;
  // Path + Document, then "?" + Params when there are parameters: the request-line target.
  std::string GetPathAndParams() const;

  // Turns "\" into "/" in the authority and path of a whole URL (not in query or fragment).
  static void NormalizePath(std::string& APath);

  // The length of the scheme that AURL begins with (RFC 3986: a letter, then letters, digits,
  // "+", "-" or ".", up to a ":"), without the ":"; 0 when it begins with none, which makes it a
  // relative reference.
  static size_t SchemeLength(std::string_view AURL);
  // APath with its "." and ".." segments resolved (RFC 3986, section 5.2.4).
  static std::string RemoveDotSegments(std::string_view APath);

  // AReference (normalised as the setter does) resolved against this URL as RFC 3986 (section
  // 5.2) resolves a reference, as a URL: a reference with a scheme stands as it is, one that
  // begins with "//" takes this URL's scheme, any other this URL's scheme and authority, and a
  // relative path is read against this URL's folder. The fragment, which is never sent, is left
  // out; so is this URL's user information.
  std::string ResolveReference(std::string_view AReference) const;

  static std::string URLEncode(std::string_view ASrc,
                               TIdURIByteEncoding AByteEncoding = TIdURIByteEncoding::UTF8);
  static std::string PathEncode(std::string_view ASrc,
                                TIdURIByteEncoding AByteEncoding = TIdURIByteEncoding::UTF8);
  static std::string ParamsEncode(std::string_view ASrc,
                                  TIdURIByteEncoding AByteEncoding = TIdURIByteEncoding::UTF8);
  static std::string URLDecode(std::string_view ASrc,
                               TIdURIByteEncoding AByteEncoding = TIdURIByteEncoding::UTF8);

  std::string Document;  // last path segment, may be empty
  std::string Protocol;  // scheme as written, without "://"
  std::string Port;      // port text as written; empty when absent
  std::string Path;      // up to and including the last "/"
  std::string Host;      // an IPv6 literal without its brackets
  std::string Bookmark;  // fragment without "#"
  std::string Username;
  std::string Password;
  std::string Params;  // query without "?"
  TIdIPVersion IPVersion = Id_IPv4;

 protected:
  // The text given to the setter (normalised); after a read of URI, the full rebuilt URL.
  std::string FURI;
};
