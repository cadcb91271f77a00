#pragma once

// A scripted distribution server that serves one file with ranges, as a real server would
// (Range "bytes=N-" answered 206 when If-Range matches the copy's validator), and breaks each
// connection as the test plans it: a cut after so many body bytes, a silence, a status instead
// of the file, a range ignored, a trickle. Files beside it (a signature) are served whole, by
// their request target. It writes down each request it was sent, in short. It plays the client's
// clock too: a trickle moves it on as it sends, a piece at a time, each once the client has read
// the clock since the last.

#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "http/HTTPTestSupport.h"
#include "net/LoopbackServer.h"

// One copy of the file (a server whose file changes serves another copy later).
struct TServedCopy {
  std::string Body;
  std::string ETag;          // sent when not empty
  std::string LastModified;  // sent when not empty
  std::string Date;          // sent when not empty
};

// What one connection does; the last plan repeats for the connections after it.
struct TConnectionPlan {
  int64_t CutAfter = -1;  // body bytes sent before the connection is closed (-1: all of it)
  bool Stall = false;     // at CutAfter, fall silent until the client closes instead
  bool Chunked = false;   // the body in chunks of 10000 bytes
  bool IgnoreRange = false;
  bool IgnoreIfRange = false;  // continues a range whatever validator was sent
  size_t Copy = 0;             // the copy served
  std::string Answer;      // answers a GET (of the file or one beside it) with these bytes instead
  std::string HeadStatus;  // answers a HEAD with this status instead of the file's
  std::string ContentRange;  // sent with a 206 instead of the right one
  // From CutAfter on, the body goes in pieces of TrickleBytes, each after the played clock moved
  // on by TrickleEvery ms, until it is sent or TrickleTime has passed on that clock; then silence
  // until the client closes. The next piece waits for the client to read the clock (at its
  // receive of this one), so the clock never runs ahead of the bytes however busy the machine.
  int TrickleBytes = 0;
  uint64_t TrickleEvery = 0;
  uint64_t TrickleTime = 0;
  bool HeadWithoutLength = false;  // answers a HEAD with the file's fields but no length
};

