#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "http/IdCookieManager.h"

namespace {

// The Cookie header GenerateClientCookies produces for a URL; "(none)" when it adds none.
std::string CookieHeader(TIdCookieManager& manager, const char* url, bool secureOnly = false) {
  TIdHeaderList headers(QuoteHTTP);
  headers.FoldLength = 1024;
  headers.Add("Host: h.test");
  manager.GenerateClientCookies(TIdURI(url), secureOnly, headers);
  if (headers.Count() == 1) return "(none)";
  EXPECT_EQ(headers.Count(), 2);
  EXPECT_EQ(headers.GetName(1), "Cookie");
  return headers.GetValue("Cookie");
}

int AcceptedCount(TIdCookieManager& manager) {
  TIdCookieListLock lock(manager.CookieCollection(), caRead);
  return lock.List().Count();
}

TIdCookie* Accepted(TIdCookieManager& manager, int index) {
  TIdCookieListLock lock(manager.CookieCollection(), caRead);
  return lock.List()[index];
}

const TIdURI kSite("http://h.test/a/b/page");

}  // namespace

TEST(IdCookieManager, SendsMatchingCookiesLongestPathFirst) {
  TIdCookieManager manager;
  TStringList setCookies;
  setCookies.Add("root=1; Path=/");
  setCookies.Add("a=2; Path=/a");
  setCookies.Add("ab=3; Path=/a/b");
  setCookies.Add("other=4; Path=/x");
  setCookies.Add("q=5; Path=/q");
  manager.AddServerCookies(setCookies, kSite);
  ASSERT_EQ(AcceptedCount(manager), 5);

  EXPECT_EQ(CookieHeader(manager, "http://h.test/a/b/c/d"), "ab=3; a=2; root=1");
  EXPECT_EQ(CookieHeader(manager, "http://h.test/ab/"), "root=1");
  EXPECT_EQ(CookieHeader(manager, "http://other.test/a/b/"), "(none)");
}

TEST(IdCookieManager, SortsEqualPathLengthsByCreationTime) {
  TIdCookieManager manager;
  manager.AddServerCookie("late=1; Path=/", kSite);
  manager.AddServerCookie("early=2; Path=/", kSite);
  manager.AddServerCookie("middle=3; Path=/", kSite);
  const TDateTime now = Now();
  Accepted(manager, 0)->CreatedAt = IncSecond(now, -1);
  Accepted(manager, 1)->CreatedAt = IncSecond(now, -3);
  Accepted(manager, 2)->CreatedAt = IncSecond(now, -2);
  EXPECT_EQ(CookieHeader(manager, "http://h.test/"), "early=2; middle=3; late=1");
}

TEST(IdCookieManager, SecureCookiesGoOnlyToSecureRequests) {
  TIdCookieManager manager;
  manager.AddServerCookie("s=1; Secure", TIdURI("http://h.test/"));
  manager.AddServerCookie("h=2; HttpOnly", TIdURI("http://h.test/"));
  EXPECT_EQ(CookieHeader(manager, "http://h.test/", false), "h=2");
  EXPECT_EQ(CookieHeader(manager, "https://h.test/", true), "s=1; h=2");
  EXPECT_EQ(CookieHeader(manager, "ftp://h.test/", true), "s=1");
}

TEST(IdCookieManager, DomainCookiesReachSubdomainsOnly) {
  TIdCookieManager manager;
  manager.AddServerCookie("d=1; Domain=.H.test", TIdURI("http://app.h.test/"));
  manager.AddServerCookie("o=2", TIdURI("http://app.h.test/"));
  EXPECT_EQ(CookieHeader(manager, "http://h.test/"), "d=1");
  EXPECT_EQ(CookieHeader(manager, "http://x.h.test/"), "d=1");
  EXPECT_EQ(CookieHeader(manager, "http://APP.h.test/"), "d=1; o=2");
  EXPECT_EQ(CookieHeader(manager, "http://xh.test/"), "(none)");
}

