// The downloader's two requests for one archive, timed: Head for the size, then Get of the
// body into a memory stream (or, with "file", into a temporary file in the temporary folder, as
// the program takes an archive past its memory limit), on one client over the program's handler
// (TLS for an "https" URL, checked against the trust store OpenSSL is given, e.g. through
// SSL_CERT_FILE), through the proxy the environment names as the program would (http_proxy,
// https_proxy, no_proxy). Prints "<seconds> <bytes> <peak RSS KiB> <CPU seconds>".
// Usage: http_download_bench <url> [memory|file]

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "ProcessUsage.h"
#include "base/FileSystem.h"
#include "base/MemoryStream.h"
#include "base/TemporaryFileStream.h"
#include "http/IdHTTP.h"
#include "http/proxy/IdSystemProxy.h"
#include "net/IdSSLIOHandlerSocket.h"

int main(int argc, char** argv) {
  const bool toFile = argc == 3 && std::strcmp(argv[2], "file") == 0;
  if (argc < 2 || argc > 3 || (argc == 3 && !toFile && std::strcmp(argv[2], "memory") != 0)) {
    std::fprintf(stderr, "usage: %s <url> [memory|file]\n", argv[0]);
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
    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    http.Head(argv[1]);
    const int64_t announced = http.Response().ContentLength;
    // Made before the download, as the program makes it.
    std::unique_ptr<TStream> stream;
    if (toFile)
      stream = std::make_unique<TTemporaryFileStream>(GetTempFolder());
    else
      stream = std::make_unique<TMemoryStream>();
    TStream& body = *stream;
    http.Get(argv[1], body);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (body.Size() != announced) {
      std::fprintf(stderr, "received %lld of %lld bytes\n", static_cast<long long>(body.Size()),
                   static_cast<long long>(announced));
      return 1;
    }
    std::printf("%.4f %lld %ld %.4f\n", seconds, static_cast<long long>(body.Size()), PeakRssKiB(),
                CpuSeconds() - cpuBefore);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
