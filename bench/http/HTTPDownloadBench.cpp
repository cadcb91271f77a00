// The downloader's two requests for one archive, timed: Head for the size, then Get of the
// body into a memory stream, on one client over the program's handler (TLS for an "https" URL,
// checked against the trust store OpenSSL is given, e.g. through SSL_CERT_FILE), through the
// proxy the environment names as the program would (http_proxy, https_proxy, no_proxy). Prints
// "<seconds> <bytes> <peak RSS KiB>".
// Usage: http_download_bench <url>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "base/MemoryStream.h"
#include "http/IdHTTP.h"
#include "http/proxy/IdSystemProxy.h"
#include "net/IdSSLIOHandlerSocket.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <url>\n", argv[0]);
    return 2;
  }
  try {
    TIdSSLIOHandlerSocket handler;
    TIdHTTP http;
    http.SetIOHandler(&handler);
    const std::unique_ptr<TIdProxyResolver> proxy = CreateSystemProxyResolver();
    http.OnSelectProxy = [&proxy](TIdCustomHTTP*, const TIdURI& AURI,
                                  TIdProxyConnectionInfo& AProxyParams) {
      const TIdProxyServer server = proxy->ProxyFor(AURI);
      AProxyParams.ProxyServer = server.Host;
      AProxyParams.ProxyPort = server.Port;
    };
    TMemoryStream body;
    const auto start = std::chrono::steady_clock::now();
    http.Head(argv[1]);
    const int64_t announced = http.Response().ContentLength;
    http.Get(argv[1], body);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (body.Size() != announced) {
      std::fprintf(stderr, "received %lld of %lld bytes\n", static_cast<long long>(body.Size()),
                   static_cast<long long>(announced));
      return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.4f %lld %ld\n", seconds, static_cast<long long>(body.Size()), usage.ru_maxrss);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
