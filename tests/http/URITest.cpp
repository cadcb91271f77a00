#include <gtest/gtest.h>

#include "http/IdURI.h"

namespace {

struct SplitCase {
  const char* input;
  const char* protocol;
  const char* host;
  const char* port;
  const char* path;
  const char* document;
  const char* params;
  const char* bookmark;
  const char* username;
  const char* password;
  TIdIPVersion ipVersion;
};

const SplitCase kSplitCases[] = {
    {"http://h/periodic/Archive.zip", "http", "h", "", "/periodic/", "Archive.zip", "", "", "", "",
     Id_IPv4},
    {"http://u@h:8080/a/b?x=1#top", "http", "h", "8080", "/a/", "b", "x=1", "top", "u", "",
     Id_IPv4},
    {"http://[::1]:81/", "http", "::1", "81", "/", "", "", "", "", "", Id_IPv6},
    {"http://h", "http", "h", "", "/", "", "", "", "", "", Id_IPv4},
    {"/dir/file?q", "", "", "", "/dir/", "file", "q", "", "", "", Id_IPv4},
    // Backslashes become slashes in authority and path, not in the query.
    {"http://h/a\\b\\c.zip", "http", "h", "", "/a/b/", "c.zip", "", "", "", "", Id_IPv4},
    {"http://h/x?p=a\\b", "http", "h", "", "/", "x", "p=a\\b", "", "", "", Id_IPv4},
    // A scheme without "//" has no authority: the backslashes right after it stay.
    {"http:\\\\h\\a\\b", "http", "", "", "\\\\h/a/", "b", "", "", "", "", Id_IPv4},
    // The last "@" ends the user information; the first ":" splits it.
    {"http://u:p@ss@h/", "http", "h", "", "/", "", "", "", "u", "p@ss", Id_IPv4},
    {"http://u:a:b@h/", "http", "h", "", "/", "", "", "", "u", "a:b", Id_IPv4},
    {"http://:secret@h/", "http", "h", "", "/", "", "", "", "", "", Id_IPv4},
    // Fragments with and without a query.
    {"http://h/a#f", "http", "h", "", "/", "a", "", "f", "", "", Id_IPv4},
    {"http://h/a?x=1#f#g", "http", "h", "", "/", "a", "x=1", "f#g", "", "", Id_IPv4},
    {"http://h:8080?q", "http", "h", "8080", "/", "", "q", "", "", "", Id_IPv4},
    // IPv6 literals, and a "[" without a later "]".
    {"http://[fe80::1]:8080/x", "http", "fe80::1", "8080", "/", "x", "", "", "", "", Id_IPv6},
    {"http://u:p@[::1]junk:81/", "http", "::1", "81", "/", "", "", "", "u", "p", Id_IPv6},
    {"http://[fe80::1/x", "http", "[fe80", ":1", "/", "x", "", "", "", "", Id_IPv4},
    {"http://]h[:1/", "http", "]h[", "1", "/", "", "", "", "", "", Id_IPv4},
    // Relative references.
    {"periodic/Archive.zip", "", "", "", "periodic/", "Archive.zip", "", "", "", "", Id_IPv4},
    {"Archive.zip#x", "", "", "", "", "Archive.zip", "", "x", "", "", Id_IPv4},
    {"", "", "", "", "", "", "", "", "", "", Id_IPv4},
    {"HTTP://H:80/a/b/", "HTTP", "H", "80", "/a/b/", "", "", "", "", "", Id_IPv4},
    // Absolute only with a scheme at the start (a letter, then letters, digits, "+", "-", "."):
    // a "://" further on is text of the path or query.
    {"/good?mirror=http://127.0.0.2:18081/good", "", "", "", "/", "good",
     "mirror=http://127.0.0.2:18081/good", "", "", "", Id_IPv4},
    {"data.cgi?moo=http://&/x", "", "", "", "", "data.cgi", "moo=http://&/x", "", "", "", Id_IPv4},
    {"1http://h/x", "", "", "", "1http://h/", "x", "", "", "", "", Id_IPv4},
    {"ht_tp://h/x", "", "", "", "ht_tp://h/", "x", "", "", "", "", Id_IPv4},
    {"127.0.0.2:18081/x", "", "", "", "127.0.0.2:18081/", "x", "", "", "", "", Id_IPv4},
    {"a+b-c.9://h/x", "a+b-c.9", "h", "", "/", "x", "", "", "", "", Id_IPv4},
    {"localhost:8080/x", "localhost", "", "", "8080/", "x", "", "", "", "", Id_IPv4},
    {"mailto:u@h", "mailto", "", "", "", "u@h", "", "", "", "", Id_IPv4},
    {"http:/x/y", "http", "", "", "/x/", "y", "", "", "", "", Id_IPv4},
    // A network-path reference: an authority without a scheme.
    {"//u@h:81/a/b?q#f", "", "h", "81", "/a/", "b", "q", "f", "u", "", Id_IPv4},
    {"\\\\[::1]\\x", "", "::1", "", "/", "x", "", "", "", "", Id_IPv6},
    // The path before a query that holds a ":" is normalised all the same.
    {"/a\\b?u=http:\\\\h", "", "", "", "/a/", "b", "u=http:\\\\h", "", "", "", Id_IPv4},
};

}  // namespace

