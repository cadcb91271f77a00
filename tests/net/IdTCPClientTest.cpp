#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackServer.h"
#include "base/MemoryStream.h"
#include "net/IdAntiFreezeBase.h"
#include "net/IdIOHandlerStack.h"
#include "net/IdTCPClient.h"
#ifdef _WIN32
#include "net/IdStackWindows.h"
using TPlatformStack = TIdStackWindows;
#else
#include "net/IdStackPosix.h"
using TPlatformStack = TIdStackPosix;
#endif

namespace {

class TCountingAntiFreeze : public TIdAntiFreezeBase {
 public:
  TCountingAntiFreeze() { IdleTimeOut = 10; }
  void Process() override { ++Calls; }
  int Calls = 0;
};

// The platform stack, counting name queries.
class TCountingStack : public TPlatformStack {
 public:
  std::string LookupHostAddress(const std::string& host, TIdIPVersion v) override {
    ++Lookups;
    return TPlatformStack::LookupHostAddress(host, v);
  }
  static inline int Lookups = 0;
};

// A port on which nothing listens.
uint16_t ClosedPort() {
  TStackUser user;
  const TIdStackSocketHandle s = GStack()->NewSocketHandle(Id_SOCK_STREAM, 0);
  GStack()->Bind(s, "127.0.0.1", 0);
  std::string ip;
  uint16_t port;
  TIdIPVersion v;
  GStack()->GetSocketName(s, ip, port, v);
  GStack()->Disconnect(s);
  return port;
}

void Echo(TLoopbackPeer& peer, int) {
  const std::string line = peer.Receive(100);
  peer.Send("got " + line);
  peer.ReceiveUntilClosed();
}

}  // namespace

TEST(IdTCPClient, ConnectExchangeAndOptions) {
  TLoopbackServer server(Echo);
  TIdTCPClient client;
  std::vector<TIdStatus> statuses;
  client.OnStatus = [&](TIdComponent*, TIdStatus s, const std::string&) { statuses.push_back(s); };
  client.Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(client.Connected());
  ASSERT_NE(client.Socket(), nullptr);
  EXPECT_TRUE(client.ManagedIOHandler());
  EXPECT_NE(dynamic_cast<TIdIOHandlerStack*>(client.IOHandler()), nullptr);
  TIdSocketHandle& b = *client.Socket()->Binding();
  EXPECT_EQ(b.PeerIP, "127.0.0.1");
  EXPECT_EQ(b.PeerPort, server.Port());
  EXPECT_EQ(b.IP, "127.0.0.1");
  EXPECT_NE(b.Port, 0);
  EXPECT_TRUE(b.UseNagle());
  EXPECT_EQ(b.GetSockOpt(Id_SOCKETOPTIONLEVEL_TCP, Id_TCP_NODELAY), 0);
  EXPECT_EQ(b.GetSockOpt(Id_SOL_SOCKET, Id_SO_REUSEADDR), 0);

  client.IOHandler()->WriteLn("ping");
  EXPECT_EQ(client.IOHandler()->ReadLn(), "got ping");

  int disconnected = 0;
  client.OnDisconnected = [&](TIdComponent*) { ++disconnected; };
  client.Disconnect();
  EXPECT_FALSE(client.Connected());
  client.Disconnect();
  EXPECT_EQ(disconnected, 1) << "a second Disconnect changes nothing";
  EXPECT_EQ(statuses,
            (std::vector<TIdStatus>{hsConnecting, hsConnected, hsDisconnecting, hsDisconnected}));
}

TEST(IdTCPClient, NagleCanBeSwitchedOff) {
  TLoopbackServer server(Echo);
  TIdTCPClient client;
  client.SetUseNagle(false);
  client.Connect("127.0.0.1", server.Port());
  EXPECT_NE(client.Socket()->Binding()->GetSockOpt(Id_SOCKETOPTIONLEVEL_TCP, Id_TCP_NODELAY), 0);
}

