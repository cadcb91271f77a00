#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "base/Component.h"
#include "base/StringList.h"
#include "http/IdCookies.h"
#include "http/IdHeaderList.h"
#include "http/IdURI.h"

class TIdCookieManager;

using TIdOnManagerEvent =
    std::function<void(TIdCookieManager* ASender, TIdCookies* ACookieCollection)>;
using TIdOnNewCookieEvent =
    std::function<void(TIdCookieManager* ASender, TIdCookie* ACookie, bool& VAccept)>;

// The cookie store the HTTP client talks to: takes the cookies servers set and produces the
// Cookie header for later requests.
class TIdCookieManager : public TComponent {
 public:
  // OnCreate, when given, is raised once the collection exists.
  explicit TIdCookieManager(TIdOnManagerEvent AOnCreate = {});
  ~TIdCookieManager() override;

  // Appends one "Cookie" line for the accepted cookies that match AURL (none when none does).
  void GenerateClientCookies(const TIdURI& AURL, bool ASecureOnly, TIdHeaderList& AHeaders);
  void AddServerCookies(const TStringList& ACookies, const TIdURI& AURL);
  // Stores one Set-Cookie value when it parses, OnNewCookie accepts it and the collection
  // takes it; drops it silently otherwise.
  void AddServerCookie(std::string_view ACookie, const TIdURI& AURL);

  TIdCookies& CookieCollection() { return *FCookieCollection; }

  TIdOnManagerEvent OnCreate;
  TIdOnManagerEvent OnDestroy;
  TIdOnNewCookieEvent OnNewCookie;

 private:
  std::unique_ptr<TIdCookies> FCookieCollection;
};
