#include <gtest/gtest.h>

#include "http/IdCookie.h"
#include "http/IdCookieDate.h"
#include "http/IdCookies.h"

namespace {

enum class Expiry { Session, InSeconds, At, Latest };

struct StoreCase {
  const char* setCookie;
  const char* uri;
  bool stored;
  const char* name = "";
  const char* value = "";
  const char* domain = "";
  const char* path = "";
  bool hostOnly = false;
  Expiry expiry = Expiry::Session;
  int64_t seconds = 0;            // InSeconds: expected seconds from now
  const char* expires = nullptr;  // At: a cookie date (UTC)
  bool secure = false;
  bool httpOnly = false;
};

const char* const kApp = "http://app.h.test/periodic/Archive.zip";

const StoreCase kStoreCases[] = {
    // Max-Age wins over Expires; a whole-number Expires counts seconds.
    {"a=1; Max-Age=60; Expires=Wed, 09 Dec 2099 10:00:00 GMT", kApp, true, "a", "1", "app.h.test",
     "/periodic", true, Expiry::InSeconds, 60},
    {"a=1; Expires=Wed, 09 Dec 2099 10:00:00 GMT; Max-Age=60", kApp, true, "a", "1", "app.h.test",
     "/periodic", true, Expiry::InSeconds, 60},
    {"a=1; Expires=3600", kApp, true, "a", "1", "app.h.test", "/periodic", true, Expiry::InSeconds,
     3600},
    {"a=1; Expires=Wed, 09 Dec 2099 10:00:00 GMT", kApp, true, "a", "1", "app.h.test", "/periodic",
     true, Expiry::At, 0, "Wed, 09 Dec 2099 10:00:00 GMT"},
    {"a=1; Max-Age=7; Max-Age=9", kApp, true, "a", "1", "app.h.test", "/periodic", true,
     Expiry::InSeconds, 9},
    {"a=1; Max-Age=99999999999999999", kApp, true, "a", "1", "app.h.test", "/periodic", true,
     Expiry::Latest},
    // Unusable expiry attributes leave a session cookie.
    {"a=1; Expires=someday; Max-Age=soon", kApp, true, "a", "1", "app.h.test", "/periodic", true,
     Expiry::Session},
    {"a=1", kApp, true, "a", "1", "app.h.test", "/periodic", true, Expiry::Session},
    {"a=1", "http://App.H.test/", true, "a", "1", "App.H.test", "/", true, Expiry::Session},
    // Domain attributes.
    {"a=1; Domain=.H.test", kApp, true, "a", "1", "h.test", "/periodic", false, Expiry::Session},
    {"a=1; Domain=h.test:8080", kApp, true, "a", "1", "h.test", "/periodic", false,
     Expiry::Session},
    {"a=1; Domain=app.h.test", kApp, true, "a", "1", "app.h.test", "/periodic", false,
     Expiry::Session},
    {"a=1; Domain=", kApp, true, "a", "1", "app.h.test", "/periodic", true, Expiry::Session},
    {"a=1; Domain=other.test; Domain=", kApp, false},  // an empty Domain adds nothing
    {"a=1; Domain=other.test", kApp, false},
    {"a=1; Domain=pp.h.test", kApp, false},
    {"a=1; Domain=.app.h.test.", kApp, false},
    {"a=1; Domain=0.0.1", "http://10.0.0.1/", false},
    {"a=1; Domain=10.0.0.1", "http://10.0.0.1/", true, "a", "1", "10.0.0.1", "/", false,
     Expiry::Session},
    {"a=1; Domain=2.3.4", "http://[::ffff:1.2.3.4]/", false},
    {"a=1; Domain=test", "http://.h.test/", false},
    // Paths.
    {"a=1; Path=periodic", kApp, true, "a", "1", "app.h.test", "/periodic", true, Expiry::Session},
    {"a=1; Path=/x/y/", kApp, true, "a", "1", "app.h.test", "/x/y/", true, Expiry::Session},
    {"a=1; Path=\"/q\"", "http://h.test/", true, "a", "1", "h.test", "/q", true, Expiry::Session},
    {"a=1", "http://h.test/a/b/c", true, "a", "1", "h.test", "/a/b", true, Expiry::Session},
    // Names and values.
    {"noequals", kApp, false},
    {"=1", kApp, false},
    {"  =1; Path=/", kApp, false},
    {"a=\"x;y\"", kApp, true, "a", "x", "app.h.test", "/periodic", true, Expiry::Session},
    {"a=\"x y\"z", kApp, true, "a", "x y", "app.h.test", "/periodic", true, Expiry::Session},
    {"a=\"open", kApp, true, "a", "open", "app.h.test", "/periodic", true, Expiry::Session},
    {" n v = ; secure=no ; HTTPONLY", kApp, true, "n v", "", "app.h.test", "/periodic", true,
     Expiry::Session, 0, nullptr, true, true},
    // HttpOnly is for HTTP only.
    {"a=1; HttpOnly", "ftp://h.test/", false},
    {"a=1; HttpOnly", "HTTPS://h.test/", true, "a", "1", "h.test", "/", true, Expiry::Session, 0,
     nullptr, false, true},
    {"a=1; Secure", "ftp://h.test/", true, "a", "1", "h.test", "/", true, Expiry::Session, 0,
     nullptr, true, false},
    // Already expired.
    {"a=1; Max-Age=-1", kApp, false},
    {"a=1; Expires=-5", kApp, false},
    {"a=1; Expires=Thu, 01 Jan 1970 00:00:00 GMT", kApp, false},
};

}  // namespace

