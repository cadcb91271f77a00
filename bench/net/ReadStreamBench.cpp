// Body reading against the machine's own limit: a loopback peer sends a body of known length
// (1 GiB), read once through TIdIOHandler::ReadStream into a TMemoryStream and once with plain
// recv into a buffer of the full size. Both reads run in every iteration, in alternating order,
// so the ratio compares them under the same load.
#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/IdAntiFreeze.h"
#include "base/MemoryStream.h"
#include "net/IdTCPClient.h"
#include "ui/Application.h"

namespace {

constexpr int64_t kBodySize = int64_t(1) << 30;

// Accepts one connection per read and sends the body in large writes, then closes.
class TBodyPeer {
 public:
  explicit TBodyPeer(int64_t size) : FSize(size) {
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
  ~TBodyPeer() {
    FStop = true;
    ::shutdown(FListener, SHUT_RDWR);
    FThread.join();
    ::close(FListener);
  }
  uint16_t Port() const { return FPort; }

 private:
  void Run() {
    std::vector<char> chunk(1 << 20, 'x');
    while (!FStop) {
      const int s = ::accept(FListener, nullptr, nullptr);
      if (s < 0) return;
      int64_t left = FSize;
      while (left > 0) {
        const ssize_t n =
            ::send(s, chunk.data(), static_cast<size_t>(std::min<int64_t>(left, chunk.size())),
                   MSG_NOSIGNAL);
        if (n <= 0) break;
        left -= n;
      }
      ::shutdown(s, SHUT_WR);
      char sink[256];
      while (::recv(s, sink, sizeof sink, 0) > 0) {
      }
      ::close(s);
    }
  }

  int64_t FSize;
  int FListener = -1;
  uint16_t FPort = 0;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Plain recv straight into a buffer of the full size; chunk 0 asks for everything left.
double PlainRecv(uint16_t port, int64_t size, int64_t chunk) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    throw std::runtime_error("connect failed");
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<char, decltype(&std::free)> buffer(static_cast<char*>(std::malloc(size)),
                                                     &std::free);
  int64_t got = 0;
  while (got < size) {
    const int64_t want = chunk > 0 ? std::min(chunk, size - got) : size - got;
    const ssize_t n = ::recv(s, buffer.get() + got, static_cast<size_t>(want), 0);
    if (n <= 0) throw std::runtime_error("short body");
    got += n;
  }
  const double t = Seconds(std::chrono::steady_clock::now() - start);
  benchmark::DoNotOptimize(buffer.get()[size - 1]);
  ::close(s);
  return t;
}

double ThroughReadStream(uint16_t port, int64_t size) {
  TIdTCPClient client;
  client.Connect("127.0.0.1", port);
  const auto start = std::chrono::steady_clock::now();
  TMemoryStream stream;
  client.IOHandler()->ReadStream(stream, size);
  const double t = Seconds(std::chrono::steady_clock::now() - start);
  if (stream.Size() != size) throw std::runtime_error("short body");
  benchmark::DoNotOptimize(stream.Memory()[size - 1]);
  client.Disconnect();
  return t;
}

// state.range(0): the plain read's request size (0: all that is left); state.range(1): 1 when
// responsive waiting is active, as in the program.
void BM_ReadStreamVsRecv(benchmark::State& state) {
  const int64_t chunk = state.range(0);
  const bool responsive = state.range(1) != 0;
  std::unique_ptr<TApplication> app;
  std::unique_ptr<TIdAntiFreeze> antiFreeze;
  if (responsive) {
    app = std::make_unique<TApplication>("Bench.exe");
    antiFreeze = std::make_unique<TIdAntiFreeze>();
    antiFreeze->IdleTimeOut = 10;
  }
  TBodyPeer peer(kBodySize);
  double plain = 0, handler = 0;
  bool plainFirst = true;
  for (auto _ : state) {
    if (plainFirst) {
      plain += PlainRecv(peer.Port(), kBodySize, chunk);
      handler += ThroughReadStream(peer.Port(), kBodySize);
    } else {
      handler += ThroughReadStream(peer.Port(), kBodySize);
      plain += PlainRecv(peer.Port(), kBodySize, chunk);
    }
    plainFirst = !plainFirst;
    state.SetIterationTime(0);
  }
  const double mib = static_cast<double>(kBodySize) / (1 << 20) * state.iterations();
  state.counters["recv_MiB/s"] = mib / plain;
  state.counters["ReadStream_MiB/s"] = mib / handler;
  state.counters["ratio"] = plain / handler;
}

BENCHMARK(BM_ReadStreamVsRecv)
    ->ArgNames({"recv_chunk", "responsive"})
    ->Args({32768, 0})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Iterations(6)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
