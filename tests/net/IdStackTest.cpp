#include <gtest/gtest.h>

#include "FakeStack.h"
#include "LoopbackServer.h"
#include "net/IdIPAddress.h"
#include "net/IdStack.h"
#ifndef _WIN32
#include <netdb.h>

#include <cerrno>

#include "net/IdStackPosix.h"
#endif

TEST(IdStack, IsIP) {
  struct Case {
    const char* text;
    bool ip;
  } cases[] = {
      {"127.0.0.1", true},
      {"0.0.0.0", true},
      {"255.255.255.255", true},
      {" 1 . 2 . 3 . 4 ", true},
      {"1.2.3", false},
      {"1.2.3.4.5", false},
      {"1.2.3.256", false},
      {"192.168.1.300", false},
      {"1..3.4", false},
      {"a.b.c.d", false},
      {"", false},
      {"localhost", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TIdStack::IsIP(c.text), c.ip) << c.text;
}

TEST(IdStack, ResolveHostQueriesOnlyNames) {
  TFakeStackScope scope;
  TFakeStack& stack = scope.Stack();
  EXPECT_EQ(stack.ResolveHost("LOCALHOST"), "127.0.0.1");
  EXPECT_EQ(stack.ResolveHost("LocalHost"), "127.0.0.1");
  EXPECT_EQ(stack.ResolveHost("10.1.2.3"), "10.1.2.3");
  EXPECT_TRUE(stack.Lookups.empty());
  EXPECT_EQ(stack.ResolveHost("192.168.1.300"), "10.0.0.1");
  EXPECT_EQ(stack.ResolveHost("1.2.3"), "10.0.0.1");
  EXPECT_EQ(stack.Lookups, (std::vector<std::string>{"192.168.1.300", "1.2.3"}));
  // An IPv6 literal comes back in its normalised form without a query.
  EXPECT_EQ(stack.ResolveHost("0:0:0:0:0:0:0:1", Id_IPv6), "::1");
  EXPECT_EQ(stack.Lookups.size(), 2u);
  EXPECT_THROW(stack.ResolveHost("x", static_cast<TIdIPVersion>(7)), EIdIPVersionUnsupported);
}

TEST(IdStack, ErrorMessages) {
  TFakeStackScope scope;
  TFakeStack& stack = scope.Stack();
  EXPECT_EQ(stack.WSTranslateSocketErrorMsg(10061), "Socket Error # 10061\r\nConnection refused.");
  EXPECT_EQ(stack.WSTranslateSocketErrorMsg(11001), "Socket Error # 11001\r\nHost not found.");
  EXPECT_EQ(stack.WSTranslateSocketErrorMsg(10066), "Socket Error # 10066\r\nDirectory not empty");
  EXPECT_EQ(stack.WSTranslateSocketErrorMsg(10101), "Socket Error # 10101\r\n");
  // Every code of the table has a text.
  for (int code : {10004, 10009, 10013, 10014, 10022, 10024})
    EXPECT_FALSE(TIdStack::SocketErrorText(code).empty());
  for (int code = 10035; code <= 10066; ++code)
    EXPECT_FALSE(TIdStack::SocketErrorText(code).empty()) << code;

  try {
    stack.RaiseSocketError(10038);
    FAIL();
  } catch (const EIdNotASocket& e) {
    EXPECT_EQ(e.LastError(), 10038);
    EXPECT_EQ(e.Message(), "Socket Error # 10038\r\nSocket operation on non-socket.");
  }
  try {
    stack.WSSetLastError(10054);
    stack.CheckForSocketError(-1);
    FAIL();
  } catch (const EIdNotASocket&) {
    FAIL() << "only 10038 is EIdNotASocket";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 10054);
  }
  EXPECT_EQ(stack.CheckForSocketError(5), 5);
}