// The server's script, for a loopback server of the caller's.
class TResumableScript {
 public:
  // beside: files served whole by their request target ("/periodic/x.sig"), which any other
  // target does not name.
  TResumableScript(std::vector<TServedCopy> copies, std::vector<TConnectionPlan> plans,
                   std::map<std::string, std::string> beside = {})
      : FState(std::make_shared<TState>()) {
    FState->Copies = std::move(copies);
    FState->Plans = std::move(plans);
    FState->Beside = std::move(beside);
  }
  TLoopbackServer::TScript Script() const {
    return [state = FState](TLoopbackPeer& peer, int index) { Serve(*state, peer, index); };
  }
  // Each request as "HEAD", "GET" or "GET bytes=N- If-Range=<value>" (the range and validator
  // as sent); one of a file beside as "GET <target>".
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(FState->Lock);
    return FState->Requests;
  }
  // The request heads as they came.
  std::vector<std::string> Heads() {
    std::lock_guard<std::mutex> lock(FState->Lock);
    return FState->Heads;
  }
  // The played clock, in ms: it moves only while a trickle is sent.
  std::function<uint64_t()> PlayedClock() const {
    return [state = FState] {
      ++state->ClockReads;
      return state->Clock.load();
    };
  }

 private:
  struct TState {
    std::vector<TServedCopy> Copies;
    std::vector<TConnectionPlan> Plans;
    std::map<std::string, std::string> Beside;
    std::mutex Lock;
    std::vector<std::string> Requests;
    std::vector<std::string> Heads;
    std::atomic<uint64_t> Clock{0};
    std::atomic<uint64_t> ClockReads{0};
  };

  static std::string FieldOf(const std::string& head, const std::string& name) {
    const std::string key = "\r\n" + name + ": ";
    const size_t at = head.find(key);
    if (at == std::string::npos) return {};
    const size_t start = at + key.size();
    return head.substr(start, head.find("\r\n", start) - start);
  }

  static std::string Chunked(const std::string& body) {
    std::string out;
    for (size_t at = 0; at < body.size(); at += 10000) {
      const std::string piece = body.substr(at, 10000);
      char size[16];
      std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
      out += size + piece + "\r\n";
    }
    return out + "0\r\n\r\n";
  }

  static void Serve(TState& state, TLoopbackPeer& peer, int index) {
    const TConnectionPlan& plan =
        state.Plans[std::min(static_cast<size_t>(index), state.Plans.size() - 1)];
    const TServedCopy& copy = state.Copies[plan.Copy];
    for (;;) {
      const std::string head = ReadRequestHead(peer);
      if (head.find("\r\n\r\n") == std::string::npos) return;
      const bool isHead = head.compare(0, 5, "HEAD ") == 0;
      const std::string range = FieldOf(head, "Range");
      const std::string ifRange = FieldOf(head, "If-Range");
      const size_t targetAt = head.find(' ') + 1;
      const auto beside =
          state.Beside.find(head.substr(targetAt, head.find(' ', targetAt) - targetAt));
      const bool isBeside = !isHead && beside != state.Beside.end();
      {
        std::lock_guard<std::mutex> lock(state.Lock);
        state.Heads.push_back(head);
        std::string summary = isHead ? "HEAD" : "GET";
        if (isBeside) summary += " " + beside->first;
        if (!range.empty()) summary += " " + range;
        if (!ifRange.empty()) summary += " If-Range=" + ifRange;
        state.Requests.push_back(summary);
      }
      std::string fields;
      if (!copy.ETag.empty()) fields += "ETag: " + copy.ETag + "\r\n";
      if (!copy.LastModified.empty()) fields += "Last-Modified: " + copy.LastModified + "\r\n";
      if (!copy.Date.empty()) fields += "Date: " + copy.Date + "\r\n";
      const std::string length = std::to_string(copy.Body.size());

      if (isHead) {
        if (!plan.HeadStatus.empty()) {
          peer.Send("HTTP/1.1 " + plan.HeadStatus + "\r\nContent-Length: 0\r\n\r\n");
          continue;
        }
        if (plan.HeadWithoutLength) {
          peer.Send("HTTP/1.1 200 OK\r\n" + fields + "\r\n");
          continue;
        }
        peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n" + fields + "\r\n");
        continue;
      }
      if (!plan.Answer.empty()) {
        peer.Send(plan.Answer);
        continue;
      }
      if (isBeside) {
        peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(beside->second.size()) +
                  "\r\n\r\n" + beside->second);
        continue;
      }

      // Which bytes: a range asked for "bytes=N-" (or "bytes=0-0") is served when the
      // validator sent is the copy's, as If-Range wants.
      int64_t from = 0;
      int64_t to = static_cast<int64_t>(copy.Body.size()) - 1;
      bool partial = false;
      if (!range.empty() && !plan.IgnoreRange) {
        const bool valid = ifRange.empty() || plan.IgnoreIfRange || ifRange == copy.ETag ||
                           ifRange == copy.LastModified;
        long long first = 0, last = -1;
        if (valid && std::sscanf(range.c_str(), "bytes=%lld-%lld", &first, &last) >= 1) {
          if (first >= static_cast<int64_t>(copy.Body.size())) {
            peer.Send("HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + length +
                      "\r\nContent-Length: 0\r\n\r\n");
            continue;
          }
          from = first;
          if (last >= 0) to = std::min<int64_t>(last, to);
          partial = true;
        }
      }
      const std::string body =
          copy.Body.substr(static_cast<size_t>(from), static_cast<size_t>(to - from + 1));
      std::string answer = partial ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
      if (partial)
        answer += "Content-Range: " +
                  (plan.ContentRange.empty()
                       ? "bytes " + std::to_string(from) + "-" + std::to_string(to) + "/" + length
                       : plan.ContentRange) +
                  "\r\n";
      answer += fields;
      answer += plan.Chunked ? std::string("Transfer-Encoding: chunked\r\n")
                             : "Content-Length: " + std::to_string(body.size()) + "\r\n";
      answer += "\r\n";
      const std::string framed = plan.Chunked ? Chunked(body) : body;
      if (plan.CutAfter < 0) {
        peer.Send(answer + framed);
        continue;
      }
      // The cut, counted in body bytes (inside a chunk's data when chunked).
      size_t sent = static_cast<size_t>(plan.CutAfter);
      // Each whole chunk before adds its size line ("2710\r\n") and its line end, and the chunk
      // cut into its size line.
      if (plan.Chunked) sent += sent / 10000 * 8 + 6;
      peer.Send(answer + framed.substr(0, std::min(sent, framed.size())));
      for (uint64_t played = 0; plan.TrickleBytes > 0 && sent < framed.size() &&
                                played + plan.TrickleEvery <= plan.TrickleTime;
           played += plan.TrickleEvery) {
        // The clock moves before the bytes go, so the client reads it moved when they come.
        state.Clock += plan.TrickleEvery;
        const uint64_t reads = state.ClockReads;
        peer.Send(framed.substr(sent, static_cast<size_t>(plan.TrickleBytes)));
        sent += static_cast<size_t>(plan.TrickleBytes);
        // A client that gave up reads no more: its close ends the trickle at the next piece.
        for (int waited = 0; state.ClockReads == reads && waited < 500; ++waited)
          peer.Pause(1);
      }
      // A trickle that brought the whole body leaves the connection to the next request.
      if (plan.TrickleBytes > 0 && sent >= framed.size()) continue;
      if (plan.Stall || plan.TrickleBytes > 0) peer.ReceiveUntilClosed();
      return;
    }
  }

  std::shared_ptr<TState> FState;
};

// The script on a loopback server of its own.
class TResumableServer : public TResumableScript {
 public:
  TResumableServer(std::vector<TServedCopy> copies, std::vector<TConnectionPlan> plans)
      : TResumableScript(std::move(copies), std::move(plans)),
        FServer(std::make_unique<TLoopbackServer>(Script())) {}
  uint16_t Port() const { return FServer->Port(); }
  int Accepted() const { return FServer->Accepted(); }
  std::string URL() const {
    return "http://127.0.0.1:" + std::to_string(Port()) + "/periodic/Archive_x64-stable.zip";
  }

 private:
  std::unique_ptr<TLoopbackServer> FServer;
};
