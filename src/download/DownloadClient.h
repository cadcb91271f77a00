#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class TStream;

// A failed attempt that is about to be made again.
struct TRetryNotice {
  std::string URL;
  // The attempt to come (2 for the first retry), and the attempts in all.
  int Attempt = 0;
  int MaxAttempts = 0;
  // How long to wait before it, in ms.
  int Wait = 0;
  // True when the server answered that it cannot serve now (408, 429, 5xx); false when the
  // connection failed or broke.
  bool ServerBusy = false;
  // The failure's message.
  std::string Cause;
  // Bytes of the body already held, which the next attempt asks the server to continue.
  int64_t Held = 0;
};

// What the download-and-install sequence needs of the HTTP client: the window's `HTTP`.
// The product plugs the real client in through an adapter (ComponentWiring.cpp).
class TDownloadClient {
 public:
  virtual ~TDownloadClient() = default;

  // The size probe; returns after a successful response, raises on failure.
  virtual void Head(const std::string& AURL) = 0;
  // The length the last size probe found; -1 when the server gave no valid one.
  virtual int64_t ResponseContentLength() = 0;
  // The URL the last request ended at, after the redirects it followed.
  virtual std::string ResponseURL() = 0;
  // The Content-Type the last response named; empty when none.
  virtual std::string ResponseContentType() = 0;
  // A GET request writing the response body into dest; reports progress through OnWork.
  // AExpectedStart: the bytes every file asked for begins with ("PK" for a ZIP archive); a body
  // that begins otherwise and is sent as a web page or begins like one (LooksLikeWebPage) is
  // refused with EWebPageInstead as soon as its first bytes are in, before the rest is read.
  // Empty: any body is taken.
  virtual void Get(const std::string& AURL, TStream& ADest, std::string_view AExpectedStart) = 0;
  // Closes the connection, telling the peer; a second call changes nothing.
  virtual void Disconnect() = 0;

  // The count of body bytes held since the body started, after every block. It goes back only
  // when bytes held are thrown away.
  std::function<void(int64_t AWorkCount)> OnWork;
  // Each retry, before its wait: which attempt comes, why, and the wait.
  std::function<void(const TRetryNotice& ANotice)> OnRetry;
  // Waits before a retry; answers false when the wait was given up (the program is ending), and
  // the failure then stands. Unset: the client sleeps.
  std::function<bool(const TRetryNotice& ANotice)> OnRetryWait;

  // The bound of a body whose size probe gave no positive length while nobody has told the room
  // it has.
  static constexpr int64_t DefaultUnannouncedBodyLimit = int64_t{4} << 30;
  // The most a body may bring when its size probe gave no positive length (one with a length
  // may bring no more than that). The sequence sets it to the room the body has where it goes.
  int64_t UnannouncedBodyLimit = DefaultUnannouncedBodyLimit;
};
