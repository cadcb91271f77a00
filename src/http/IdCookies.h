#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/ReentrantRWLock.h"
#include "base/StringList.h"
#include "http/IdCookie.h"

enum TIdCookieAccess { caRead, caReadWrite };

// References to cookies, in the order they were accepted.
class TIdCookieList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TIdCookie* Cookies(int AIndex) const { return FItems.at(static_cast<size_t>(AIndex)); }
  TIdCookie* operator[](int AIndex) const { return Cookies(AIndex); }
  int IndexOfCookie(const TIdCookie* ACookie) const;
  void Add(TIdCookie* ACookie) { FItems.push_back(ACookie); }
  void Delete(int AIndex) { FItems.erase(FItems.begin() + AIndex); }
  void Clear() { FItems.clear(); }

 private:
  std::vector<TIdCookie*> FItems;
};

// Owns every cookie object and keeps the list of accepted cookies under a reader/writer lock.
// After each operation the collection holds exactly the accepted cookies.
class TIdCookies {
 public:
  TIdCookies() = default;
  ~TIdCookies();
  TIdCookies(const TIdCookies&) = delete;
  TIdCookies& operator=(const TIdCookies&) = delete;

  // A new cookie item of this collection (not yet accepted).
  TIdCookie* Add();
  // Takes a cookie out of the accepted list and the collection and frees it.
  void Delete(TIdCookie* ACookie);
  // Number of cookie items.
  int Count() const;

  // Accepts ACookie (an item of this collection). With AReplaceOld an accepted cookie of the
  // same name, domain and path is replaced, and the new one keeps its creation time; an
  // HttpOnly one is not replaced from a non-HTTP URI. An expired cookie is not accepted.
  bool AddCookie(TIdCookie* ACookie, const TIdURI* AURI, bool AReplaceOld = true);
  // Parses one Set-Cookie value for AURI and keeps the cookie when it is accepted.
  TIdCookie* AddServerCookie(std::string_view ACookie, const TIdURI& AURI);
  void AddServerCookies(const TStringList& ACookies, const TIdURI& AURI);
  // Adds the name=value pairs of a request's Cookie header (server use).
  void AddClientCookie(std::string_view ACookie);
  void AddClientCookies(const TStringList& ACookies);

  // Removes and frees every accepted cookie that has expired.
  void CleanupCookieList();
  void Clear();

  // First index at or after FirstIndex whose name (and, when given, domain) matches; -1.
  int GetCookieIndex(std::string_view AName, int AFirstIndex = 0) const;
  int GetCookieIndex(std::string_view AName, std::string_view ADomain, int AFirstIndex = 0) const;
  TIdCookie* GetCookieByNameAndDomain(std::string_view AName, std::string_view ADomain) const;

  // Locks the accepted list for reading (caRead) or changing (caReadWrite) and returns it.
  TIdCookieList& LockCookieList(TIdCookieAccess AAccessType);
  void UnlockCookieList(TIdCookieAccess AAccessType);

 private:
  friend class TIdCookie;
  void RemoveFromList(TIdCookie* ACookie);
  // Index in the accepted list; the caller holds a lock.
  int FindCookie(std::string_view AName, const std::string_view* ADomain, int AFirstIndex) const;
  // Frees an item; the caller holds the write lock.
  void FreeItem(TIdCookie* ACookie);

  std::vector<std::unique_ptr<TIdCookie>> FItems;  // the collection
  TIdCookieList FCookieList;                       // the accepted cookies
  mutable TReentrantRWLock FRWLock;
};

// Holds the accepted list locked for the scope.
class TIdCookieListLock {
 public:
  TIdCookieListLock(TIdCookies& ACookies, TIdCookieAccess AAccessType)
      : FCookies(ACookies), FAccess(AAccessType), FList(ACookies.LockCookieList(AAccessType)) {}
  ~TIdCookieListLock() { FCookies.UnlockCookieList(FAccess); }
  TIdCookieListLock(const TIdCookieListLock&) = delete;
  TIdCookieListLock& operator=(const TIdCookieListLock&) = delete;

  TIdCookieList& List() const { return FList; }

 private:
  TIdCookies& FCookies;
  TIdCookieAccess FAccess;
  TIdCookieList& FList;
};
