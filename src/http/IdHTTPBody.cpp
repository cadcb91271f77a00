// Reading a response: its header block, and its body (whether there is one, its framing, and
// where it goes: the caller's stream, nowhere, or the text of a protocol error).
#include <algorithm>
#include <memory>

#include "base/Format.h"
#include "base/MemoryStream.h"
#include "base/StrUtils.h"
#include "base/StringList.h"
#include "base/TryFinally.h"
#include "http/IdCharsets.h"
#include "http/IdHTTP.h"
#include "net/IdExceptionCore.h"
#include "net/IdGlobal.h"
#include "net/IdResourceStrings.h"

namespace {

bool IsChunked(const TIdHTTPResponse& AResponse) {
  return LowerCase(AResponse.TransferEncoding).find("chunked") != std::string::npos;
}

// The first transfer coding of the list that the client cannot undo; empty when the body is
// plain or chunked once ("identity", the absence of a coding, is passed over).
std::string UnreadableCoding(std::string ACodings) {
  bool chunked = false;
  while (!ACodings.empty()) {
    const std::string coding = LowerCase(Trim(Fetch(ACodings, ',')));
    if (coding.empty() || coding == "identity") continue;
    if (coding != "chunked" || chunked) return coding;
    chunked = true;
  }
  return {};
}

// Room for ANeeded bytes in a memory stream that grows by pieces: grown geometrically, so many
// small pieces do not copy the body each time.
void Reserve(TMemoryStream* AStream, int64_t ANeeded) {
  if (AStream && ANeeded > AStream->Capacity())
    AStream->SetCapacity(std::max(ANeeded, AStream->Capacity() + AStream->Capacity() / 2));
}

// How much of a body read until the close is asked for at a time while it is bounded.
constexpr int64_t kBoundedPiece = int64_t{1} << 20;

}  // namespace

std::string TIdCustomHTTP::ReadProtocolLine() {
  RequireIOHandler();
  std::string line = IOHandler()->ReadLn();
  if (IOHandler()->ReadLnTimedout()) throw EIdReadTimeout(RSReadTimeout);
  return line;
}

void TIdCustomHTTP::ReadHeaderLines(TIdHeaderList& ADest, int AMax) {
  int count = 0;
  for (std::string line = ReadProtocolLine(); !line.empty(); line = ReadProtocolLine()) {
    if (AMax > 0 && count == AMax) RejectResponse(Format(RSHTTPHeaderLinesExceeded, AMax));
    ADest.Add(line);
    ++count;
  }
}

void TIdCustomHTTP::RetrieveHeaders(int AMaxHeaderCount) {
  TIdHTTPResponse& response = Response();
  response.Clear();
  try {
    ReadHeaderLines(response.RawHeaders, AMaxHeaderCount);
  } catch (const EIdConnClosedGracefully&) {
    // The lines read so far stand; a line cut by the close is neither header nor body.
    DisconnectAndDropInput();
  }
  response.ParseHeaders();
  CheckContentLengths(response);
}

void TIdCustomHTTP::CheckContentLengths(TIdHTTPResponse& AResponse) {
  TStringList lengths;
  AResponse.RawHeaders.Extract("Content-Length", &lengths);
  for (const std::string& length : lengths)
    if (StrToInt64Def(Trim(length), -1) != AResponse.ContentLength)
      RejectResponse(Format(RSHTTPContentLengthsDiffer, std::string(Trim(lengths[0])).c_str(),
                            std::string(Trim(length)).c_str()));
}

void TIdCustomHTTP::StoreResponseCookies(TIdHTTPRequest&, TIdHTTPResponse& AResponse) {
  if (!FCookieManager && FAllowCookies) {
    FOwnedCookieManager = std::make_unique<TIdCookieManager>();
    FCookieManager = FOwnedCookieManager.get();
    FImplicitCookieManager = true;
  }
  if (!FCookieManager || !FAllowCookies) return;
  TStringList cookies;
  AResponse.RawHeaders.Extract("Set-Cookie", &cookies);
  AResponse.MetaHTTPEquiv().RawHeaders.Extract("Set-Cookie", &cookies);
  FCookieManager->AddServerCookies(cookies, *FURI);
}

void TIdCustomHTTP::DisconnectAndDropInput() {
  Disconnect();
  if (IOHandler()) IOHandler()->InputBuffer().Clear();
}

void TIdCustomHTTP::RejectResponse(const std::string& AMessage) {
  DisconnectAndDropInput();
  throw EIdHTTPMalformedResponse(AMessage);
}

