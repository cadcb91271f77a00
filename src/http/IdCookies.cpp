#include "http/IdCookies.h"

#include "base/StrUtils.h"

int TIdCookieList::IndexOfCookie(const TIdCookie* ACookie) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i] == ACookie) return static_cast<int>(i);
  return -1;
}

TIdCookies::~TIdCookies() {
  Clear();
}

TIdCookie* TIdCookies::Add() {
  TWriteLockGuard lock(FRWLock);
  FItems.push_back(std::make_unique<TIdCookie>(this));
  return FItems.back().get();
}

int TIdCookies::Count() const {
  TReadLockGuard lock(FRWLock);
  return static_cast<int>(FItems.size());
}

void TIdCookies::FreeItem(TIdCookie* ACookie) {
  for (auto it = FItems.begin(); it != FItems.end(); ++it) {
    if (it->get() != ACookie) continue;
    // Out of the collection first: the cookie's destructor takes itself off the list.
    std::unique_ptr<TIdCookie> item = std::move(*it);
    FItems.erase(it);
    return;
  }
}

void TIdCookies::Delete(TIdCookie* ACookie) {
  TWriteLockGuard lock(FRWLock);
  FreeItem(ACookie);
}

void TIdCookies::RemoveFromList(TIdCookie* ACookie) {
  TWriteLockGuard lock(FRWLock);
  const int index = FCookieList.IndexOfCookie(ACookie);
  if (index >= 0) FCookieList.Delete(index);
}

bool TIdCookies::AddCookie(TIdCookie* ACookie, const TIdURI* AURI, bool AReplaceOld) {
  TWriteLockGuard lock(FRWLock);
  if (!ACookie || FCookieList.IndexOfCookie(ACookie) >= 0) return ACookie != nullptr;
  if (AReplaceOld) {
    for (int i = 0; i < FCookieList.Count(); ++i) {
      TIdCookie* old = FCookieList[i];
      if (!SameText(old->CookieName, ACookie->CookieName) ||
          !SameText(old->Domain, ACookie->Domain) || !SameText(old->Path, ACookie->Path))
        continue;
      // A non-HTTP source may not overwrite a cookie meant for HTTP only.
      if (AURI && !IsHttpProtocol(AURI->Protocol) && old->HttpOnly) return false;
      ACookie->CreatedAt = old->CreatedAt;
      FCookieList.Delete(i);
      FreeItem(old);
      break;
    }
  }
  if (ACookie->IsExpired()) return false;
  FCookieList.Add(ACookie);
  return true;
}

TIdCookie* TIdCookies::AddServerCookie(std::string_view ACookie, const TIdURI& AURI) {
  TIdCookie* cookie = Add();
  try {
    if (cookie->ParseServerCookie(ACookie, AURI) && AddCookie(cookie, &AURI, true)) return cookie;
  } catch (...) {
    Delete(cookie);
    throw;
  }
  Delete(cookie);
  return nullptr;
}

void TIdCookies::AddServerCookies(const TStringList& ACookies, const TIdURI& AURI) {
  for (const std::string& text : ACookies)
    AddServerCookie(text, AURI);
}

void TIdCookies::AddClientCookie(std::string_view ACookie) {
  while (!ACookie.empty()) {
    const size_t semicolon = ACookie.find(';');
    const std::string_view pair = ACookie.substr(0, semicolon);
    ACookie =
        semicolon == std::string_view::npos ? std::string_view() : ACookie.substr(semicolon + 1);
    if (Trim(pair).empty()) continue;
    TIdCookie* cookie = Add();
    cookie->ParseClientCookie(pair);
    if (cookie->CookieName.empty() || !AddCookie(cookie, nullptr, true)) Delete(cookie);
  }
}

void TIdCookies::AddClientCookies(const TStringList& ACookies) {
  for (const std::string& text : ACookies)
    AddClientCookie(text);
}

void TIdCookies::CleanupCookieList() {
  TWriteLockGuard lock(FRWLock);
  for (int i = FCookieList.Count() - 1; i >= 0; --i) {
    TIdCookie* cookie = FCookieList[i];
    if (!cookie->IsExpired()) continue;
    FCookieList.Delete(i);
    FreeItem(cookie);
  }
}

void TIdCookies::Clear() {
  TWriteLockGuard lock(FRWLock);
  FCookieList.Clear();
  // Freed while the lock is held; each cookie's destructor locks again.
  std::vector<std::unique_ptr<TIdCookie>> items;
  items.swap(FItems);
  items.clear();
}

int TIdCookies::FindCookie(std::string_view AName, const std::string_view* ADomain,
                           int AFirstIndex) const {
  for (int i = AFirstIndex < 0 ? 0 : AFirstIndex; i < FCookieList.Count(); ++i)
    if (SameText(FCookieList[i]->CookieName, AName) &&
        (!ADomain || SameText(FCookieList[i]->Domain, *ADomain)))
      return i;
  return -1;
}

int TIdCookies::GetCookieIndex(std::string_view AName, int AFirstIndex) const {
  TReadLockGuard lock(FRWLock);
  return FindCookie(AName, nullptr, AFirstIndex);
}

int TIdCookies::GetCookieIndex(std::string_view AName, std::string_view ADomain,
                               int AFirstIndex) const {
  TReadLockGuard lock(FRWLock);
  return FindCookie(AName, &ADomain, AFirstIndex);
}

TIdCookie* TIdCookies::GetCookieByNameAndDomain(std::string_view AName,
                                                std::string_view ADomain) const {
  TReadLockGuard lock(FRWLock);
  const int index = FindCookie(AName, &ADomain, 0);
  return index < 0 ? nullptr : FCookieList[index];
}

TIdCookieList& TIdCookies::LockCookieList(TIdCookieAccess AAccessType) {
  if (AAccessType == caRead)
    FRWLock.BeginRead();
  else
    FRWLock.BeginWrite();
  return FCookieList;
}

void TIdCookies::UnlockCookieList(TIdCookieAccess AAccessType) {
  if (AAccessType == caRead)
    FRWLock.EndRead();
  else
    FRWLock.EndWrite();
}