TEST(IdTCPClient, RefusedConnectReleasesTheImplicitHandler) {
  const uint16_t port = ClosedPort();
  for (bool responsive : {false, true}) {
    TLoopbackServer server(Echo);
    std::unique_ptr<TCountingAntiFreeze> af;
    if (responsive) af = std::make_unique<TCountingAntiFreeze>();
    TIdTCPClient client;
    try {
      client.Connect("127.0.0.1", port);
      FAIL();
    } catch (const EIdSocketError& e) {
      EXPECT_EQ(e.LastError(), 10061);
      EXPECT_EQ(e.Message(), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_EQ(client.IOHandler(), nullptr);
    EXPECT_FALSE(client.Connected());
    // The next Connect starts over with a fresh handler.
    client.Connect("127.0.0.1", server.Port());
    EXPECT_TRUE(client.Connected());
    EXPECT_TRUE(client.ManagedIOHandler());
    if (af) {
      EXPECT_GT(af->Calls, 0) << "messages processed while the connect thread ran";
    }
  }
}

TEST(IdTCPClient, UnresolvableHost) {
  TIdTCPClient client;
  try {
    client.Connect("no-such-host.invalid", 80);
    FAIL();
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 11001);
    EXPECT_EQ(e.Message(), "Socket Error # 11001\r\nHost not found.");
  }
  EXPECT_EQ(client.IOHandler(), nullptr);
}

TEST(IdTCPClient, LocalhostNeedsNoNameQuery) {
  ASSERT_EQ(TIdStack::UsageCount(), 0);
  const TIdStackClass previous = TIdStack::StackClass();
  TIdStack::SetStackClass(
      []() -> std::unique_ptr<TIdStack> { return std::make_unique<TCountingStack>(); });
  {
    TLoopbackServer server(Echo);
    TIdTCPClient client;
    TCountingStack::Lookups = 0;
    client.Connect("LocalHost", server.Port());
    EXPECT_EQ(client.Socket()->Binding()->PeerIP, "127.0.0.1");
    client.Disconnect();
    EXPECT_EQ(TCountingStack::Lookups, 0);
  }
  TIdStack::SetStackClass(previous);
}

TEST(IdTCPClient, ParametersAreChecked) {
  TIdTCPClient client;
  try {
    client.Connect("", 80);
    FAIL();
  } catch (const EIdHostRequired& e) {
    EXPECT_EQ(e.Message(), "");
  }
  EXPECT_EQ(client.IOHandler(), nullptr) << "checked before a handler is made";
  EXPECT_THROW(client.Connect("127.0.0.1", 0), EIdPortRequired);
  try {
    client.CheckForGracefulDisconnect();
    FAIL();
  } catch (const EIdException& e) {
    EXPECT_EQ(e.Message(), "Not Connected");
  }
  client.CheckForGracefulDisconnect(false);
}

TEST(IdTCPClient, AlreadyConnectedAndReconnect) {
  TLoopbackServer server([](TLoopbackPeer& peer, int index) {
    if (index == 0) {
      peer.Send("first\r\nleftover");
    } else {
      peer.Send("second\r\n");
    }
    peer.ReceiveUntilClosed();
  });
  TIdTCPClient client;
  client.Connect("127.0.0.1", server.Port());
  TIdIOHandler* handler = client.IOHandler();
  try {
    client.Connect();
    FAIL();
  } catch (const EIdAlreadyConnected& e) {
    EXPECT_EQ(e.Message(), "Already connected.");
  }
  EXPECT_TRUE(client.Connected());
  EXPECT_EQ(handler->ReadLn(), "first");
  if (handler->InputBufferIsEmpty()) handler->CheckForDataOnSource(5000);
  ASSERT_EQ(handler->InputBuffer().Size(), 8);

  client.Disconnect();
  // Unread bytes keep the closed connection readable, so it still counts as connected.
  EXPECT_TRUE(client.Connected());
  EXPECT_THROW(client.Connect(), EIdAlreadyConnected);
  handler->InputBuffer().Clear();
  EXPECT_FALSE(client.Connected());

  client.Connect();
  EXPECT_EQ(client.IOHandler(), handler) << "the implicit handler is reused";
  EXPECT_EQ(handler->ReadLn(), "second");
}

TEST(IdTCPClient, PeerCloseWithUnreadBytes) {
  TLoopbackServer server([](TLoopbackPeer& peer, int) { peer.Send("abc"); });
  TIdTCPClient client;
  client.Connect("127.0.0.1", server.Port());
  TIdIOHandler& h = *client.IOHandler();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!h.ClosedGracefully() && std::chrono::steady_clock::now() < deadline) {
    client.Connected();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(h.ClosedGracefully());
  EXPECT_TRUE(client.Connected()) << "until the bytes are consumed";
  TIdBytes bytes;
  h.ReadBytes(bytes, 3);
  EXPECT_FALSE(client.Connected());
  EXPECT_THROW(h.ReadLn(), EIdConnClosedGracefully);
}

TEST(IdTCPClient, WritesAfterDisconnectSendNothing) {
  std::string received = "unset";
  {
    TLoopbackServer server([&](TLoopbackPeer& peer, int) { received = peer.ReceiveUntilClosed(); });
    TIdTCPClient client;
    client.Connect("127.0.0.1", server.Port());
    client.Disconnect();
    try {
      client.IOHandler()->WriteLn("late");
      FAIL();
    } catch (const EIdConnClosedGracefully& e) {
      EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
    }
  }
  EXPECT_EQ(received, "");
}

TEST(IdTCPClient, BodyReadAndDiscard) {
  const std::string body(100000, 'b');
  TLoopbackServer server([&](TLoopbackPeer& peer, int) {
    peer.Send("HEAD\r\n" + body);
    peer.Send(std::string(50000, 'c'));
  });
  TIdTCPClient client;
  std::vector<int64_t> counts;
  client.OnWork = [&](TIdComponent*, TWorkMode, int64_t n) { counts.push_back(n); };
  client.Connect("127.0.0.1", server.Port());
  TIdIOHandler& h = *client.IOHandler();
  EXPECT_EQ(h.ReadLn(), "HEAD");
  const int ahead = h.InputBuffer().Size();
  TMemoryStream s;
  h.ReadStream(s, 100000);
  ASSERT_FALSE(counts.empty());
  EXPECT_EQ(counts.front(), std::min(ahead, 100000) == 0 ? 32768 : std::min(ahead, 100000));
  EXPECT_EQ(counts.back(), 100000);
  EXPECT_EQ(s.Size(), 100000);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s.Memory()), 100000), body);
  counts.clear();
  h.DiscardAll();  // ends normally when the peer closes
  EXPECT_TRUE(counts.empty());
  EXPECT_FALSE(client.Connected());
}