TEST(IdCookieManager, ANewerCookieReplacesTheOldOneAndKeepsItsCreationTime) {
  TIdCookieManager manager;
  TStringList response;
  response.Add("a=1; Path=/p");
  response.Add("A=2; Path=/P");  // same name, domain and path ignoring case
  response.Add("a=3; Path=/other");
  manager.AddServerCookies(response, TIdURI("http://h.test/"));
  ASSERT_EQ(AcceptedCount(manager), 2);
  const TDateTime created = IncSecond(Now(), -30);
  Accepted(manager, 0)->CreatedAt = created;  // A=2
  ASSERT_EQ(Accepted(manager, 0)->Value, "2");

  manager.AddServerCookie("a=4; Path=/p", TIdURI("http://h.test/"));
  ASSERT_EQ(AcceptedCount(manager), 2);
  EXPECT_EQ(manager.CookieCollection().Count(), 2);
  TIdCookie* replaced = Accepted(manager, 1);
  EXPECT_EQ(replaced->Value, "4");
  EXPECT_EQ(replaced->CreatedAt, created);
  EXPECT_EQ(CookieHeader(manager, "http://h.test/p/x"), "a=4");
}

TEST(IdCookieManager, HttpOnlyCookiesAreNotReplacedFromOtherProtocols) {
  TIdCookieManager manager;
  manager.AddServerCookie("a=1; HttpOnly", TIdURI("http://h.test/"));
  manager.AddServerCookie("a=2", TIdURI("ftp://h.test/"));
  ASSERT_EQ(AcceptedCount(manager), 1);
  EXPECT_EQ(Accepted(manager, 0)->Value, "1");
  EXPECT_EQ(manager.CookieCollection().Count(), 1);
}

