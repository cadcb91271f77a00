#include "http/IdCookie.h"

#include <vector>

#include "base/Format.h"
#include "base/StrUtils.h"
#include "http/IdCookieDate.h"
#include "http/IdCookies.h"
#include "net/IdIPAddress.h"

namespace {

bool TryStrToInt64(std::string_view s, int64_t& AValue) {
  // Two different fallbacks tell an unparsable text from one that holds the fallback.
  const int64_t a = StrToInt64Def(s, 0);
  const int64_t b = StrToInt64Def(s, 1);
  if (a != b || s.empty() || static_cast<unsigned char>(s.front()) <= ' ' ||
      static_cast<unsigned char>(s.back()) <= ' ')
    return false;
  AValue = a;
  return true;
}

// A value that starts with a quotation mark loses it and ends at the next one.
std::string Unquote(std::string_view AValue) {
  if (AValue.empty() || AValue[0] != '"') return std::string(AValue);
  AValue.remove_prefix(1);
  return std::string(AValue.substr(0, AValue.find('"')));
}

enum class TAttr { Expires, MaxAge, Domain, Path, Secure, HttpOnly };

struct TEntry {
  TAttr Name;
  std::string Text;
  TDateTime Date = 0;
};

// The last entry of a kind, or null.
const TEntry* Last(const std::vector<TEntry>& AEntries, TAttr AName) {
  for (auto it = AEntries.rbegin(); it != AEntries.rend(); ++it)
    if (it->Name == AName) return &*it;
  return nullptr;
}

// now + N seconds for N of 0 or more; an already expired date for a negative N.
TDateTime ExpiryFromSeconds(TDateTime ANow, int64_t ASeconds) {
  return ASeconds >= 0 ? IncSecond(ANow, ASeconds) : MinDateTime;
}

}  // namespace

bool DomainMatches(std::string_view AHost, std::string_view ADomain) {
  if (AHost.empty() || ADomain.empty()) return false;
  if (SameText(AHost, ADomain)) return true;
  if (AHost.size() <= ADomain.size() || !EndsText(ADomain, AHost)) return false;
  if (AHost[AHost.size() - ADomain.size() - 1] != '.') return false;
  return AHost[0] != '.' && !IsIPv4Literal(AHost) && !IsIPv6Literal(AHost);
}

bool PathMatches(std::string_view AURIPath, std::string_view ACookiePath) {
  if (SameText(AURIPath, ACookiePath)) return true;
  if (!StartsText(ACookiePath, AURIPath)) return false;
  return (!ACookiePath.empty() && ACookiePath.back() == '/') || AURIPath[ACookiePath.size()] == '/';
}

std::string DefaultCookiePath(const TIdURI& AURI) {
  const std::string& path = AURI.Path;
  const size_t last = path.rfind('/');
  if (!path.empty() && path[0] == '/' && last != 0) return path.substr(0, last);
  return "/";
}

bool IsHttpProtocol(std::string_view AProtocol) {
  return SameText(AProtocol, "http") || SameText(AProtocol, "https");
}

TIdCookie::TIdCookie(TIdCookies* ACollection)
    : CreatedAt(Now()), LastAccessed(CreatedAt), FCollection(ACollection) {}

TIdCookie::~TIdCookie() {
  if (FCollection) FCollection->RemoveFromList(this);
}

