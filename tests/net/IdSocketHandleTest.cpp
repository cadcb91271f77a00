#include <gtest/gtest.h>

#include "FakeStack.h"
#include "LoopbackServer.h"
#include "net/IdSocketHandle.h"
#include "net/IdTCPClient.h"

TEST(IdSocketHandle, AllocationReadsTheSocketsOptions) {
  TFakeStackScope scope;
  TFakeStack& stack = scope.Stack();
  TIdSocketHandle h;
  EXPECT_FALSE(h.HandleAllocated());
  EXPECT_EQ(h.Handle(), Id_INVALID_SOCKET);
  h.AllocateSocket();
  ASSERT_TRUE(h.HandleAllocated());
  EXPECT_EQ(h.SocketType(), Id_SOCK_STREAM);
  EXPECT_TRUE(h.UseNagle()) << "TCP_NODELAY 0 means Nagle on";

  // Only a change reaches the socket, at once.
  const size_t writes = stack.OptionWrites.size();
  h.SetUseNagle(true);
  EXPECT_EQ(stack.OptionWrites.size(), writes);
  h.SetUseNagle(false);
  ASSERT_EQ(stack.OptionWrites.size(), writes + 1);
  EXPECT_EQ(stack.OptionWrites.back().Level, Id_SOCKETOPTIONLEVEL_TCP);
  EXPECT_EQ(stack.OptionWrites.back().Option, Id_TCP_NODELAY);
  EXPECT_EQ(stack.OptionWrites.back().Value, 1);

  // Binding writes SO_REUSEADDR by ReuseSocket.
  for (auto [reuse, value] : {std::pair{rsOSDependent, 0}, {rsFalse, 0}, {rsTrue, 1}}) {
    h.ReuseSocket = reuse;
    h.Bind();
    EXPECT_EQ(stack.OptionWrites.back().Option, Id_SO_REUSEADDR);
    EXPECT_EQ(stack.OptionWrites.back().Value, value);
  }
}

TEST(IdSocketHandle, IPVersionIsFixedWhileASocketIsHeld) {
  TFakeStackScope scope;
  TIdSocketHandle h;
  h.SetIPVersion(Id_IPv6);
  h.SetIPVersion(Id_IPv4);
  h.AllocateSocket();
  h.SetIPVersion(Id_IPv4);  // the current value: nothing happens
  try {
    h.SetIPVersion(Id_IPv6);
    FAIL();
  } catch (const EIdCannotSetIPVersionWhenConnected& e) {
    EXPECT_EQ(e.Message(), "Cannot change IPVersion when connected");
  }
  EXPECT_EQ(h.IPVersion(), Id_IPv4);
}

TEST(IdSocketHandle, CloseSocketOnlyOnce) {
  TFakeStackScope scope;
  TFakeStack& stack = scope.Stack();
  TIdSocketHandle h;
  h.CloseSocket();
  EXPECT_TRUE(stack.Closed.empty());
  h.AllocateSocket();
  const TIdStackSocketHandle socket = h.Handle();
  h.CloseSocket();
  h.CloseSocket();
  EXPECT_EQ(stack.Closed, std::vector<TIdStackSocketHandle>{socket});
  EXPECT_FALSE(h.HandleAllocated());
  EXPECT_EQ(h.SocketType(), 0);
  EXPECT_THROW(h.Readable(0), EIdConnClosedGracefully);
}

TEST(IdSocketHandle, ConnectRecordsTheAddresses) {
  TFakeStackScope scope;
  TIdSocketHandle h;
  h.AllocateSocket();
  h.SetPeer("10.1.1.1", 8080);
  h.Connect();
  EXPECT_EQ(h.IP, "127.0.0.1");
  EXPECT_EQ(h.Port, 50000);
  EXPECT_EQ(h.PeerIP, "127.0.0.1");  // as the stack reports it after the connect
  EXPECT_EQ(h.PeerPort, 80);
  // A connect that completes after a close records nothing.
  h.Reset();
  h.AllocateSocket();
  h.SetPeer("10.1.1.1", 8080);
  h.CloseSocket();
  h.Connect();
  EXPECT_EQ(h.PeerIP, "10.1.1.1");
  EXPECT_EQ(h.IP, "");
}

TEST(IdSocketHandle, BindFailure) {
  TLoopbackServer server([](TLoopbackPeer&, int) {});
  TIdTCPClient client;
  client.SetBoundIP("127.0.0.1");
  client.SetBoundPort(server.Port());  // in use by the server's listener
  try {
    client.Connect("127.0.0.1", server.Port());
    FAIL();
  } catch (const EIdCouldNotBindSocket& e) {
    EXPECT_EQ(e.Message(), "Could not bind socket. Address and port are already in use.");
  }
  EXPECT_EQ(client.IOHandler(), nullptr);
}
