#pragma once

#include <string>
#include <string_view>

#include "base/DateTime.h"
#include "http/IdURI.h"

class TIdCookies;

// Cookie matching rules; every comparison ignores letter case.
// True when host is domain, or a host name (not an IP address) ending in "." + domain.
bool DomainMatches(std::string_view AHost, std::string_view ADomain);
// True when the request path is the cookie path or lies below it.
bool PathMatches(std::string_view AURIPath, std::string_view ACookiePath);
// The URI's directory without its last "/" ("/periodic/" gives "/periodic"), or "/".
std::string DefaultCookiePath(const TIdURI& AURI);
bool IsHttpProtocol(std::string_view AProtocol);

// One cookie: parsed from a Set-Cookie value and matched against request URIs. Every cookie
// is an item of a TIdCookies collection; destroying one that is still in its collection's
// accepted list takes it out of that list.
class TIdCookie {
 public:
  explicit TIdCookie(TIdCookies* ACollection);
  ~TIdCookie();
  TIdCookie(const TIdCookie&) = delete;
  TIdCookie& operator=(const TIdCookie&) = delete;

  // Fills the cookie from one Set-Cookie value received for AURI; false when the cookie must
  // not be stored (no name, a Domain that does not cover the host, HttpOnly from a non-HTTP
  // URI).
  bool ParseServerCookie(std::string_view ACookieText, const TIdURI& AURI);
  // Takes the name and value of one "name=value" pair of a request's Cookie header.
  void ParseClientCookie(std::string_view ACookieText);
  // True when the cookie is to be sent with a request for AURI.
  bool IsAllowed(const TIdURI& AURI, bool ASecureOnly) const;

  bool IsExpired() const;
  // Whole seconds from now to Expires; -1 when Expires is 0.
  int64_t MaxAge() const;
  // name=value as sent in a Cookie header.
  std::string ClientCookie() const;
  // The Set-Cookie form: name=value and the attributes that apply.
  std::string CookieText() const;

  TIdCookies* Collection() const { return FCollection; }

  std::string Domain;  // request host (host-only) or the Domain attribute, lower case
  TDateTime Expires = 0;
  bool HttpOnly = false;
  std::string CookieName;
  std::string Path;
  bool Secure = false;
  std::string Value;
  TDateTime CreatedAt;
  bool HostOnly = false;
  TDateTime LastAccessed;
  bool Persistent = false;

 private:
  friend class TIdCookies;
  TIdCookies* FCollection;
};