TEST(IdStack, AddressInfoResults) {
  const int expected[] = {0, 11002, 10022, 11003, 10047, 8, 11004, 11001, 10109, 10044};
  for (int r = 1; r <= 10; ++r)
    EXPECT_EQ(TIdStack::AddressInfoResultToSocketError(r, 0), expected[r - 1]) << r;
  EXPECT_EQ(TIdStack::AddressInfoResultToSocketError(11, 10055), 10055);
  EXPECT_EQ(TIdStack::AddressInfoResultToSocketError(11001, 0), 11001);
}

TEST(IdStack, SelectTimeLimit) {
  EXPECT_FALSE(SelectTimeLimit(-2).has_value());
  const auto zero = SelectTimeLimit(0);
  ASSERT_TRUE(zero);
  EXPECT_EQ(zero->Seconds, 0);
  EXPECT_EQ(zero->Microseconds, 0);
  const auto t = SelectTimeLimit(1500);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->Seconds, 1);
  EXPECT_EQ(t->Microseconds, 500000);
}

TEST(IdStack, SendOfNothingCallsNoPlatform) {
  TFakeStackScope scope;
  TFakeStack& stack = scope.Stack();
  const TIdBytes bytes = {1, 2, 3};
  EXPECT_EQ(stack.Send(1, bytes, 0, 0), 0);
  EXPECT_EQ(stack.Send(1, bytes, 3, -1), 0);
  EXPECT_EQ(stack.SendCalls, 0);
  EXPECT_EQ(stack.Send(1, bytes, 1, 10), 2);  // never beyond the array
  EXPECT_EQ(stack.SendCalls, 1);
}

TEST(IdStack, UsageCountingCreatesOneInstance) {
  ASSERT_EQ(TIdStack::UsageCount(), 0);
  TFakeStackScope scope;
  TIdStack* first = GStack();
  TIdStack::IncUsage();
  EXPECT_EQ(GStack(), first);
  EXPECT_EQ(TIdStack::UsageCount(), 2);
  TIdStack::DecUsage();
  EXPECT_EQ(GStack(), first);
}

TEST(IdStack, UndefinedStackClass) {
  ASSERT_EQ(TIdStack::UsageCount(), 0);
  const TIdStackClass previous = TIdStack::StackClass();
  TIdStack::SetStackClass(nullptr);
  try {
    TIdStack::IncUsage();
    ADD_FAILURE();
  } catch (const EIdException& e) {
    EXPECT_EQ(e.Message(), "Stack Class is undefined.");
  }
  TIdStack::SetStackClass(previous);
  EXPECT_EQ(TIdStack::UsageCount(), 0);
  EXPECT_EQ(GStack(), nullptr);
}

TEST(IdStack, PlatformLastErrorMapsNoRouteStatus) {
  TStackUser user;
  GStack()->WSSetLastError(static_cast<int>(0xC000023Du));
  EXPECT_EQ(GStack()->WSGetLastError(), 10065);
  EXPECT_EQ(GStack()->WSTranslateSocketErrorMsg(GStack()->WSGetLastError()),
            "Socket Error # 10065\r\nNo route to host.");
  GStack()->WSSetLastError(10061);
  EXPECT_EQ(GStack()->WSGetLastError(), 10061);
}

TEST(IdStack, UnresolvableHost) {
  TStackUser user;
  try {
    GStack()->ResolveHost("no-such-host.invalid");
    FAIL();
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 11001);
    EXPECT_EQ(e.Message(), "Socket Error # 11001\r\nHost not found.");
  }
}

TEST(IdStack, PlatformSocketListHoldsAtMost64) {
  TStackUser user;
  std::unique_ptr<TIdSocketList> list = GStack()->NewSocketList();
  for (TIdStackSocketHandle h = 1; h <= 64; ++h)
    list->Add(h);
  EXPECT_EQ(list->Count(), 64);
  try {
    list->Add(65);
    FAIL();
  } catch (const EIdStackSetSizeExceeded& e) {
    EXPECT_EQ(e.Message(), "Set Size Exceeded.");
  }
  list->Add(5);  // already there
  list->Remove(5);
  EXPECT_FALSE(list->Contains(5));
  EXPECT_EQ(list->Count(), 63);
}

