// One archive fetched as the program fetches it, with its retries and resumes: the size probe
// (Head) and the download into memory (Get) of the download client, which waits the product's
// waits between attempts. Meant to run through tools/cutting_forwarder.py.
// Usage: resume_bench <url> [attempts]   (attempts: the most made per request; 5 by default)
// Prints: seconds=<s> bytes=<n> waited=<s> retries=<n>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "base/MemoryStream.h"
#include "download/HTTPDownloadClient.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s <url> [attempts]\n", argv[0]);
    return 2;
  }
  try {
    THTTPDownloadClient client;
    if (argc == 3) client.Retry.MaxAttempts = std::atoi(argv[2]);
    int64_t waited = 0;
    int retries = 0;
    client.OnRetry = [&](const TRetryNotice& ANotice) {
      waited += ANotice.Wait;
      ++retries;
    };
    TMemoryStream body;
    const auto start = std::chrono::steady_clock::now();
    client.Head(argv[1]);
    client.Get(argv[1], body, "");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (body.Size() != client.ResponseContentLength()) {
      std::fprintf(stderr, "received %lld of %lld bytes\n", static_cast<long long>(body.Size()),
                   static_cast<long long>(client.ResponseContentLength()));
      return 1;
    }
    std::printf("seconds=%.4f bytes=%lld waited=%.3f retries=%d\n", seconds,
                static_cast<long long>(body.Size()), static_cast<double>(waited) / 1000, retries);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
