// The plain WinSock loop that the Windows program's download is measured against, run under the
// same Wine: one GET of a path on 127.0.0.1, the body received by 32768-byte recv calls into
// memory of the announced length, with a select before each recv (as the responsive wait makes
// one before each receive) or without. Prints "seconds=<s> bytes=<n> mode=<select|plain>", the
// time from the connect to the last body byte.
//
// Usage: winsock_recv_loop <port> <path> select|plain
#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr int kBlock = 32768;

int Fail(const char* what) {
  std::fprintf(stderr, "%s failed: %d\n", what, ::WSAGetLastError());
  return 1;
}

double Now() {
  LARGE_INTEGER f, t;
  ::QueryPerformanceFrequency(&f);
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// Waits in slices of 10 ms until the socket is readable, like the responsive wait.
bool WaitReadable(SOCKET s) {
  for (;;) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval slice{0, 10000};
    const int rc = ::select(0, &set, nullptr, nullptr, &slice);
    if (rc == SOCKET_ERROR) return false;
    if (rc > 0) return true;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <port> <path> select|plain\n", argv[0]);
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const std::string path = argv[2];
  const bool withSelect = std::strcmp(argv[3], "select") == 0;

  WSADATA wsa;
  if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return Fail("WSAStartup");
  const double start = Now();
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return Fail("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = ::htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return Fail("connect");
  const std::string request =
      "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + argv[1] + "\r\nConnection: close\r\n\r\n";
  if (::send(s, request.data(), static_cast<int>(request.size()), 0) !=
      static_cast<int>(request.size()))
    return Fail("send");

  // The head, and whatever part of the body came with it.
  std::string head;
  size_t end = std::string::npos;
  char block[kBlock];
  while (end == std::string::npos) {
    if (withSelect && !WaitReadable(s)) return Fail("select");
    const int n = ::recv(s, block, kBlock, 0);
    if (n <= 0) return Fail("recv of the head");
    head.append(block, static_cast<size_t>(n));
    end = head.find("\r\n\r\n");
  }
  const char* field = std::strstr(head.c_str(), "Content-Length: ");
  if (!field || field > head.c_str() + end) {
    std::fprintf(stderr, "no Content-Length in the answer\n");
    return 1;
  }
  const long long length = std::atoll(field + 16);
  // Memory of the body's length, left unwritten until the bytes come, as the program's stream.
  std::unique_ptr<char[]> body(new char[static_cast<size_t>(length)]);
  long long got = static_cast<long long>(head.size() - end - 4);
  std::memcpy(body.get(), head.data() + end + 4, static_cast<size_t>(got));
  while (got < length) {
    if (withSelect && !WaitReadable(s)) return Fail("select");
    const int want = static_cast<int>(std::min<long long>(kBlock, length - got));
    const int n = ::recv(s, body.get() + got, want, 0);
    if (n <= 0) return Fail("recv");
    got += n;
  }
  const double seconds = Now() - start;
  ::closesocket(s);
  ::WSACleanup();
  std::printf("seconds=%.4f bytes=%lld mode=%s\n", seconds, got, withSelect ? "select" : "plain");
  return 0;
}
