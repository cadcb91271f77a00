// The client's messages without a network: heads for the URL forms, the status line, the
// header fields, and a response split at every byte offset (on a scripted transport).

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "base/MemoryStream.h"
#include "http/HTTPTestSupport.h"
#include "http/IdHTTP.h"
#include "http/IdHTTPDate.h"
#include "net/ScriptedIOHandler.h"

namespace {

std::string Text(TMemoryStream& s) {
  return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

// A client whose transport is a script; the URL's host and port are only named in the head.
struct ScriptedClient {
  ScriptedClient() { http.SetIOHandler(&io); }
  ~ScriptedClient() { http.SetIOHandler(nullptr); }
  TScriptedIOHandler io;
  TIdHTTP http;
};

TEST(HTTPHead, HostFollowsThePortTextAndTheScheme) {
  struct Case {
    const char* url;
    const char* target;
    const char* host;
  } cases[] = {
      {"http://example.com/a/b.zip", "/a/b.zip", "example.com"},
      {"http://example.com:80/a", "/a", "example.com"},
      {"http://example.com:8080/a", "/a", "example.com:8080"},
      {"http://example.com:080/a", "/a", "example.com:080"},
      {"HTTP://example.com/a", "/a", "example.com"},
      {"http://example.com", "/", "example.com"},
      // An IPv6 literal keeps its brackets in the Host value.
      {"http://[::1]:8080/a", "/a", "[::1]:8080"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    ScriptedClient s;
    s.io.Feed("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    s.http.Head(c.url);
    EXPECT_EQ(s.io.Sent, DownloaderHead("HEAD", c.target, c.host));
    EXPECT_EQ(s.io.SendCalls.size(), 1u);  // the whole head in one send
  }
}

TEST(HTTPHead, IdentityIsAddedToAcceptEncodingUnlessPresentInThatCase) {
  struct Case {
    const char* given;
    const char* sent;
  } cases[] = {
      {"", "identity"},
      {"gzip;q=0.5, identity", "gzip;q=0.5, identity"},
      {"Identity", "Identity, identity"},
  };
  for (const Case& c : cases) {
    ScriptedClient s;
    s.http.Request().AcceptEncoding = c.given;
    s.io.Feed("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    s.http.Head("http://h/");
    EXPECT_NE(s.io.Sent.find(std::string("\r\nAccept-Encoding: ") + c.sent + "\r\n"),
              std::string::npos)
        << c.given;
  }
}

TEST(HTTPHead, MethodsOf11RefuseVersion10BeforeSending) {
  ScriptedClient s;
  s.http.SetProtocolVersion(pv1_0);
  try {
    s.http.Delete("http://h/x");
    FAIL() << "no exception";
  } catch (const EIdException& e) {
    EXPECT_EQ(e.Message(), "Request method requires HTTP version 1.1");
  }
  EXPECT_EQ(s.io.Sent, "");
}

// The client's other methods: each sends its request line, a body with its length where it has
// one, and reads the answer into the stream it was given.
TEST(HTTPHead, OtherMethodsSendTheirLineAndBody) {
  struct Case {
    const char* method;
    std::function<void(TIdHTTP&, TStream*, TStream*)> call;
    bool sendsBody;
    bool readsBody;
  } cases[] = {
      {"POST", [](TIdHTTP& h, TStream* in, TStream* out) { h.Post("http://h/x", in, out); }, true,
       true},
      {"PUT", [](TIdHTTP& h, TStream* in, TStream* out) { h.Put("http://h/x", in, out); }, true,
       true},
      {"TRACE", [](TIdHTTP& h, TStream*, TStream* out) { h.Trace("http://h/x", out); }, false,
       true},
      {"OPTIONS", [](TIdHTTP& h, TStream*, TStream*) { h.Options("http://h/x"); }, false, false},
      {"DELETE", [](TIdHTTP& h, TStream*, TStream*) { h.Delete("http://h/x"); }, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    ScriptedClient s;
    s.io.Feed("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    TMemoryStream source, answer;
    source.WriteBuffer("body", 4);
    c.call(s.http, &source, &answer);
    EXPECT_EQ(s.io.Sent.substr(0, s.io.Sent.find("\r\n")), std::string(c.method) + " /x HTTP/1.1");
    const size_t headEnd = s.io.Sent.find("\r\n\r\n");
    ASSERT_NE(headEnd, std::string::npos);
    const std::string head = s.io.Sent.substr(0, headEnd + 2);
    if (c.sendsBody) {
      EXPECT_NE(head.find("\r\nContent-Length: 4\r\n"), std::string::npos);
      EXPECT_EQ(s.io.Sent.substr(headEnd + 4), "body");
    } else {
      EXPECT_EQ(head.find("Content-Length"), std::string::npos);
      EXPECT_EQ(s.io.Sent.size(), headEnd + 4);
    }
    EXPECT_EQ(Text(answer), c.readsBody ? "ok" : "");
  }
}

TEST(HTTPResponse, StatusLineGivesCodeAndVersion) {
  struct Case {
    const char* line;
    int code;
    TIdHTTPProtocolVersion version;
  } cases[] = {
      {"HTTP/1.1 200 OK", 200, pv1_1},    {"HTTP/1.0 404 Not Found", 404, pv1_0},
      {"http/1.1 404.5 Odd", 404, pv1_1}, {"HTTP/1.1  301   Moved", 301, pv1_1},
      {"HTTP/2 200", 200, pv1_0},         {"NoSpaceAtAll", -1, pv1_0},
      {"HTTP/1.1 OK 200", -1, pv1_1},     {"", -1, pv1_0},
  };
  TIdHTTP http;
  for (const Case& c : cases) {
    http.Response().SetResponseText(c.line);
    EXPECT_EQ(http.ResponseCode(), c.code) << c.line;
    EXPECT_EQ(http.Response().ResponseVersion(), c.version) << c.line;
  }
}

TEST(HTTPResponse, ContentTypeAndCharsetDefaults) {
  struct Case {
    const char* header;
    const char* type;
    const char* charset;
  } cases[] = {
      {"text/html", "text/html", "ISO-8859-1"},
      {"text/html; charset=\"UTF-8\"", "text/html", "UTF-8"},
      {"text/plain; format=flowed; charset=koi8-r", "text/plain; format=flowed", "koi8-r"},
      {"text/xml", "text/xml", "us-ascii"},
      {"TEXT/XML-External-Parsed-Entity", "TEXT/XML-External-Parsed-Entity", "us-ascii"},
      {"text/svg+xml", "text/svg+xml", "us-ascii"},
      {"application/zip", "application/zip", ""},
      {"", "", ""},
  };
  TIdHTTP http;
  for (const Case& c : cases) {
    TIdHTTPResponse& r = http.Response();
    r.Clear();
    if (*c.header) r.RawHeaders.Add(std::string("Content-Type: ") + c.header);
    r.ParseHeaders();
    EXPECT_EQ(r.ContentType, c.type) << c.header;
    EXPECT_EQ(r.CharSet, c.charset) << c.header;
  }
}

TEST(HTTPResponse, LengthRangeAndDates) {
  TIdHTTP http;
  TIdHTTPResponse& r = http.Response();
  r.RawHeaders.SetText(
      "Content-Length:  42 \r\n"
      "Content-Range: bytes 100-141/5000\r\n"
      "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
      "Last-Modified: Sunday, 06-Nov-94 08:49:37 GMT\r\n"
      "Expires: 3600\r\n"
      "WWW-Authenticate: Basic realm=a\r\n"
      "WWW-Authenticate: Digest realm=b\r\n");
  r.ParseHeaders();
  EXPECT_EQ(r.ContentLength, 42);
  EXPECT_TRUE(r.HasContentLength);
  EXPECT_EQ(r.ContentRangeUnits, "bytes");
  EXPECT_EQ(r.ContentRangeStart, 100);
  EXPECT_EQ(r.ContentRangeEnd, 141);
  EXPECT_EQ(r.ContentRangeInstanceLength, 5000);
  const TDateTime expected = UTCToLocal(EncodeDateTime(1994, 11, 6, 8, 49, 37, 0));
  EXPECT_DOUBLE_EQ(r.Date, expected);
  EXPECT_DOUBLE_EQ(r.LastModified, expected);
  EXPECT_NEAR(r.Expires, Now() + 1.0 / 24, 5.0 / 86400);
  EXPECT_EQ(r.WWWAuthenticate.Count(), 2);

  r.Clear();
  r.RawHeaders.SetText("Expires: -1\r\nContent-Length: x\r\n");
  r.ParseHeaders();
  EXPECT_EQ(r.Expires, 0);
  EXPECT_EQ(r.ContentLength, -1);
  EXPECT_FALSE(r.HasContentLength);
  EXPECT_EQ(r.LastModified, 0);
  EXPECT_NEAR(r.Date, Now(), 5.0 / 86400);  // no Date header: now
}

TEST(HTTPDate, FormsAndZones) {
  const TDateTime t = UTCToLocal(EncodeDateTime(1994, 11, 6, 8, 49, 37, 0));
  for (const char* text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                           "Sun Nov  6 08:49:37 1994", "Sun, 06 Nov 1994 09:49:37 +0100"}) {
    ASSERT_TRUE(GMTToLocalDateTime(text).has_value()) << text;
    EXPECT_DOUBLE_EQ(*GMTToLocalDateTime(text), t) << text;
  }
  for (const char* text : {"", "yesterday", "Sun, 32 Nov 1994 08:49:37 GMT", "06 Nov 1994 25:00"})
    EXPECT_FALSE(GMTToLocalDateTime(text).has_value()) << text;
  EXPECT_EQ(LocalDateTimeToHTTPDate(t), "Sun, 06 Nov 1994 08:49:37 GMT");
}

// The same response fed in two pieces split at every byte gives the same result.
TEST(HTTPResponseSplits, ChunkedResponseAtEveryOffset) {
  const std::string response =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nSet-Cookie: a=1\r\n\r\n"
      "4;ext=1\r\nWiki\r\n5\r\npedia\r\nE\r\n in\r\n\r\nchunks.\r\n0\r\nX-Check: done\r\n\r\n";
  for (size_t split = 1; split < response.size(); ++split) {
    SCOPED_TRACE(split);
    ScriptedClient s;
    s.io.Feed(response.substr(0, split));
    s.io.Feed(response.substr(split));
    TMemoryStream body;
    s.http.Get("http://h/x", body);
    EXPECT_EQ(Text(body), "Wikipedia in\r\n\r\nchunks.");
    EXPECT_EQ(s.http.Response().RawHeaders.GetValue("X-Check"), "done");
    EXPECT_TRUE(s.io.ScriptDone());
    EXPECT_EQ(s.http.CookieManager()->CookieCollection().Count(), 1);
  }
}

TEST(HTTPResponseSplits, KnownLengthResponseAtEveryOffset) {
  const std::string response = "HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\nhello world";
  for (size_t split = 1; split < response.size(); ++split) {
    SCOPED_TRACE(split);
    ScriptedClient s;
    s.io.Feed(response.substr(0, split));
    s.io.Feed(response.substr(split));
    TMemoryStream body;
    s.http.Get("http://h/x", body);
    EXPECT_EQ(Text(body), "hello world");
  }
}

TEST(HTTPCookies, StoreIsCreatedAtTheFirstResponseAndFeedsLaterHeads) {
  ScriptedClient s;
  EXPECT_EQ(s.http.CookieManager(), nullptr);
  s.io.Feed("HTTP/1.1 200 OK\r\nSet-Cookie: session=abc; Path=/\r\nContent-Length: 0\r\n\r\n");
  s.http.Head("http://example.com/a");
  EXPECT_EQ(s.io.Sent, DownloaderHead("HEAD", "/a", "example.com"));
  ASSERT_NE(s.http.CookieManager(), nullptr);
  s.io.Sent.clear();
  s.io.Feed("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
  s.http.Head("http://example.com/b");
  EXPECT_EQ(s.io.Sent, DownloaderHead("HEAD", "/b", "example.com", "Cookie: session=abc\r\n"));

  // Without AllowCookies nothing is stored or sent.
  ScriptedClient off;
  off.http.SetAllowCookies(false);
  off.io.Feed("HTTP/1.1 200 OK\r\nSet-Cookie: session=abc\r\nContent-Length: 0\r\n\r\n");
  off.http.Head("http://example.com/a");
  EXPECT_EQ(off.http.CookieManager(), nullptr);
}

TEST(HTTPMeta, HtmlPageDeclaresHeaderFields) {
  ScriptedClient s;
  const std::string page =
      "<html><head><!-- <meta http-equiv=\"X-Hidden\" content=\"no\"> -->"
      "<META HTTP-EQUIV='Refresh' CONTENT='5; url=/next'>"
      "<meta http-equiv=\"Set-Cookie\" content=\"m=2\"></head>"
      "<body><meta http-equiv=\"X-Late\" content=\"no\"></body></html>";
  s.io.Feed("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
            std::to_string(page.size()) + "\r\n\r\n" + page);
  TMemoryStream body;
  s.http.Get("http://h/x", body);
  EXPECT_EQ(Text(body), page);
  EXPECT_EQ(s.http.Response().RawHeaders.GetValue("Refresh"), "5; url=/next");
  EXPECT_EQ(s.http.Response().RawHeaders.GetValue("X-Hidden"), "");
  EXPECT_EQ(s.http.Response().RawHeaders.GetValue("X-Late"), "");
}

}  // namespace