void TIdCustomHTTP::SkipBody() {
  TIdHTTPResponse& response = Response();
  TStream* stream = response.ContentStream();
  response.SetContentStream(nullptr);
  TryFinally([&] { ReadBody(Request(), response); }, [&] { response.SetContentStream(stream); });
}

void TIdCustomHTTP::RaiseProtocolError(int ACode, const std::vector<int16_t>& AIgnoreReplies) {
  TIdHTTPResponse& response = Response();
  TMemoryStream scratch;
  TStream* stream = response.ContentStream();
  response.SetContentStream(&scratch);
  TryFinally([&] { ReadBody(Request(), response); }, [&] { response.SetContentStream(stream); });
  if (FOptions.Contains(hoNoProtocolErrorException) ||
      std::find(AIgnoreReplies.begin(), AIgnoreReplies.end(), ACode) != AIgnoreReplies.end())
    return;

  const std::string media = response.MediaType();
  const bool xml = media == "application/xml" ||
                   media == "application/xml-external-parsed-entity" ||
                   media == "application/xml-dtd" ||
                   (media.compare(0, 5, "text/") != 0 && EndsText("+xml", media));
  const uint8_t* bytes = scratch.Memory();
  const size_t count = static_cast<size_t>(scratch.Size());
  const std::string charset = xml ? XmlBodyCharset(bytes, count) : response.CharSet;
  throw EIdHTTPProtocolException::CreateError(ACode, response.ResponseText(),
                                              DecodeCharset(bytes, count, charset));
}

bool TIdCustomHTTP::HasPendingData(int ATimeout) {
  TIdIOHandler* io = IOHandler();
  if (!io) return false;
  if (io->InputBufferIsEmpty()) io->CheckForDataOnSource(ATimeout);
  return !io->InputBufferIsEmpty();
}

bool TIdCustomHTTP::BodyExpected(TIdHTTPRequest& ARequest, TIdHTTPResponse& AResponse) {
  if (!IsChunked(AResponse) && AResponse.ContentLength <= 0 && AResponse.HasContentLength)
    return false;
  const int code = AResponse.ResponseCode();
  if (SameText(ARequest.Method, "HEAD") || SameText(ARequest.MethodOverride, "HEAD") ||
      code / 100 == 1 || code == 204 || code == 304)
    return FOptions.Contains(hoWaitForUnexpectedData) && HasPendingData(100);
  if (code / 100 == 3) return HasPendingData(5000);
  return true;
}

void TIdCustomHTTP::ReadBody(TIdHTTPRequest& ARequest, TIdHTTPResponse& AResponse) {
  if (!BodyExpected(ARequest, AResponse)) return;
  RequireIOHandler();
  TStream* target = AResponse.ContentStream();
  const std::string media = AResponse.MediaType();
  const bool scanMeta =
      target && !FOptions.Contains(hoNoParseMetaHTTPEquiv) &&
      (media == "text/html" || media == "text/html-sandboxed" || media == "application/xhtml+xml");
  // The scan reads the page from memory.
  std::unique_ptr<TMemoryStream> page;
  if (scanMeta && !dynamic_cast<TMemoryStream*>(target)) page = std::make_unique<TMemoryStream>();
  TStream* stream = page ? page.get() : target;
  const int64_t bodyStart = stream ? stream->Position() : 0;

  const bool deflate = SameText(AResponse.ContentEncoding, "deflate");
  const bool decode = stream && FCompressor && FCompressor->IsReady() &&
                      (deflate || SameText(AResponse.ContentEncoding, "gzip"));
  TryFinally(
      [&] {
        if (decode) {
          TMemoryStream encoded;
          ReadFramedBody(AResponse, &encoded);
          encoded.SetPosition(0);
          if (deflate)
            FCompressor->DecompressDeflateStream(encoded, *stream);
          else
            FCompressor->DecompressGZipStream(encoded, *stream);
        } else {
          ReadFramedBody(AResponse, stream);
        }
        if (scanMeta && AResponse.MetaHTTPEquiv().ProcessMetaHTTPEquiv(*stream, bodyStart)) {
          TIdHeaderList& found = AResponse.MetaHTTPEquiv().RawHeaders;
          for (int i = 0; i < found.Count();) {
            const std::string name = found.GetName(i);
            const std::string value = found.ValueAtLine(i);  // moves i past the header's lines
            if (!name.empty()) AResponse.RawHeaders.SetValue(name, value);
          }
          AResponse.ParseHeaders();
        }
      },
      [&] {
        if (page) {
          page->SetPosition(0);
          if (page->Size() > 0) target->CopyFrom(*page, page->Size());
        }
      });
}