TEST(IdTCPClient, DisconnectInsideOnWork) {
  TLoopbackServer server([](TLoopbackPeer& peer, int) {
    peer.Send(std::string(100000, 'd'));
    peer.ReceiveUntilClosed();
  });
  TIdTCPClient client;
  std::vector<int64_t> counts;
  bool ended = false;
  client.OnWork = [&](TIdComponent*, TWorkMode, int64_t n) {
    counts.push_back(n);
    client.Disconnect();
  };
  client.OnWorkEnd = [&](TIdComponent*, TWorkMode) { ended = true; };
  client.Connect("127.0.0.1", server.Port());
  TMemoryStream s;
  EXPECT_THROW(client.IOHandler()->ReadStream(s, 100000), EIdConnClosedGracefully);
  EXPECT_TRUE(ended);
  ASSERT_GE(counts.size(), 2u);
  for (size_t i = 0; i + 1 < counts.size(); ++i)
    EXPECT_EQ(counts[i], 32768 * static_cast<int64_t>(i + 1));
  EXPECT_EQ(counts.back(), s.Size());
  EXPECT_LT(s.Size(), 100000);
  EXPECT_FALSE(client.IOHandler()->Opened());
}

// A connect that never completes ends by its time-out, or at once when the program abandons the
// wait (it has been asked to end); either way the implicit handler is released.
TEST(IdTCPClient, ConnectTimeoutAndAbandonedConnect) {
  TLoopbackServer server(nullptr, 0);  // never accepts
  TStackUser user;
  // Fill the backlog: further connects then wait for an answer that never comes.
  std::vector<TIdStackSocketHandle> fillers;
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    const TIdStackSocketHandle s = GStack()->NewSocketHandle(Id_SOCK_STREAM, 0);
    const uint16_t port = server.Port();
    threads.emplace_back([s, port] {
      try {
        GStack()->Connect(s, "127.0.0.1", port);
      } catch (const EIdSocketError&) {
        // Ended by the close below.
      }
    });
    fillers.push_back(s);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  {
    TIdTCPClient client;
    client.SetConnectTimeout(300);
    const auto start = std::chrono::steady_clock::now();
    try {
      client.Connect("127.0.0.1", server.Port());
      FAIL();
    } catch (const EIdConnectTimeout& e) {
      EXPECT_EQ(e.Message(), "Connect timed out.");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(client.IOHandler(), nullptr);
  }
  {
    // Responsive waiting: the connect is polled for up to 120 s, unless abandoned.
    TCountingAntiFreeze af;
    af.OnAbandonWait = [&af] { return af.Calls == 5; };
    TIdTCPClient client;
    try {
      client.Connect("127.0.0.1", server.Port());
      FAIL();
    } catch (const EIdConnClosedGracefully& e) {
      EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
    }
    EXPECT_EQ(af.Calls, 5);
    EXPECT_EQ(client.IOHandler(), nullptr);
  }
  for (TIdStackSocketHandle s : fillers)
    GStack()->Disconnect(s);
  for (std::thread& t : threads)
    t.join();
}