TEST(IdURI, SplitsEveryKindOfURL) {
  for (const SplitCase& c : kSplitCases) {
    SCOPED_TRACE(c.input);
    TIdURI uri(c.input);
    EXPECT_EQ(uri.Protocol, c.protocol);
    EXPECT_EQ(uri.Host, c.host);
    EXPECT_EQ(uri.Port, c.port);
    EXPECT_EQ(uri.Path, c.path);
    EXPECT_EQ(uri.Document, c.document);
    EXPECT_EQ(uri.Params, c.params);
    EXPECT_EQ(uri.Bookmark, c.bookmark);
    EXPECT_EQ(uri.Username, c.username);
    EXPECT_EQ(uri.Password, c.password);
    EXPECT_EQ(uri.IPVersion, c.ipVersion);
  }
}

TEST(IdURI, SetterClearsThePreviousSplit) {
  TIdURI uri("http://u:p@[::1]:81/a/b?q#f");
  uri.SetURI("x");
  EXPECT_EQ(uri.GetPathAndParams(), "x");
  EXPECT_TRUE(uri.Protocol.empty() && uri.Host.empty() && uri.Port.empty() &&
              uri.Username.empty() && uri.Password.empty() && uri.Bookmark.empty());
  EXPECT_EQ(uri.IPVersion, Id_IPv4);
}

TEST(IdURI, RebuildsWithDefaultPortsByText) {
  struct {
    const char* input;
    const char* rebuilt;
  } cases[] = {
      {"http://h:80/", "http://h/"},
      {"HTTP://h:80/", "HTTP://h/"},
      {"http://h:080/", "http://h:080/"},
      {"https://h:443/x", "https://h/x"},
      {"http://h:443/x", "http://h:443/x"},
      {"FtP://h:21", "FtP://h/"},
      {"gopher://h:70/", "gopher://h:70/"},
      {"http://h", "http://h/"},
      {"http://[fe80::1]:8080/x", "http://[fe80::1]:8080/x"},
      {"http://h/a/b.zip?x=1&y=2", "http://h/a/b.zip?x=1&y=2"},
  };
  for (const auto& c : cases) {
    TIdURI uri(c.input);
    EXPECT_EQ(uri.URI(), c.rebuilt) << c.input;
  }
}

namespace {
// Shows the last URI text, which a read of URI leaves in full.
class TInspectableURI : public TIdURI {
 public:
  using TIdURI::TIdURI;
  const std::string& LastURI() const { return FURI; }
};
}  // namespace