bool TIdCookie::ParseServerCookie(std::string_view ACookieText, const TIdURI& AURI) {
  const TDateTime now = Now();

  // Stage 1: the name-value pair, then the recognised attributes in order.
  const size_t semicolon = ACookieText.find(';');
  const std::string_view pair = ACookieText.substr(0, semicolon);
  std::string_view attributes =
      semicolon == std::string_view::npos ? std::string_view() : ACookieText.substr(semicolon);
  const size_t eq = pair.find('=');
  if (eq == std::string_view::npos) return false;
  const std::string_view name = Trim(pair.substr(0, eq));
  if (name.empty()) return false;

  std::vector<TEntry> entries;
  while (!attributes.empty()) {
    attributes.remove_prefix(1);  // the ";"
    const size_t next = attributes.find(';');
    const std::string_view attribute = attributes.substr(0, next);
    attributes = next == std::string_view::npos ? std::string_view() : attributes.substr(next);

    const size_t aeq = attribute.find('=');
    const std::string_view attrName = Trim(attribute.substr(0, aeq));
    const std::string attrValue =
        aeq == std::string_view::npos ? std::string() : Unquote(Trim(attribute.substr(aeq + 1)));

    int64_t seconds = 0;
    if (SameText(attrName, "Expires")) {
      if (TryStrToInt64(attrValue, seconds)) {
        entries.push_back({TAttr::Expires, {}, ExpiryFromSeconds(now, seconds)});
      } else if (auto date = ParseCookieDate(attrValue)) {
        entries.push_back({TAttr::Expires, {}, *date});
      }
    } else if (SameText(attrName, "Max-Age")) {
      if (TryStrToInt64(attrValue, seconds))
        entries.push_back({TAttr::MaxAge, {}, ExpiryFromSeconds(now, seconds)});
    } else if (SameText(attrName, "Domain")) {
      if (!attrValue.empty()) {
        std::string_view domain = attrValue;
        if (domain[0] == '.') domain.remove_prefix(1);
        domain = domain.substr(0, domain.find(':'));
        entries.push_back({TAttr::Domain, LowerCase(domain)});
      }
    } else if (SameText(attrName, "Path")) {
      entries.push_back({TAttr::Path, !attrValue.empty() && attrValue[0] == '/'
                                          ? attrValue
                                          : DefaultCookiePath(AURI)});
    } else if (SameText(attrName, "Secure")) {
      entries.push_back({TAttr::Secure, {}});
    } else if (SameText(attrName, "HttpOnly")) {
      entries.push_back({TAttr::HttpOnly, {}});
    }
  }

  // Stage 2: fill the cookie; the last entry of a kind wins.
  CookieName = std::string(name);
  Value = Unquote(Trim(pair.substr(eq + 1)));
  CreatedAt = now;
  LastAccessed = now;

  const TEntry* expiry = Last(entries, TAttr::MaxAge);
  if (!expiry) expiry = Last(entries, TAttr::Expires);
  Persistent = expiry != nullptr;
  Expires = expiry ? expiry->Date : MaxDateTime;

  const TEntry* domain = Last(entries, TAttr::Domain);
  if (!domain || domain->Text.empty()) {
    HostOnly = true;
    Domain = AURI.Host;
  } else {
    if (!DomainMatches(AURI.Host, domain->Text)) return false;
    HostOnly = false;
    Domain = domain->Text;
  }

  const TEntry* path = Last(entries, TAttr::Path);
  Path = path ? path->Text : DefaultCookiePath(AURI);
  Secure = Last(entries, TAttr::Secure) != nullptr;
  HttpOnly = Last(entries, TAttr::HttpOnly) != nullptr;
  return !(HttpOnly && !IsHttpProtocol(AURI.Protocol));
}

void TIdCookie::ParseClientCookie(std::string_view ACookieText) {
  const size_t eq = ACookieText.find('=');
  CookieName = std::string(Trim(ACookieText.substr(0, eq)));
  Value = eq == std::string_view::npos ? std::string() : Unquote(Trim(ACookieText.substr(eq + 1)));
}

bool TIdCookie::IsAllowed(const TIdURI& AURI, bool ASecureOnly) const {
  const bool hostOk = HostOnly ? SameText(AURI.Host, Domain) : DomainMatches(AURI.Host, Domain);
  return hostOk && PathMatches(AURI.Path, Path) && (!Secure || ASecureOnly) &&
         (!HttpOnly || IsHttpProtocol(AURI.Protocol));
}

bool TIdCookie::IsExpired() const {
  return Expires != 0 && Now() > Expires;
}

int64_t TIdCookie::MaxAge() const {
  if (Expires == 0) return -1;
  return MilliSecondSpan(Now(), Expires) / MSecsPerSec;
}

std::string TIdCookie::ClientCookie() const {
  return CookieName + "=" + Value;
}

std::string TIdCookie::CookieText() const {
  std::string text = ClientCookie();
  if (!Path.empty()) text += "; Path=" + Path;
  if (!HostOnly && !Domain.empty()) text += "; Domain=" + Domain;
  if (Secure) text += "; Secure";
  if (HttpOnly) text += "; HttpOnly";
  if (Persistent) {
    static const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int64_t maxAge = MaxAge();
    text += Format("; Max-Age=%lld", static_cast<long long>(maxAge < 0 ? 0 : maxAge));
    const TDateTime utc = LocalToUTC(Expires);
    const TDateTimeParts p = DecodeDateTime(utc);
    // 30 December 1899 was a Saturday.
    const int64_t ms = DateTimeToMSecs(utc);
    const int64_t dayNumber = (ms >= 0 ? ms : ms - (MSecsPerDay - 1)) / MSecsPerDay;
    const int weekday = static_cast<int>(((dayNumber % 7) + 7 + 6) % 7);
    text += Format("; Expires=%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[weekday], p.Day,
                   kMonths[p.Month - 1], p.Year, p.Hour, p.Minute, p.Second);
  }
  return text;
}
