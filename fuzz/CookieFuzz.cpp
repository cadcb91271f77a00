// Set-Cookie values (with their cookie dates) as servers send them, stored for a few request
// URIs, then the Cookie headers produced for all of them.
//
// Input: groups of one byte choosing the request URI and one LF-ended Set-Cookie value.
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "base/DateTime.h"
#include "base/StrUtils.h"
#include "http/IdCookieDate.h"
#include "http/IdCookieManager.h"

namespace {

const char* const kURIs[] = {
    "http://app.h.test/periodic/Archive.zip",
    "https://h.test/",
    "HTTP://X.H.TEST/a/b/c?q=1",
    "http://192.168.0.1/a/",
    "http://[::1]:8080/x/y",
    "ftp://h.test/pub/file",
    "http://xh.test/",
    "/relative/path",
};

// The text without any character up to U+0020 (a long Cookie line is folded at white space).
std::string Squeezed(std::string_view s) {
  std::string out;
  for (char c : s)
    if (static_cast<unsigned char>(c) > ' ') out += c;
  return out;
}

bool SecureOnly(const TIdURI& uri) {
  return SameText(uri.Protocol, "HTTPS");
}

void CheckCookieDate(std::string_view text) {
  const auto date = ParseCookieDate(text);
  if (!date) return;
  // Years from 1601 to 9999, read as UTC; a time-zone offset may move the local value a day.
  FUZZ_CHECK(*date >= MinDateTime && *date <= MaxDateTime);
  const TDateTimeParts p = DecodeDateTime(*date);
  FUZZ_CHECK(p.Year >= 1600 && p.Year <= 9999);
}

// Every accepted cookie is well-formed, and no two share name, domain and path.
void CheckStore(TIdCookieManager& manager) {
  TIdCookies& cookies = manager.CookieCollection();
  TIdCookieList& list = cookies.LockCookieList(caRead);
  FUZZ_CHECK(list.Count() == cookies.Count());
  for (int i = 0; i < list.Count(); ++i) {
    const TIdCookie& c = *list[i];
    FUZZ_CHECK(!c.CookieName.empty());
    FUZZ_CHECK(!c.Path.empty());
    if (!c.HostOnly) {
      // A Domain attribute is kept only when it covers the host that set it.
      bool covers = false;
      for (const char* text : kURIs)
        covers = covers || DomainMatches(TIdURI(text).Host, c.Domain);
      FUZZ_CHECK(covers);
      FUZZ_CHECK(!c.Domain.empty() && c.Domain[0] != '.');
      FUZZ_CHECK(c.Domain.find(':') == std::string::npos);
      FUZZ_CHECK(LowerCase(c.Domain) == c.Domain);
    }
    FUZZ_CHECK(c.Persistent || c.Expires == MaxDateTime);
    (void)c.MaxAge();
    (void)c.CookieText();
    for (int j = 0; j < i; ++j) {
      const TIdCookie& d = *list[j];
      FUZZ_CHECK(!(SameText(c.CookieName, d.CookieName) && SameText(c.Domain, d.Domain) &&
                   SameText(c.Path, d.Path)));
    }
  }
  cookies.UnlockCookieList(caRead);
}

void CheckClientCookies(TIdCookieManager& manager, const TIdURI& uri) {
  TIdHeaderList headers(QuoteHTTP);
  headers.FoldLength = 1024;
  headers.Add("Host: h.test");
  manager.GenerateClientCookies(uri, SecureOnly(uri), headers);
  int cookieLines = 0;
  for (int i = 0; i < headers.Count(); ++i)
    if (headers.GetName(i) == "Cookie") ++cookieLines;
  FUZZ_CHECK(cookieLines <= 1);

  TIdCookies& cookies = manager.CookieCollection();
  TIdCookieList& list = cookies.LockCookieList(caRead);
  bool any = false;
  const std::string sent = Squeezed(headers.Values("Cookie"));
  for (int i = 0; i < list.Count(); ++i) {
    const TIdCookie& c = *list[i];
    if (!c.IsAllowed(uri, SecureOnly(uri))) continue;
    any = true;
    FUZZ_CHECK(sent.find(Squeezed(c.ClientCookie())) != std::string::npos);
  }
  cookies.UnlockCookieList(caRead);
  FUZZ_CHECK(any == (cookieLines == 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  TIdCookieManager manager;
  while (!in.Empty()) {
    const TIdURI uri(kURIs[in.Byte() % std::size(kURIs)]);
    const std::string_view value = in.Line();
    CheckCookieDate(value);
    manager.AddServerCookie(value, uri);
    CheckStore(manager);
  }
  for (const char* text : kURIs)
    CheckClientCookies(manager, TIdURI(text));
  CheckStore(manager);
  return 0;
}