TEST(IdURI, GetterDropsUserInformationAndBookmarkButKeepsThemInTheFullForm) {
  TInspectableURI uri("http://u@h/a#f");
  EXPECT_EQ(uri.LastURI(), "http://u@h/a#f");
  EXPECT_EQ(uri.URI(), "http://h/a");
  EXPECT_EQ(uri.LastURI(), "http://u@h/a#f");

  TIdURI full("http://u:p@h:81/a?q#f");
  EXPECT_EQ(full.GetFullURI(), "http://u:p@h:81/a?q#f");
  EXPECT_EQ(full.GetFullURI({ofBookmark}), "http://h:81/a?q#f");
  EXPECT_EQ(full.GetFullURI({ofAuthInfo}), "http://u:p@h:81/a?q");
  full.Password.clear();
  EXPECT_EQ(full.GetFullURI(), "http://u@h:81/a?q#f");
  EXPECT_EQ(full.GetPathAndParams(), "/a?q");
}

TEST(IdURI, RebuildNeedsProtocolThenHost) {
  auto messageOf = [](const char* input) {
    TIdURI uri(input);
    try {
      uri.URI();
    } catch (const EIdURIException& e) {
      return e.Message();
    }
    return std::string("no exception");
  };
  EXPECT_EQ(messageOf("periodic/Archive.zip"), "Protocol field is empty");
  EXPECT_EQ(messageOf(""), "Protocol field is empty");
  EXPECT_EQ(messageOf("http:///x"), "Host field is empty");
  EXPECT_EQ(messageOf("http://u@:81/"), "Host field is empty");
  // The exception belongs to the connection/HTTP tree.
  EXPECT_THROW(TIdURI("x").GetFullURI(), EIdException);
}

TEST(IdURI, NormalizePathKeepsTheSeparatorsAfterTheSchemesColon) {
  struct {
    const char* input;
    const char* normalised;
  } cases[] = {
      {"http://h\\a\\b?c\\d#e\\f", "http://h/a/b?c\\d#e\\f"},
      {"http:\\\\h\\a", "http:\\\\h/a"},
      {"http:/\\h\\a#\\", "http:/\\h/a#\\"},
      {"a\\b:c\\d", "a/b:c/d"},  // no scheme: the ":" is the path's
      {"/a\\b?u=http:\\\\x", "/a/b?u=http:\\\\x"},
      {"1a:\\b", "1a:/b"},
      {"no\\colon\\here", "no/colon/here"},
      {"x:\\", "x:/"},
      {":", ":"},
  };
  for (const auto& c : cases) {
    std::string s = c.input;
    TIdURI::NormalizePath(s);
    EXPECT_EQ(s, c.normalised) << c.input;
  }
}

