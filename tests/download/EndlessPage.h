#pragma once

// A network's sign-in page where a file was expected, as long as the server claims: the head
// the test gives, then the page and filler in pieces of 64 KiB (chunked when the head says so)
// until the announced length, a cap, or the client's close. It counts what it got out.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "http/HTTPTestSupport.h"
#include "net/LoopbackServer.h"

struct TEndlessPage {
  // The answer's status line and fields, up to the empty line.
  std::string Head;
  // How the body begins; filler follows.
  std::string Start = "<!DOCTYPE html>\n<html><head><title>Sign in</title></head><body>";
  // The bytes the body runs to, unless the client closes first.
  int64_t Length = int64_t{64} << 20;
  bool Chunked = false;
  // The body bytes the server got out (into the socket's buffers, not all read by the client).
  std::shared_ptr<std::atomic<int64_t>> Sent = std::make_shared<std::atomic<int64_t>>(0);

  // Serves the page for every GET; a HEAD gets HeadForHead.
  TLoopbackServer::TScript Script(std::string HeadForHead) const {
    return [page = *this, HeadForHead](TLoopbackPeer& peer, int) {
      for (;;) {
        const std::string request = ReadRequestHead(peer);
        if (request.find("\r\n\r\n") == std::string::npos) return;
        if (request.compare(0, 5, "HEAD ") == 0) {
          peer.Send(HeadForHead);
          continue;
        }
        page.SendBody(peer);
        return;
      }
    };
  }

 private:
  void SendBody(TLoopbackPeer& peer) const {
    peer.Send(Head);
    std::string piece = Start;
    piece.resize(65536, '.');
    for (int64_t at = 0; at < Length;) {
      const size_t n = static_cast<size_t>(std::min<int64_t>(65536, Length - at));
      if (Chunked) {
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", n);
        peer.Send(size + piece.substr(0, n) + "\r\n");
      } else {
        peer.Send(std::string_view(piece).substr(0, n));
      }
      at += static_cast<int64_t>(n);
      *Sent = at;
      piece.assign(65536, '.');
    }
    if (Chunked) peer.Send("0\r\n\r\n");
  }
};