TEST(IdCookieManager, ExpiredCookiesAreDeletedAndRemoved) {
  TIdCookieManager manager;
  manager.AddServerCookie("keep=1", kSite);
  manager.AddServerCookie("a=1", kSite);
  // An already expired Set-Cookie deletes the stored cookie and is not stored itself.
  manager.AddServerCookie("a=2; Max-Age=-1", kSite);
  EXPECT_EQ(AcceptedCount(manager), 1);
  EXPECT_EQ(manager.CookieCollection().Count(), 1);

  // Max-Age=0 expires at the current time: the cookie is stored with that expiry, unless the
  // clock has already moved past it when it is added (a slow run), and is gone at the next
  // request either way.
  const TDateTime before = Now();
  manager.AddServerCookie("z=1; Max-Age=0", kSite);
  const TDateTime after = Now();
  if (AcceptedCount(manager) == 2) {
    const TDateTime expiry = Accepted(manager, 1)->Expires;
    EXPECT_GE(expiry, before);
    EXPECT_LE(expiry, after);
    // Let the clock (as coarse as one timer tick on Windows) move past the expiry.
    while (Now() <= expiry)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(CookieHeader(manager, "http://h.test/a/b/"), "keep=1");
  EXPECT_EQ(AcceptedCount(manager), 1);
  EXPECT_EQ(manager.CookieCollection().Count(), 1);
}

TEST(IdCookieManager, UpdatesLastAccessedOfTheCookiesItSends) {
  TIdCookieManager manager;
  manager.AddServerCookie("a=1", kSite);
  manager.AddServerCookie("b=1; Path=/x", kSite);
  const TDateTime old = IncSecond(Now(), -60);
  Accepted(manager, 0)->LastAccessed = old;
  Accepted(manager, 1)->LastAccessed = old;
  const TDateTime before = Now();
  EXPECT_EQ(CookieHeader(manager, "http://h.test/a/b/"), "a=1");
  EXPECT_GE(Accepted(manager, 0)->LastAccessed, before);
  EXPECT_EQ(Accepted(manager, 1)->LastAccessed, old);
}

TEST(IdCookieManager, EventsSeeTheCollectionAndMayRefuseCookies) {
  std::vector<std::string> events;
  {
    TIdCookieManager manager([&](TIdCookieManager* sender, TIdCookies* collection) {
      events.push_back("create");
      EXPECT_EQ(collection, &sender->CookieCollection());
    });
    manager.OnDestroy = [&](TIdCookieManager*, TIdCookies* collection) {
      events.push_back("destroy " + std::to_string(collection->Count()));
    };
    manager.OnNewCookie = [&](TIdCookieManager*, TIdCookie* cookie, bool& accept) {
      events.push_back("new " + cookie->CookieName);
      accept = cookie->CookieName != "refused";
    };
    manager.AddServerCookie("refused=1", kSite);
    manager.AddServerCookie("kept=1", kSite);
    manager.AddServerCookie("unparsable", kSite);
    // Expires one second from now: long enough to be counted first even under valgrind.
    manager.AddServerCookie("gone=1; Max-Age=1", kSite);
    EXPECT_EQ(AcceptedCount(manager), 2);
    EXPECT_EQ(manager.CookieCollection().Count(), 2);
    const TDateTime expiry = Accepted(manager, 1)->Expires;
    while (Now() <= expiry)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // Expired cookies are removed before OnDestroy runs.
  EXPECT_EQ(events, (std::vector<std::string>{"create", "new refused", "new kept", "new gone",
                                              "destroy 1"}));
}

TEST(IdCookieManager, AHandlerThatThrowsLeavesNoCookieBehind) {
  TIdCookieManager manager;
  manager.OnNewCookie = [](TIdCookieManager*, TIdCookie*, bool&) { throw EAbort("stop"); };
  EXPECT_THROW(manager.AddServerCookie("a=1", kSite), EAbort);
  EXPECT_EQ(manager.CookieCollection().Count(), 0);
  EXPECT_EQ(AcceptedCount(manager), 0);
}

TEST(IdCookies, ClearAndDeleteKeepCollectionAndListInStep) {
  TIdCookies cookies;
  TIdCookie* a = cookies.AddServerCookie("a=1", kSite);
  TIdCookie* b = cookies.AddServerCookie("b=1", kSite);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(cookies.GetCookieIndex("B"), 1);
  EXPECT_EQ(cookies.GetCookieIndex("a", 1), -1);
  EXPECT_EQ(cookies.GetCookieByNameAndDomain("A", "H.TEST"), a);
  EXPECT_EQ(cookies.GetCookieByNameAndDomain("a", "other"), nullptr);
  cookies.Delete(a);  // the cookie takes itself off the accepted list
  EXPECT_EQ(cookies.GetCookieIndex("b"), 0);
  EXPECT_EQ(cookies.Count(), 1);
  // Clearing holds the write lock while the cookies, locking again, are freed.
  cookies.Clear();
  EXPECT_EQ(cookies.Count(), 0);
  EXPECT_EQ(cookies.GetCookieIndex("b"), -1);

  cookies.AddClientCookie("x=1; y=\"2\"; ; =3; z");
  EXPECT_EQ(cookies.Count(), 3);
  EXPECT_EQ(cookies.GetCookieByNameAndDomain("y", "")->Value, "2");
}

// Server use: the Cookie headers of a request, each a list of name=value pairs.
TEST(IdCookies, ClientCookiesComeFromEveryCookieHeader) {
  TIdCookies cookies;
  TStringList headers;
  headers.Add("a=1; b=2");
  headers.Add("c=\"3\"");
  cookies.AddClientCookies(headers);
  EXPECT_EQ(cookies.Count(), 3);
  EXPECT_EQ(cookies.GetCookieByNameAndDomain("b", "")->Value, "2");
  EXPECT_EQ(cookies.GetCookieByNameAndDomain("c", "")->Value, "3");
}

TEST(IdCookies, ConcurrentReadersAndWritersKeepTheStoreConsistent) {
  TIdCookieManager manager;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&manager, t] {
      for (int i = 0; i < 200; ++i) {
        if (t % 2 == 0) {
          manager.AddServerCookie("c" + std::to_string(i % 10) + "=" + std::to_string(i), kSite);
        } else {
          TIdHeaderList headers(QuoteHTTP);
          manager.GenerateClientCookies(kSite, false, headers);
        }
      }
    });
  }
  for (auto& th : threads)
    th.join();
  EXPECT_EQ(AcceptedCount(manager), 10);
  EXPECT_EQ(manager.CookieCollection().Count(), 10);
}
