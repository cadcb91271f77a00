// A body read until the server closes, with and without the client's body bound: a loopback
// peer answers each GET with a body of 256 MiB and no length, then closes. Both reads run in
// every iteration, in alternating order, so the ratio compares them under the same load.
#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/MemoryStream.h"
#include "http/IdHTTP.h"

namespace {

constexpr int64_t kBodySize = int64_t(256) << 20;

// Answers one request per connection with the body, then closes.
class TUntilClosePeer {
 public:
  TUntilClosePeer() {
    FListener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(FListener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(FListener, 4) != 0)
      throw std::runtime_error("listen failed");
    socklen_t len = sizeof addr;
    ::getsockname(FListener, reinterpret_cast<sockaddr*>(&addr), &len);
    FPort = ntohs(addr.sin_port);
    FThread = std::thread([this] { Run(); });
  }
  ~TUntilClosePeer() {
    FStop = true;
    ::shutdown(FListener, SHUT_RDWR);
    FThread.join();
    ::close(FListener);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/a.zip"; }

 private:
  void Run() {
    std::vector<char> chunk(1 << 20, 'x');
    const std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
    while (!FStop) {
      const int s = ::accept(FListener, nullptr, nullptr);
      if (s < 0) return;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
      }
      ::send(s, head.data(), head.size(), MSG_NOSIGNAL);
      for (int64_t left = kBodySize; left > 0;) {
        const ssize_t n =
            ::send(s, chunk.data(), static_cast<size_t>(std::min<int64_t>(left, chunk.size())),
                   MSG_NOSIGNAL);
        if (n <= 0) break;
        left -= n;
      }
      ::close(s);
    }
  }

  int FListener = -1;
  uint16_t FPort = 0;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

double Get(const std::string& url, int64_t bound) {
  TIdHTTP http;
  http.SetMaxBodySize(bound);
  TMemoryStream body;
  const auto start = std::chrono::steady_clock::now();
  http.Get(url, body);
  const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (body.Size() != kBodySize) throw std::runtime_error("short body");
  return t;
}

void BM_UntilCloseBoundedVsUnbounded(benchmark::State& state) {
  TUntilClosePeer peer;
  const int64_t bound = int64_t(4) << 30;  // the downloader's bound without a probed length
  double unbounded = 0, bounded = 0;
  bool unboundedFirst = true;
  for (auto _ : state) {
    if (unboundedFirst) {
      unbounded += Get(peer.Url(), 0);
      bounded += Get(peer.Url(), bound);
    } else {
      bounded += Get(peer.Url(), bound);
      unbounded += Get(peer.Url(), 0);
    }
    unboundedFirst = !unboundedFirst;
    state.SetIterationTime(0);
  }
  const double mib = static_cast<double>(kBodySize) / (1 << 20) * state.iterations();
  state.counters["unbounded_MiB/s"] = mib / unbounded;
  state.counters["bounded_MiB/s"] = mib / bounded;
  state.counters["ratio"] = unbounded / bounded;
}

BENCHMARK(BM_UntilCloseBoundedVsUnbounded)
    ->Iterations(6)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
