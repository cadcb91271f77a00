// A server's answer, any bytes, read by the real client and I/O handler: status line, header
// block, interim answers, and chunked, known-length or until-close bodies, error bodies and
// redirects. The transport is a script that serves the answer in pieces whose sizes come from
// the input, so line ends, chunk sizes and body blocks fall across receive boundaries.
//
// Input: a flag byte, a byte choosing the receive block size (its low four bits) and the client's
// bound of a body (its high bit: bounded at 1 + 3 * the next three bits), a count byte and that
// many piece sizes (used in turn; 0 stands for 256), then the bytes the server sends.
//
// Checked: only the client's own failures come out; the caller's stream keeps what it held
// before, gets nothing from an error answer or a 204, never more than an announced Content-Length
// nor than one byte past the bound, and exactly what was reported as read for a body that is not
// chunked; a non-chunked body is bytes the server sent; a call that succeeds with a length
// brought all of it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <typeinfo>

#include "FuzzCheck.h"
#include "base/MemoryStream.h"
#include "base/StrUtils.h"
#include "http/IdHTTP.h"
#include "http/IdHTTPExceptions.h"
#include "net/IdExceptionCore.h"
#include "net/ScriptedIOHandler.h"

namespace {

enum : uint8_t {
  kHead = 1,             // HEAD instead of GET
  kPrefix = 2,           // the stream holds bytes before the call
  kRedirects = 4,        // follow redirects
  kUnexpectedData = 8,   // hoWaitForUnexpectedData
  kFewHeaders = 16,      // MaxHeaderLines 3 instead of 255
  kHeadThenGet = 32,     // the downloader's pair of calls on one connection
  kNoClose = 64,         // the script ends without a close: the next wait expires
  kNoHeaderBound = 128,  // MaxHeaderLines 0
};

const int kBlockSizes[] = {32768, 16, 7, 1, 4096, 3};
const std::string_view kPrefixBytes = "pre:";

// What one call's final answer announced, seen when its headers are complete.
struct TObserved {
  bool Headers = false;
  bool Chunked = false;
  int64_t ContentLength = -1;
  int Code = 0;
  bool Bracket = false;  // a read bracket opened after the final headers
  int64_t Reported = 0;  // bytes reported as read inside it
};

void Attach(TIdHTTP& http, TObserved& seen) {
  http.OnHeadersAvailable = [&seen, &http](TIdCustomHTTP*, TIdHeaderList*, bool&) {
    const TIdHTTPResponse& r = http.Response();
    seen = TObserved{};
    seen.Headers = true;
    seen.Chunked = LowerCase(r.TransferEncoding).find("chunked") != std::string::npos;
    seen.ContentLength = r.ContentLength;
    seen.Code = http.ResponseCode();
  };
  http.OnWorkBegin = [&seen](TIdComponent*, TWorkMode mode, int64_t) {
    if (mode != wmRead) return;
    seen.Bracket = true;
    seen.Reported = 0;
  };
  http.OnWork = [&seen](TIdComponent*, TWorkMode mode, int64_t count) {
    if (mode == wmRead) seen.Reported = count;
  };
}

[[noreturn]] void Unexpected(const char* what, const char* type) {
  std::fprintf(stderr, "unexpected exception %s: %s\n", type, what);
  std::abort();
}

// One call; returns the class of its failure ("" for none).
std::string Call(TIdHTTP& http, bool head, TMemoryStream& stream, bool mayTimeOut,
                 bool followsRedirects) {
  try {
    if (head)
      http.Head("http://h/periodic/Archive.zip");
    else
      http.Get("http://h/periodic/Archive.zip", stream);
    return {};
  } catch (const EIdHTTPProtocolException&) {
    return "protocol";
  } catch (const EIdConnClosedGracefully&) {
    return "closed";
  } catch (const EIdHTTPMalformedResponse&) {
    return "malformed";
  } catch (const EIdReadLnMaxLineLengthExceeded&) {
    return "long line";
  } catch (const EIdIOHandlerStreamDataTooLarge&) {
    return "too large";
  } catch (const EIdReadTimeout& e) {
    if (!mayTimeOut) Unexpected(e.what(), "EIdReadTimeout");
    return "timeout";
  } catch (const EIdException& e) {
    // A followed Location may name a target the client refuses to connect to.
    const bool target = dynamic_cast<const EIdHostRequired*>(&e) ||
                        dynamic_cast<const EIdPortRequired*>(&e) ||
                        dynamic_cast<const EIdUnknownProtocol*>(&e) ||
                        dynamic_cast<const EIdIOHandlerPropInvalid*>(&e) ||
                        dynamic_cast<const EIdHTTPUnsupportedRedirect*>(&e);
    if (!target || !followsRedirects) Unexpected(e.what(), typeid(e).name());
    return "redirect target";
  } catch (const std::exception& e) {
    Unexpected(e.what(), typeid(e).name());
  }
}

void CheckCall(const std::string& failure, bool head, TMemoryStream& stream, int64_t before,
               const TObserved& seen, std::string_view sent, int64_t bound) {
  FUZZ_CHECK(stream.Size() >= static_cast<int64_t>(kPrefixBytes.size()) || before == 0);
  FUZZ_CHECK(stream.Size() >= before);
  if (before > 0)
    FUZZ_CHECK(std::memcmp(stream.Memory(), kPrefixBytes.data(), kPrefixBytes.size()) == 0);
  const int64_t grown = stream.Size() - before;
  if (bound > 0) FUZZ_CHECK(grown <= bound + 1);
  // Error answers (redirects included) go to a scratch stream or nowhere, and so does whatever
  // a server sends after a 204.
  if (head || failure == "protocol" || !seen.Headers || seen.Code / 100 != 2 || seen.Code == 204) {
    FUZZ_CHECK(grown == 0);
    return;
  }
  if (!seen.Chunked && seen.ContentLength >= 0) FUZZ_CHECK(grown <= seen.ContentLength);
  // A body is whole or an error.
  if (failure.empty() && !seen.Chunked && seen.ContentLength >= 0)
    FUZZ_CHECK(grown == seen.ContentLength);
  if (seen.Chunked) {
    FUZZ_CHECK(grown <= seen.Reported || (grown == 0 && !seen.Bracket));
    return;
  }
  FUZZ_CHECK(grown == (seen.Bracket ? seen.Reported : 0));
  if (grown > 0) {
    const auto* body = reinterpret_cast<const char*>(stream.Memory()) + before;
    FUZZ_CHECK(sent.find(std::string_view(body, static_cast<size_t>(grown))) !=
               std::string_view::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  const uint8_t flags = in.Byte();
  const uint8_t blockAndBound = in.Byte();
  const int block = kBlockSizes[(blockAndBound & 0x0f) % std::size(kBlockSizes)];
  const int64_t bound = blockAndBound & 0x80 ? 1 + 3 * (blockAndBound >> 4 & 7) : 0;
  std::string sizes;
  for (int n = in.Byte() % 16; n > 0 && !in.Empty(); --n)
    sizes += static_cast<char>(in.Byte());
  if (sizes.empty()) sizes = std::string(1, '\0');
  const std::string_view sent = in.Rest();

  TScriptedIOHandler io;
  io.RecvBufferSize = block;
  for (size_t at = 0, i = 0; at < sent.size(); ++i) {
    const uint8_t s = static_cast<uint8_t>(sizes[i % sizes.size()]);
    const size_t piece = std::min<size_t>(s == 0 ? 256 : s, sent.size() - at);
    io.Feed(std::string(sent.substr(at, piece)));
    at += piece;
  }
  if (!(flags & kNoClose)) io.FeedClose();

  TIdHTTP http;
  http.SetIOHandler(&io);
  http.SetHandleRedirects(flags & kRedirects);
  if (flags & kUnexpectedData) http.SetHTTPOptions({hoForceEncodeParams, hoWaitForUnexpectedData});
  if (flags & kFewHeaders) http.SetMaxHeaderLines(3);
  if (flags & kNoHeaderBound) http.SetMaxHeaderLines(0);
  http.SetMaxBodySize(bound);
  TObserved seen;
  Attach(http, seen);

  TMemoryStream stream;
  if (flags & kPrefix) stream.WriteBuffer(kPrefixBytes.data(), kPrefixBytes.size());
  const bool mayTimeOut = flags & kNoClose;
  if (flags & kHeadThenGet) {
    const std::string failure = Call(http, true, stream, mayTimeOut, flags & kRedirects);
    CheckCall(failure, true, stream, stream.Size(), seen, sent, bound);
    if (failure == "timeout") {
      http.SetIOHandler(nullptr);
      return 0;
    }
  }
  const bool head = (flags & kHead) && !(flags & kHeadThenGet);
  const int64_t before = stream.Size();
  seen = TObserved{};
  const std::string failure = Call(http, head, stream, mayTimeOut, flags & kRedirects);
  CheckCall(failure, head, stream, before, seen, sent, bound);
  FUZZ_CHECK(http.Response().ContentStream() == (head ? nullptr : &stream));
  http.SetIOHandler(nullptr);
  return 0;
}
