#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "net/IdStack.h"

// A socket stack that touches no network: sockets are numbers, options are remembered, and
// readiness waits and name look-ups are recorded (and answered by hooks a test sets).
class TFakeStack : public TIdStack {
 public:
  TFakeStack() { Current = this; }
  ~TFakeStack() override {
    if (Current == this) Current = nullptr;
  }
  static TFakeStack* Current;

  std::string LookupHostAddress(const std::string& host, TIdIPVersion) override {
    Lookups.push_back(host);
    return "10.0.0.1";
  }
  TIdStackSocketHandle NewSocketHandle(int, int, TIdIPVersion, bool) override {
    const TIdStackSocketHandle h = NextHandle++;
    Options[{h, Id_SOL_SOCKET, Id_SO_TYPE}] = Id_SOCK_STREAM;
    Options[{h, Id_SOCKETOPTIONLEVEL_TCP, Id_TCP_NODELAY}] = 0;
    return h;
  }
  void Bind(TIdStackSocketHandle, const std::string&, uint16_t, TIdIPVersion) override {}
  void Connect(TIdStackSocketHandle, const std::string&, uint16_t, TIdIPVersion) override {}
  void Listen(TIdStackSocketHandle, int) override {}
  TIdStackSocketHandle Accept(TIdStackSocketHandle, std::string&, uint16_t&,
                              TIdIPVersion&) override {
    return Id_INVALID_SOCKET;
  }
  void Disconnect(TIdStackSocketHandle h) override { Closed.push_back(h); }
  using TIdStack::Receive;
  using TIdStack::Send;
  int Receive(TIdStackSocketHandle, void*, int) override { return 0; }
  int Send(TIdStackSocketHandle, const void*, int length) override {
    ++SendCalls;
    return length;
  }
  void GetSocketName(TIdStackSocketHandle, std::string& ip, uint16_t& port,
                     TIdIPVersion& v) override {
    ip = "127.0.0.1";
    port = 50000;
    v = Id_IPv4;
  }
  void GetPeerName(TIdStackSocketHandle, std::string& ip, uint16_t& port,
                   TIdIPVersion& v) override {
    ip = "127.0.0.1";
    port = 80;
    v = Id_IPv4;
  }
  int GetSocketOption(TIdStackSocketHandle h, int level, int option) override {
    ++OptionReads;
    return Options[{h, level, option}];
  }
  void SetSocketOption(TIdStackSocketHandle h, int level, int option, int value) override {
    OptionWrites.push_back({level, option, value});
    Options[{h, level, option}] = value;
  }
  std::unique_ptr<TIdSocketList> NewSocketList() override;
  int WSGetLastError() override { return LastError; }
  void WSSetLastError(int code) override { LastError = code; }

  // Answers each readiness wait (the time-out it was given); default: never readable.
  std::function<bool(int timeout)> OnSelect;
  std::vector<int> SelectTimeouts;
  std::vector<std::string> Lookups;
  std::vector<TIdStackSocketHandle> Closed;
  std::map<std::tuple<TIdStackSocketHandle, int, int>, int> Options;
  struct TOptionWrite {
    int Level, Option, Value;
  };
  std::vector<TOptionWrite> OptionWrites;
  int OptionReads = 0;
  int SendCalls = 0;
  int LastError = 0;
  TIdStackSocketHandle NextHandle = 100;
};

// Installs the fake stack class for the scope; the layer's components create it on first use.
class TFakeStackScope {
 public:
  TFakeStackScope();
  ~TFakeStackScope();
  TFakeStack& Stack();

 private:
  TIdStackClass FPrevious;
};
