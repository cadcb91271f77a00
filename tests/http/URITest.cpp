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
    {"http:\\\\h\\a\\b", "", "", "", "http:\\\\h/a/", "b", "", "", "", "", Id_IPv4},
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

TEST(IdURI, NormalizePathKeepsTheSeparatorsAfterTheFirstColon) {
  struct {
    const char* input;
    const char* normalised;
  } cases[] = {
      {"http://h\\a\\b?c\\d#e\\f", "http://h/a/b?c\\d#e\\f"},
      {"http:\\\\h\\a", "http:\\\\h/a"},
      {"http:/\\h\\a#\\", "http:/\\h/a#\\"},
      {"a\\b:c\\d", "a\\b:c/d"},
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