TEST(IdCookie, ParsesSetCookieValuesIntoStoredCookies) {
  for (const StoreCase& c : kStoreCases) {
    SCOPED_TRACE(std::string(c.setCookie) + " from " + c.uri);
    TIdCookies cookies;
    const TDateTime before = Now();
    TIdCookie* cookie = cookies.AddServerCookie(c.setCookie, TIdURI(c.uri));
    const TDateTime after = Now();
    ASSERT_EQ(cookie != nullptr, c.stored);
    {
      TIdCookieListLock lock(cookies, caRead);
      EXPECT_EQ(lock.List().Count(), c.stored ? 1 : 0);
    }
    EXPECT_EQ(cookies.Count(), c.stored ? 1 : 0);
    if (!cookie) continue;
    EXPECT_EQ(cookie->CookieName, c.name);
    EXPECT_EQ(cookie->Value, c.value);
    EXPECT_EQ(cookie->Domain, c.domain);
    EXPECT_EQ(cookie->Path, c.path);
    EXPECT_EQ(cookie->HostOnly, c.hostOnly);
    EXPECT_EQ(cookie->Secure, c.secure);
    EXPECT_EQ(cookie->HttpOnly, c.httpOnly);
    EXPECT_EQ(cookie->Persistent, c.expiry != Expiry::Session);
    EXPECT_GE(cookie->CreatedAt, before);
    EXPECT_LE(cookie->CreatedAt, after);
    switch (c.expiry) {
      case Expiry::Session:
        EXPECT_EQ(cookie->Expires, MaxDateTime);
        break;
      case Expiry::InSeconds:
        EXPECT_GE(cookie->Expires, IncSecond(before, c.seconds));
        EXPECT_LE(cookie->Expires, IncSecond(after, c.seconds));
        EXPECT_NEAR(static_cast<double>(cookie->MaxAge()), static_cast<double>(c.seconds), 2.0);
        break;
      case Expiry::Latest:
        EXPECT_EQ(cookie->Expires, MaxDateTime);
        break;
      case Expiry::At: {
        const std::optional<TDateTime> at = ParseCookieDate(c.expires);
        ASSERT_TRUE(at.has_value());
        EXPECT_EQ(DateTimeToMSecs(cookie->Expires), DateTimeToMSecs(*at));
        break;
      }
    }
  }
}

