#include "http/IdCookieManager.h"

#include <algorithm>
#include <atomic>
#include <vector>

TIdCookieManager::TIdCookieManager(TIdOnManagerEvent AOnCreate)
    : OnCreate(std::move(AOnCreate)), FCookieCollection(std::make_unique<TIdCookies>()) {
  if (OnCreate) OnCreate(this, FCookieCollection.get());
}

TIdCookieManager::~TIdCookieManager() {
  FCookieCollection->CleanupCookieList();
  if (OnDestroy) OnDestroy(this, FCookieCollection.get());
}

void TIdCookieManager::GenerateClientCookies(const TIdURI& AURL, bool ASecureOnly,
                                             TIdHeaderList& AHeaders) {
  // The write lock of the clean-up is released before the read lock is taken.
  FCookieCollection->CleanupCookieList();

  std::string text;
  {
    TIdCookieListLock lock(*FCookieCollection, caRead);
    std::vector<TIdCookie*> selected;
    const TIdCookieList& list = lock.List();
    for (int i = 0; i < list.Count(); ++i)
      if (list[i]->IsAllowed(AURL, ASecureOnly)) selected.push_back(list[i]);
    if (selected.empty()) return;

    // More specific paths first, then older cookies first.
    std::stable_sort(selected.begin(), selected.end(), [](TIdCookie* a, TIdCookie* b) {
      if (a->Path.size() != b->Path.size()) return a->Path.size() > b->Path.size();
      return a->CreatedAt < b->CreatedAt;
    });
    const TDateTime now = Now();
    for (TIdCookie* cookie : selected) {
      // Readers may run side by side; the time stamp is written atomically.
      std::atomic_ref<TDateTime>(cookie->LastAccessed).store(now, std::memory_order_relaxed);
      if (!text.empty()) text += "; ";
      text += cookie->ClientCookie();
    }
  }
  // One line, never folded: a folded Cookie header is rejected by current servers.
  AHeaders.Add("Cookie" + AHeaders.NameValueSeparator + text);
}

void TIdCookieManager::AddServerCookies(const TStringList& ACookies, const TIdURI& AURL) {
  for (const std::string& text : ACookies)
    AddServerCookie(text, AURL);
}

void TIdCookieManager::AddServerCookie(std::string_view ACookie, const TIdURI& AURL) {
  TIdCookies& cookies = *FCookieCollection;
  TIdCookie* cookie = cookies.Add();
  bool keep = false;
  try {
    if (cookie->ParseServerCookie(ACookie, AURL)) {
      bool accept = true;
      if (OnNewCookie) OnNewCookie(this, cookie, accept);
      keep = accept && cookies.AddCookie(cookie, &AURL, true);
    }
  } catch (...) {
    cookies.Delete(cookie);
    throw;
  }
  if (!keep) cookies.Delete(cookie);
}
