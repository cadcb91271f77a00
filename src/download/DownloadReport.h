#pragma once

#include <string>

// Where the download client tells what it does on the network, for the run's log: the
// application's report implements it, so the download layer knows nothing of the program.
class TDownloadReport {
 public:
  virtual ~TDownloadReport() = default;

  // An event in words of its own.
  virtual void Note(const std::string& AText) noexcept = 0;
  // The proxy chosen for AURL ("DIRECT" for none) and how (the resolver's ChoiceSource).
  virtual void ProxyChosen(const std::string& AURL, const std::string& AProxy,
                           const std::string& AHow) = 0;
  // What the connection says of itself: the address it connects to, the secure session.
  virtual void Connection(const std::string& AText) = 0;
  virtual void RequestLine(const std::string& ALine) = 0;
  virtual void StatusLine(const std::string& ALine) = 0;
};