void TIdCustomHTTP::ReadFramedBody(TIdHTTPResponse& AResponse, TStream* AStream) {
  TIdIOHandler& io = *IOHandler();
  // Bytes of a coding the client cannot undo would reach the caller as if they were the body.
  const std::string coding = UnreadableCoding(AResponse.TransferEncoding);
  if (!coding.empty()) RejectResponse(Format(RSHTTPTransferCodingUnknown, coding.c_str()));
  const bool bounded = AStream && FMaxBodySize > 0;
  if (IsChunked(AResponse)) {
    ReadChunkedBody(AResponse, AStream);
  } else if (AResponse.ContentLength > 0) {
    if (bounded && AResponse.ContentLength > FMaxBodySize) RejectLargeBody();
    try {
      if (AStream)
        io.ReadStream(*AStream, AResponse.ContentLength);
      else
        io.Discard(AResponse.ContentLength);
    } catch (const EIdConnClosedGracefully&) {
      // A peer (or a work handler) that closed early leaves a short body, not a failure.
    }
  } else if (bounded) {
    ReadBoundedUntilClose(*AStream);
  } else if (AStream) {
    io.ReadStream(*AStream, -1, true);
  } else {
    io.DiscardAll();
  }
}

// Read as pieces of known length, each within what the bound still allows plus one byte: a
// piece that arrives whole past the bound shows the body is too large.
void TIdCustomHTTP::ReadBoundedUntilClose(TStream& AStream) {
  TIdIOHandler& io = *IOHandler();
  TMemoryStream* memory = dynamic_cast<TMemoryStream*>(&AStream);
  BeginWork(wmRead, 0);
  TryFinally(
      [&] {
        for (int64_t room = FMaxBodySize; room >= 0;) {
          const int64_t piece = std::min(room + 1, kBoundedPiece);
          Reserve(memory, AStream.Position() + piece);
          try {
            io.ReadStream(AStream, piece);
          } catch (const EIdConnClosedGracefully&) {
            return;  // the close ends the body
          }
          room -= piece;
        }
        RejectLargeBody();
      },
      [&] { EndWork(wmRead); });
}

void TIdCustomHTTP::ReadChunkedBody(TIdHTTPResponse& AResponse, TStream* AStream) {
  DoStatus(hsStatusText, RSHTTPChunkStarted);
  BeginWork(wmRead, 0);
  TryFinally(
      [&] {
        TIdIOHandler& io = *IOHandler();
        TMemoryStream* memory = dynamic_cast<TMemoryStream*>(AStream);
        const int64_t start = AStream ? AStream->Position() : 0;
        for (uint32_t size = ReadChunkSize(); size != 0; size = ReadChunkSize()) {
          if (AStream && FMaxBodySize > 0 && size > FMaxBodySize - (AStream->Position() - start))
            RejectLargeBody();
          // A chunk's claimed size reserves no more than a body's announced length would.
          if (memory)
            Reserve(memory, memory->Position() + std::min<int64_t>(size, IdStreamPresizeLimit));
          if (AStream)
            io.ReadStream(*AStream, size);
          else
            io.Discard(size);
          ReadProtocolLine();  // the line end after the data
        }
        ReadHeaderLines(AResponse.RawHeaders, FMaxHeaderLines);  // the trailer
      },
      [&] { EndWork(wmRead); });
}

void TIdCustomHTTP::RejectLargeBody() {
  RejectResponse(Format(RSHTTPBodyTooLarge, static_cast<long long>(FMaxBodySize)));
}

uint32_t TIdCustomHTTP::ReadChunkSize() {
  const std::string line = ReadProtocolLine();
  // Extensions after ";" are ignored.
  const std::string_view digits = Trim(std::string_view(line).substr(0, line.find(';')));
  // Bytes after an unreadable size have no known meaning: the connection is done.
  if (digits.empty()) RejectResponse(RSHTTPChunkSizeNotHex);
  uint64_t size = 0;
  for (char c : digits) {
    const int d = HexValue(c);
    if (d < 0) RejectResponse(RSHTTPChunkSizeNotHex);
    size = size * 16 + static_cast<uint64_t>(d);
    if (size > UINT32_MAX) RejectResponse(RSHTTPChunkSizeOutOfRange);
  }
  return static_cast<uint32_t>(size);
}