TEST(IdURI, SchemeByTheGrammar) {
  struct {
    const char* input;
    size_t length;
  } cases[] = {
      {"http://h/", 4},  {"HTTPS:", 5},      {"a+b-c.9:x", 7}, {"g:h", 1},  {"C:\\x", 1},
      {"", 0},           {":x", 0},          {"1a:x", 0},      {"-a:x", 0}, {"a_b:x", 0},
      {"a b:x", 0},      {"/a:b", 0},        {"?a:b", 0},      {"ab", 0},   {"a/b:c", 0},
      {"\xC3\xA4:x", 0}, {"x\xC3\xA4:x", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TIdURI::SchemeLength(c.input), c.length) << c.input;
}

// Reference resolution as RFC 3986 (section 5.4) gives it, the fragment left out, and the
// references that once passed for absolute URLs.
TEST(IdURI, ResolvesReferencesAgainstAURL) {
  struct {
    const char* base;
    const char* reference;
    const char* resolved;
  } cases[] = {
      // Normal examples.
      {"http://a/b/c/d;p?q", "g:h", "g:h"},
      {"http://a/b/c/d;p?q", "g", "http://a/b/c/g"},
      {"http://a/b/c/d;p?q", "./g", "http://a/b/c/g"},
      {"http://a/b/c/d;p?q", "g/", "http://a/b/c/g/"},
      {"http://a/b/c/d;p?q", "/g", "http://a/g"},
      {"http://a/b/c/d;p?q", "//g", "http://g"},
      {"http://a/b/c/d;p?q", "?y", "http://a/b/c/d;p?y"},
      {"http://a/b/c/d;p?q", "g?y", "http://a/b/c/g?y"},
      {"http://a/b/c/d;p?q", "#s", "http://a/b/c/d;p?q"},
      {"http://a/b/c/d;p?q", "g#s", "http://a/b/c/g"},
      {"http://a/b/c/d;p?q", "g?y#s", "http://a/b/c/g?y"},
      {"http://a/b/c/d;p?q", ";x", "http://a/b/c/;x"},
      {"http://a/b/c/d;p?q", "g;x?y#s", "http://a/b/c/g;x?y"},
      {"http://a/b/c/d;p?q", "", "http://a/b/c/d;p?q"},
      {"http://a/b/c/d;p?q", ".", "http://a/b/c/"},
      {"http://a/b/c/d;p?q", "./", "http://a/b/c/"},
      {"http://a/b/c/d;p?q", "..", "http://a/b/"},
      {"http://a/b/c/d;p?q", "../g", "http://a/b/g"},
      {"http://a/b/c/d;p?q", "../..", "http://a/"},
      {"http://a/b/c/d;p?q", "../../g", "http://a/g"},
      // Abnormal examples.
      {"http://a/b/c/d;p?q", "../../../g", "http://a/g"},
      {"http://a/b/c/d;p?q", "../../../../g", "http://a/g"},
      {"http://a/b/c/d;p?q", "/./g", "http://a/g"},
      {"http://a/b/c/d;p?q", "/../g", "http://a/g"},
      {"http://a/b/c/d;p?q", "g.", "http://a/b/c/g."},
      {"http://a/b/c/d;p?q", ".g", "http://a/b/c/.g"},
      {"http://a/b/c/d;p?q", "g..", "http://a/b/c/g.."},
      {"http://a/b/c/d;p?q", "..g", "http://a/b/c/..g"},
      {"http://a/b/c/d;p?q", "./../g", "http://a/b/g"},
      {"http://a/b/c/d;p?q", "./g/.", "http://a/b/c/g/"},
      {"http://a/b/c/d;p?q", "g/./h", "http://a/b/c/g/h"},
      {"http://a/b/c/d;p?q", "g/../h", "http://a/b/c/h"},
      {"http://a/b/c/d;p?q", "g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"http://a/b/c/d;p?q", "g;x=1/../y", "http://a/b/c/y"},
      {"http://a/b/c/d;p?q", "g?y/./x", "http://a/b/c/g?y/./x"},
      {"http://a/b/c/d;p?q", "g?y/../x", "http://a/b/c/g?y/../x"},
      {"http://a/b/c/d;p?q", "g#s/../x", "http://a/b/c/g"},
      {"http://a/b/c/d;p?q", "http:g", "http:g"},
      // A "://" in the query or path is no scheme.
      {"http://h:81/dir/start?x=1", "/good?mirror=http://127.0.0.2:18081/good",
       "http://h:81/good?mirror=http://127.0.0.2:18081/good"},
      {"http://h:81/dir/start?x=1", "data.cgi?moo=http://&/x",
       "http://h:81/dir/data.cgi?moo=http://&/x"},
      {"http://h:81/dir/start", "127.0.0.2:18081/x", "http://h:81/dir/127.0.0.2:18081/x"},
      {"http://h:81/dir/start", "localhost:18081/x", "localhost:18081/x"},
      // Another host, keeping the scheme; backslashes read as slashes in front of the query.
      {"https://h/dir/start", "//other/x?y", "https://other/x?y"},
      {"http://h/dir/start", "\\\\other\\x", "http://other/x"},
      {"http://h/dir/start", "//[::1]:82/v6", "http://[::1]:82/v6"},
      {"http://[fe80::1]:81/a/b", "c", "http://[fe80::1]:81/a/c"},
      {"http://h", "x", "http://h/x"},
      {"http://u:p@h/a", "b", "http://h/b"},
      {"http://h/a", "HTTPS://H/x/../y", "HTTPS://H/y"},
      {"http://h/a", "ftp://h/x", "ftp://h/x"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TIdURI(c.base).ResolveReference(c.reference), c.resolved)
        << c.base << " + " << c.reference;
}