TEST(IdCookie, MatchingRules) {
  EXPECT_TRUE(DomainMatches("h.test", "H.TEST"));
  EXPECT_TRUE(DomainMatches("x.h.test", "h.test"));
  EXPECT_FALSE(DomainMatches("xh.test", "h.test"));
  EXPECT_FALSE(DomainMatches(".h.test", "h.test"));
  EXPECT_FALSE(DomainMatches("", ""));
  EXPECT_FALSE(DomainMatches("h.test", ""));
  EXPECT_FALSE(DomainMatches("1.2.3.4", "3.4"));
  EXPECT_TRUE(DomainMatches("1.2.3.4.example", "4.example"));  // not an address
  EXPECT_TRUE(DomainMatches("1.2.3.256", "3.256"));            // 256 is no address byte
  EXPECT_FALSE(DomainMatches("::ffff:1.2.3.4", "3.4"));
  EXPECT_FALSE(DomainMatches("fe80::1.2.3.4%eth0.x", "x"));

  EXPECT_TRUE(PathMatches("/a", "/a"));
  EXPECT_TRUE(PathMatches("/a/", "/a"));
  EXPECT_TRUE(PathMatches("/a/b/", "/a"));
  EXPECT_TRUE(PathMatches("/A/b/", "/a/"));
  EXPECT_FALSE(PathMatches("/ab/", "/a"));
  EXPECT_FALSE(PathMatches("/", "/a"));
  EXPECT_TRUE(PathMatches("/x", ""));

  EXPECT_EQ(DefaultCookiePath(TIdURI("http://h/periodic/x.zip")), "/periodic");
  EXPECT_EQ(DefaultCookiePath(TIdURI("http://h/a/b/")), "/a/b");
  EXPECT_EQ(DefaultCookiePath(TIdURI("http://h/x.zip")), "/");
  EXPECT_EQ(DefaultCookiePath(TIdURI("x/y")), "/");

  EXPECT_TRUE(IsHttpProtocol("HTTP"));
  EXPECT_TRUE(IsHttpProtocol("https"));
  EXPECT_FALSE(IsHttpProtocol("ftp"));
}

TEST(IdCookie, IsAllowedChecksHostPathSecureAndHttpOnly) {
  TIdCookies cookies;
  TIdCookie* hostOnly = cookies.AddServerCookie("a=1; Path=/a", TIdURI("http://h.test/"));
  TIdCookie* domain = cookies.AddServerCookie("b=1; Domain=h.test", TIdURI("http://h.test/"));
  TIdCookie* secure = cookies.AddServerCookie("c=1; Secure", TIdURI("http://h.test/"));
  TIdCookie* httpOnly = cookies.AddServerCookie("d=1; HttpOnly", TIdURI("http://h.test/"));
  ASSERT_TRUE(hostOnly && domain && secure && httpOnly);

  EXPECT_TRUE(hostOnly->IsAllowed(TIdURI("http://H.TEST/a/"), false));
  EXPECT_TRUE(hostOnly->IsAllowed(TIdURI("http://h.test/a/b/c"), false));
  EXPECT_FALSE(hostOnly->IsAllowed(TIdURI("http://h.test/ab/"), false));
  EXPECT_FALSE(hostOnly->IsAllowed(TIdURI("http://x.h.test/a/"), false));

  EXPECT_TRUE(domain->IsAllowed(TIdURI("http://x.h.test/"), false));
  EXPECT_TRUE(domain->IsAllowed(TIdURI("http://h.test/"), false));
  EXPECT_FALSE(domain->IsAllowed(TIdURI("http://xh.test/"), false));

  EXPECT_FALSE(secure->IsAllowed(TIdURI("http://h.test/"), false));
  EXPECT_TRUE(secure->IsAllowed(TIdURI("https://h.test/"), true));

  EXPECT_TRUE(httpOnly->IsAllowed(TIdURI("https://h.test/"), true));
  EXPECT_FALSE(httpOnly->IsAllowed(TIdURI("ftp://h.test/"), false));
}

TEST(IdCookie, DerivedProperties) {
  TIdCookies cookies;
  TIdCookie* cookie = cookies.Add();
  EXPECT_EQ(cookie->MaxAge(), -1);
  EXPECT_FALSE(cookie->IsExpired());  // 0 means no expiry
  cookie->CookieName = "n";
  cookie->Value = "v w";
  EXPECT_EQ(cookie->ClientCookie(), "n=v w");
  cookie->Expires = IncSecond(Now(), -1);
  EXPECT_TRUE(cookie->IsExpired());
  cookie->Expires = IncSecond(Now(), 100);
  EXPECT_FALSE(cookie->IsExpired());
  EXPECT_GE(cookie->MaxAge(), 98);
  EXPECT_LE(cookie->MaxAge(), 100);

  TIdCookie* parsed = cookies.AddServerCookie(
      "s=1; Domain=h.test; Path=/p; Secure; HttpOnly; Expires=Wed, 09 Dec 2099 10:00:00 GMT",
      TIdURI("http://x.h.test/"));
  ASSERT_TRUE(parsed);
  const std::string text = parsed->CookieText();
  EXPECT_EQ(text.substr(0, text.find("; Max-Age=")),
            "s=1; Path=/p; Domain=h.test; Secure; HttpOnly");
  EXPECT_NE(text.find("; Expires=Wed, 09 Dec 2099 10:00:00 GMT"), std::string::npos) << text;
}
