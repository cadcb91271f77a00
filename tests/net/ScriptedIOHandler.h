#pragma once

#include <deque>
#include <string>
#include <vector>

#include "net/IdIOHandler.h"

// An I/O handler whose transport is a script: each receive takes the next piece (at most the
// size asked for), a close marker makes receives return 0, and waits report data exactly while
// something is scripted. Sends are recorded.
class TScriptedIOHandler : public TIdIOHandler {
 public:
  TScriptedIOHandler() = default;

  void Feed(std::string piece) { FScript.push_back({false, std::move(piece)}); }
  void FeedClose() { FScript.push_back({true, {}}); }
  bool ScriptDone() const { return FScript.empty(); }

  void Open() override {
    TIdIOHandler::Open();
    FSocket = true;
  }
  void Close() override {
    FSocket = false;
    TIdIOHandler::Close();
  }

  std::string Sent;
  std::vector<int> SendCalls;
  int MaxSend = 1 << 30;      // bytes one send accepts
  std::vector<int> Receives;  // sizes of the receives that delivered bytes

 protected:
  bool HasSocket() override { return FSocket; }
  int ReceiveBlock(uint8_t* buffer, int length) override {
    if (FScript.empty() || FScript.front().Close) return 0;
    std::string& piece = FScript.front().Data;
    const int n = std::min<int>(length, static_cast<int>(piece.size()));
    std::copy(piece.begin(), piece.begin() + n, buffer);
    piece.erase(0, static_cast<size_t>(n));
    if (piece.empty()) FScript.pop_front();
    Receives.push_back(n);
    return n;
  }
  int SendBlock(const uint8_t* buffer, int length) override {
    const int n = std::min(length, MaxSend);
    Sent.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
    SendCalls.push_back(n);
    return n;
  }
  bool Readable(int) override { return !FScript.empty(); }

 private:
  struct TItem {
    bool Close;
    std::string Data;
  };
  std::deque<TItem> FScript;
  bool FSocket = false;
};
