#pragma once

// Helpers for the HTTP client tests against the scripted loopback server: reading request
// heads on the server's side, and logs written on one thread and read on another.

#include <mutex>
#include <string>
#include <vector>

#include "http/IdHTTP.h"
#include "net/LoopbackServer.h"

// Everything up to and including the empty line that ends a request head; what arrived so far
// when the client closes first.
inline std::string ReadRequestHead(TLoopbackPeer& peer) {
  std::string head;
  while (head.find("\r\n\r\n") == std::string::npos) {
    const std::string piece = peer.Receive(4096);
    if (piece.empty()) break;
    head += piece;
  }
  return head;
}

// Request heads as the server received them.
class THeadLog {
 public:
  void Add(std::string head) {
    std::lock_guard<std::mutex> lock(FLock);
    FHeads.push_back(std::move(head));
  }
  std::vector<std::string> Heads() {
    std::lock_guard<std::mutex> lock(FLock);
    return FHeads;
  }

 private:
  std::mutex FLock;
  std::vector<std::string> FHeads;
};

// The client's work and status events, one line each ("begin 0", "work 12", "end").
struct TEventLog {
  std::vector<std::string> Lines;

  void Attach(TIdHTTP& http) {
    http.OnWorkBegin = [this](TIdComponent*, TWorkMode mode, int64_t max) {
      Lines.push_back(std::string(mode == wmRead ? "begin " : "begin-write ") +
                      std::to_string(max));
    };
    http.OnWork = [this](TIdComponent*, TWorkMode mode, int64_t count) {
      Lines.push_back(std::string(mode == wmRead ? "work " : "work-write ") +
                      std::to_string(count));
    };
    http.OnWorkEnd = [this](TIdComponent*, TWorkMode mode) {
      Lines.push_back(mode == wmRead ? "end" : "end-write");
    };
    http.OnStatus = [this](TIdComponent*, TIdStatus status, const std::string& text) {
      if (status == hsStatusText) Lines.push_back("status " + text);
    };
  }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const std::string& l : Lines)
      if (l.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
  }
  std::string LastWork() const {
    for (auto it = Lines.rbegin(); it != Lines.rend(); ++it)
      if (it->compare(0, 5, "work ") == 0) return *it;
    return {};
  }
};

// The head the downloader's client sends, for a target and a Host value.
inline std::string DownloaderHead(const std::string& method, const std::string& target,
                                  const std::string& host, const std::string& extra = {}) {
  return method + " " + target + " HTTP/1.1\r\n" + "Host: " + host +
         "\r\n"
         "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
         "Accept-Encoding: identity\r\n"
         "User-Agent: Mozilla/3.0 (compatible; HTTP Client Library)\r\n" +
         extra + "\r\n";
}
