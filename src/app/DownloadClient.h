#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TStream;

// What the download-and-install sequence needs of the HTTP client: the window's `HTTP`.
// The product plugs the real client in through an adapter (ComponentWiring.cpp).
class TDownloadClient {
 public:
  virtual ~TDownloadClient() = default;

  // A HEAD request; returns after a successful response, raises on failure.
  virtual void Head(const std::string& AURL) = 0;
  // The length the last response announced; -1 when it had no valid Content-Length.
  virtual int64_t ResponseContentLength() = 0;
  // The URL the last request ended at, after the redirects it followed.
  virtual std::string ResponseURL() = 0;
  // The Content-Type the last response named; empty when none.
  virtual std::string ResponseContentType() = 0;
  // A GET request writing the response body into dest; reports progress through OnWork.
  virtual void Get(const std::string& AURL, TStream& ADest) = 0;
  // Closes the connection, telling the peer; a second call changes nothing.
  virtual void Disconnect() = 0;

  // The running count of body bytes read since the body started, after every block.
  std::function<void(int64_t AWorkCount)> OnWork;

  // The bound of a body whose size probe gave no positive length while nobody has told the room
  // it has.
  static constexpr int64_t DefaultUnannouncedBodyLimit = int64_t{4} << 30;
  // The most a body may bring when its size probe gave no positive length (one with a length
  // may bring no more than that). The sequence sets it to the room the body has where it goes.
  int64_t UnannouncedBodyLimit = DefaultUnannouncedBodyLimit;
};