TEST(IdStack, PlatformSocketBasics) {
  TStackUser user;
  TIdStack& stack = *GStack();
  const TIdStackSocketHandle s = stack.NewSocketHandle(Id_SOCK_STREAM, 0);
  EXPECT_EQ(stack.GetSocketOption(s, Id_SOL_SOCKET, Id_SO_TYPE), Id_SOCK_STREAM);
  stack.SetSocketOption(s, Id_SOCKETOPTIONLEVEL_TCP, Id_TCP_NODELAY, 1);
  EXPECT_NE(stack.GetSocketOption(s, Id_SOCKETOPTIONLEVEL_TCP, Id_TCP_NODELAY), 0);
  stack.Bind(s, "127.0.0.1", 0);
  std::string ip;
  uint16_t port = 0;
  TIdIPVersion version;
  stack.GetSocketName(s, ip, port, version);
  EXPECT_EQ(ip, "127.0.0.1");
  EXPECT_NE(port, 0);
  EXPECT_EQ(version, Id_IPv4);
  // A second socket on the same port cannot bind.
  const TIdStackSocketHandle t = stack.NewSocketHandle(Id_SOCK_STREAM, 0);
  try {
    stack.Bind(t, "127.0.0.1", port);
    ADD_FAILURE();
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 10048);
  }
  try {
    stack.GetPeerName(s, ip, port, version);
    ADD_FAILURE();
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 10057);
  }
  stack.Disconnect(s);
  stack.Disconnect(t);
}

TEST(IdIPv6, ParseAndFormat) {
  struct Case {
    const char* text;
    const char* normal;  // nullptr: not an address
  } cases[] = {
      {"::1", "::1"},
      {"::", "::"},
      {"[::1]", "::1"},
      {"2001:DB8:0:0:0:0:2:1", "2001:db8::2:1"},
      {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"},
      {"2001:0:0:1:0:0:0:1", "2001:0:0:1::1"},
      {"1::", "1::"},
      {"::ffff:192.0.2.1", "::ffff:c000:201"},
      {"1:2:3:4:5:6:7", nullptr},
      {"1:2:3:4:5:6:7:8:9", nullptr},
      {"1::2::3", nullptr},
      {":::", nullptr},
      {"12345::", nullptr},
      {"1:", nullptr},
      {"g::1", nullptr},
      {"1.2.3.4", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    uint16_t words[8];
    const bool ok = ParseIPv6(c.text, words);
    EXPECT_EQ(ok, c.normal != nullptr) << c.text;
    if (ok && c.normal) {
      EXPECT_EQ(FormatIPv6(words), c.normal) << c.text;
    }
  }
}

#ifndef _WIN32
TEST(IdStackPosix, ErrorsMapToWinsockCodes) {
  EXPECT_EQ(TIdStackPosix::ErrnoToSocketError(ECONNREFUSED), 10061);
  EXPECT_EQ(TIdStackPosix::ErrnoToSocketError(ECONNRESET), 10054);
  EXPECT_EQ(TIdStackPosix::ErrnoToSocketError(ETIMEDOUT), 10060);
  EXPECT_EQ(TIdStackPosix::ErrnoToSocketError(EHOSTUNREACH), 10065);
  EXPECT_EQ(TIdStackPosix::ErrnoToSocketError(ENOTSOCK), 10038);
  EXPECT_EQ(TIdStackPosix::ErrnoToSocketError(EBADF), 10009);
  EXPECT_EQ(TIdStackPosix::ResolverErrorToSocketError(EAI_NONAME, 0), 11001);
  EXPECT_EQ(TIdStackPosix::ResolverErrorToSocketError(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(TIdStackPosix::ResolverErrorToSocketError(EAI_SYSTEM, ECONNREFUSED), 10061);
}
#endif
