// URL parsing and rebuilding, the encoders and the decoder, on arbitrary text (a redirect target
// or a user-supplied URL is outside input).
#include <algorithm>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "base/Utf.h"
#include "http/IdURI.h"

namespace {

const TIdURIByteEncoding kEncodings[] = {TIdURIByteEncoding::UTF8, TIdURIByteEncoding::Latin1,
                                         TIdURIByteEncoding::ASCII};

bool IsPathUnsafeAscii(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x21 || u > 0x7F ||
         std::string_view("*<>#%\"{}|\\^[]`+").find(c) != std::string_view::npos;
}

// The rebuilt URL, or empty when protocol or host is missing (then with the right message).
std::string Rebuild(const TIdURI& uri, TIdURIOptionalFieldsSet fields) {
  try {
    std::string rebuilt = uri.GetFullURI(fields);
    FUZZ_CHECK(!uri.Protocol.empty() && !uri.Host.empty());
    return rebuilt;
  } catch (const EIdURIException& e) {
    FUZZ_CHECK(uri.Protocol.empty() ? e.Message() == "Protocol field is empty"
                                    : uri.Host.empty() && e.Message() == "Host field is empty");
    return {};
  }
}

void CheckSplit(const TIdURI& uri) {
  // The separators that split the text never stay in the parts they end. ("#" may: a "?" after
  // it takes precedence, so http://h#f?q has the host h#f.)
  FUZZ_CHECK(uri.Document.find('/') == std::string::npos);
  FUZZ_CHECK(uri.Params.find('#') == std::string::npos);
  FUZZ_CHECK(uri.Path.empty() || uri.Path.back() == '/');
  for (const std::string* part : {&uri.Host, &uri.Port})
    for (char c : {'/', '?', '@'})
      FUZZ_CHECK(part->find(c) == std::string::npos);
  if (uri.IPVersion == Id_IPv6) FUZZ_CHECK(uri.Host.find(']') == std::string::npos);
  if (uri.Username.empty()) FUZZ_CHECK(uri.Password.empty());
}

// Whether the text names an authority: "//" at its start or right after its scheme.
bool HasAuthority(std::string_view text) {
  std::string normalised(text);
  TIdURI::NormalizePath(normalised);
  const size_t scheme = TIdURI::SchemeLength(normalised);
  return normalised.compare(scheme > 0 ? scheme + 1 : 0, 2, "//") == 0;
}

bool HasDotSegment(std::string_view path) {
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(path.find('/', start), path.size());
    const std::string_view segment = path.substr(start, end - start);
    if (segment == "." || segment == "..") return true;
    if (end == path.size()) return false;
    start = end + 1;
  }
}

void CheckUrl(std::string_view text) {
  TIdURI uri(text);
  CheckSplit(uri);
  // A protocol only from a scheme at the very start, by the grammar.
  std::string normalised(text);
  TIdURI::NormalizePath(normalised);
  const size_t scheme = TIdURI::SchemeLength(normalised);
  FUZZ_CHECK(uri.Protocol == normalised.substr(0, scheme));
  if (HasAuthority(text))
    FUZZ_CHECK(!uri.Path.empty() && uri.Path.front() == '/');
  else
    FUZZ_CHECK(uri.Host.empty() && uri.Port.empty() && uri.Username.empty());
  const std::string target = uri.GetPathAndParams();
  FUZZ_CHECK(target.starts_with(uri.Path));

  // A rebuilt URL is a fixed point: parsing and rebuilding it again gives the same text (the
  // first rebuild may drop a default port or an empty user information). Not so where a "#"
  // stands before a "?": the "#" then stays in the authority or path (and ends the backslash
  // normalisation there), and the rebuild, which drops an empty query, lets it split the text
  // elsewhere.
  const size_t firstHash = text.find('#');
  const size_t lastQuery = text.rfind('?');
  const bool crossed = firstHash != std::string_view::npos && lastQuery != std::string_view::npos &&
                       firstHash < lastQuery;
  for (const auto fields :
       {TIdURIOptionalFieldsSet{ofAuthInfo, ofBookmark}, TIdURIOptionalFieldsSet{}}) {
    const std::string rebuilt = Rebuild(uri, fields);
    if (rebuilt.empty()) continue;
    TIdURI again(rebuilt);
    CheckSplit(again);
    if (crossed) continue;
    FUZZ_CHECK(Rebuild(again, fields) == rebuilt);
    FUZZ_CHECK(again.Protocol == uri.Protocol && again.Host == uri.Host &&
               again.IPVersion == uri.IPVersion);
    FUZZ_CHECK(again.GetPathAndParams() == target);
  }
  // The getter gives the form without user information and bookmark.
  if (!uri.Protocol.empty() && !uri.Host.empty()) FUZZ_CHECK(uri.URI() == uri.GetFullURI({}));
}

// The text as a reference resolved against a URL: absolute, the base's scheme (and authority)
// where it has none of its own, no dot segments left, and a fixed point of the resolution.
void CheckResolution(std::string_view text) {
  const TIdURI base("http://h:81/d/f?q");
  const std::string resolved = base.ResolveReference(text);
  FUZZ_CHECK(TIdURI::SchemeLength(resolved) > 0);
  FUZZ_CHECK(resolved.find('#') == std::string::npos);
  FUZZ_CHECK(base.ResolveReference(resolved) == resolved);
  std::string normalised(text);
  TIdURI::NormalizePath(normalised);
  if (TIdURI::SchemeLength(normalised) > 0 || HasAuthority(text)) return;
  const TIdURI target(resolved);
  FUZZ_CHECK(target.Protocol == "http" && target.Host == "h" && target.Port == "81");
  FUZZ_CHECK(!HasDotSegment(target.Path + target.Document));
}

void CheckCoders(std::string_view text) {
  for (const TIdURIByteEncoding encoding : kEncodings) {
    const std::string path = TIdURI::PathEncode(text, encoding);
    const std::string params = TIdURI::ParamsEncode(text, encoding);
    for (char c : path)
      FUZZ_CHECK(c == '%' || !IsPathUnsafeAscii(c));
    const std::string decoded = TIdURI::URLDecode(text, encoding);
    if (encoding == TIdURIByteEncoding::UTF8) {
      FUZZ_CHECK(IsValidUtf8(decoded));
      // Decoding undoes encoding for every well-formed text.
      if (IsValidUtf8(text)) {
        FUZZ_CHECK(TIdURI::URLDecode(path, encoding) == text);
        FUZZ_CHECK(TIdURI::URLDecode(params, encoding) == text);
      }
    }
    try {
      (void)TIdURI::URLEncode(text, encoding);
    } catch (const EIdURIException&) {
      // A relative reference cannot be rebuilt.
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckUrl(text);
  CheckResolution(text);
  CheckCoders(text);
  return 0;
}
