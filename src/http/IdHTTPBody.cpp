// Reading a response: its header block, and its body (whether there is one, its framing, and
// where it goes: the caller's stream, nowhere, or the text of a protocol error).
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/Format.h"
#include "base/MemoryStream.h"
#include "base/StrUtils.h"
#include "base/StringList.h"
#include "base/TryFinally.h"
#include "http/IdCharsets.h"
#include "http/IdChunkedDecoder.h"
#include "http/IdHTTP.h"
#include "http/IdHTTPStatus.h"
#include "net/IdExceptionCore.h"
#include "net/IdGlobal.h"
#include "net/IdResourceStrings.h"
#include "net/IdTLSExceptions.h"

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

// What ends a body: its chunks, its length, only the close, or nothing the client can read.
enum class TFraming { fChunks, fLength, fClose, fUnreadable };

TFraming FramingOf(const TIdHTTPResponse& AResponse) {
  if (!UnreadableCoding(AResponse.TransferEncoding).empty()) return TFraming::fUnreadable;
  if (IsChunked(AResponse)) return TFraming::fChunks;
  if (AResponse.ContentLength > 0) return TFraming::fLength;
  return TFraming::fClose;
}

// Room for ANeeded bytes in a memory stream that grows by pieces: grown geometrically, so many
// small pieces do not copy the body each time.
void Reserve(TMemoryStream* AStream, int64_t ANeeded) {
  if (AStream && ANeeded > AStream->Capacity())
    AStream->SetCapacity(std::max(ANeeded, AStream->Capacity() + AStream->Capacity() / 2));
}

// How much of a body read until the close is asked for at a time while it is bounded.
constexpr int64_t kBoundedPiece = int64_t{1} << 20;

// A body nobody needs (a redirect's, one passed over for another attempt) is read, to keep the
// connection, only this far; the text of an error is kept this far.
constexpr int64_t kUnneededBodyLimit = 64 * 1024;
// How long the text of an error that runs to the close may pause, and how long it may take in
// all, before what came is taken: a server may keep the connection open after it, or drip it
// for ever, and nobody waits for the read time-out for a text that only explains a failure.
constexpr int kErrorTextPause = 1000;
constexpr uint32_t kErrorTextTime = 5000;

// Where a body read for nobody goes: counted, kept nowhere.
class TDiscardStream final : public TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t ACount) override {
    FPosition += ACount;
    FSize = std::max(FSize, FPosition);
    return ACount;
  }
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override {
    FPosition = SeekTarget(FPosition, FSize, AOffset, AOrigin);
    return FPosition;
  }
  int64_t Size() override { return FSize; }
  void SetSize(int64_t ANewSize) override { FSize = ANewSize; }

 private:
  int64_t FPosition = 0;
  int64_t FSize = 0;
};

// "HTTP/" and a version, a space, and a status code of three digits (then the end, or a space
// and the reason).
bool IsStatusLine(std::string_view ALine) {
  if (!StartsText("HTTP/", ALine)) return false;
  const size_t space = ALine.find(' ');
  if (space == std::string_view::npos || ALine.size() < space + 4) return false;
  for (size_t i = space + 1; i <= space + 3; ++i)
    if (ALine[i] < '0' || ALine[i] > '9') return false;
  return ALine.size() == space + 4 || ALine[space + 4] == ' ';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The value of the field at VLine as it was received (continuation lines joined by a space),
// nothing trimmed; VLine moves past it.
std::string RawValueAt(const TIdHeaderList& AHeaders, int& VLine) {
  const std::string& line = AHeaders[VLine];
  std::string value = line.substr(line.find(':') + 1);
  for (++VLine; VLine < AHeaders.Count() && !AHeaders[VLine].empty() && IsBlank(AHeaders[VLine][0]);
       ++VLine)
    value += ' ' + AHeaders[VLine];
  return value;
}

// A value of the server's as a message shows it: without the blanks around it, and cut short
// when it is long.
std::string Shown(std::string_view AValue) {
  while (!AValue.empty() && IsBlank(AValue.front()))
    AValue.remove_prefix(1);
  while (!AValue.empty() && IsBlank(AValue.back()))
    AValue.remove_suffix(1);
  constexpr size_t kShown = 64;
  return AValue.size() <= kShown ? std::string(AValue)
                                 : std::string(AValue.substr(0, kShown)) + "...";
}

}  // namespace

std::string TIdCustomHTTP::ReadProtocolLine() {
  RequireIOHandler();
  std::string line = IOHandler()->ReadLn();
  if (IOHandler()->ReadLnTimedout()) throw EIdReadTimeout(Text(RSReadTimeout));
  return line;
}

std::string TIdCustomHTTP::ReadHeadLine() {
  std::string line = ReadProtocolLine();
  // Parsers disagree on where such a line ends, or what it holds: one may take a field that
  // another passes over.
  if (line.find_first_of(std::string_view("\0\r", 2)) != std::string::npos)
    RejectResponse(Text(RSHTTPHeadControlCharacter));
  return line;
}

void TIdCustomHTTP::ReadHeaderLines(TIdHeaderList& ADest, int AMax) {
  int count = 0;
  for (std::string line = ReadHeadLine(); !line.empty(); line = ReadHeadLine()) {
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
    // A header block without its empty line is no whole answer: the length it gave, the lines
    // it had still to give, are lost.
    const bool byPeer = IOHandler() && IOHandler()->ClosedGracefully();
    DisconnectAndDropInput();
    if (byPeer) throw EIdHTTPCutOff(Text(RSHTTPHeadCutOff), 0, -1);
    throw;
  }
  response.ParseHeaders();
  CheckContentLengths(response);
}

void TIdCustomHTTP::RetrieveFinalHead(std::string AStatusLine, bool AStoreCookies) {
  TIdHTTPResponse& response = Response();
  for (;;) {
    response.SetResponseText(AStatusLine);
    if (OnStatusLine) OnStatusLine(this, AStatusLine);
    RetrieveHeaders(FMaxHeaderLines);
    if (AStoreCookies) StoreResponseCookies(Request(), response);
    const int code = response.ResponseCode();
    if (StatusClass(code) != 1 || code == Id_HTTP_SWITCHING_PROTOCOLS) return;
    // An interim answer: the final one follows, and nothing else may.
    AStatusLine = ReadHeadLine();
    if (!IsStatusLine(AStatusLine)) RejectResponse(Text(RSHTTPNoStatusAfterInterim));
  }
}

void TIdCustomHTTP::CheckContentLengths(TIdHTTPResponse& AResponse) {
  const TIdHeaderList& headers = AResponse.RawHeaders;
  // Chunks frame the body; a length beside them says nothing about it.
  const bool chunked = IsChunked(AResponse);
  std::optional<int64_t> length;
  for (int i = 0; i < headers.Count();) {
    if (!SameText(headers.GetName(i), "Content-Length")) {
      headers.SkipHeaderAt(i);
      continue;
    }
    const std::string value = RawValueAt(headers, i);
    const auto values = ContentLengthValues(value);
    if (!values) {
      // Read any other way, the body's end would be a guess.
      if (chunked) continue;
      RejectResponse(Format(RSHTTPContentLengthInvalid, Shown(value).c_str()));
    }
    for (const int64_t v : *values) {
      if (!length) length = v;
      if (v != *length)
        RejectResponse(Format(RSHTTPContentLengthsDiffer, std::to_string(*length).c_str(),
                              std::to_string(v).c_str()));
    }
  }
  if (length) {
    AResponse.ContentLength = *length;
    AResponse.HasContentLength = true;
  }
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
  if (!BodyExpected(Request(), response)) return;
  RequireIOHandler();
  // Nobody waits for a body that only the close ends, or reads one whose connection goes anyway.
  const TFraming framing = FramingOf(response);
  bool whole = false;
  if ((framing == TFraming::fChunks || framing == TFraming::fLength) &&
      !response.AsksToClose(FProtocolVersion)) {
    TDiscardStream nowhere;
    whole = ReadUnneededBody(response, nowhere);
  }
  if (!whole) DisconnectAndDropInput();
}

bool TIdCustomHTTP::ReadUnneededBody(TIdHTTPResponse& AResponse, TStream& AStream) {
  try {
    if (IsChunked(AResponse)) return ReadChunkedBody(AResponse, AStream, kUnneededBodyLimit, true);
    const int64_t count = std::min(AResponse.ContentLength, kUnneededBodyLimit);
    IOHandler()->ReadStream(AStream, count);
    return count == AResponse.ContentLength;
  } catch (const EIdConnClosedGracefully&) {
    // A body cut off, or a connection closed by the program: what came stands, the connection
    // is done.
  } catch (const EIdHTTPMalformedResponse&) {
    // Chunks that cannot be read: the connection is closed already.
  }
  return false;
}

void TIdCustomHTTP::ReadWhileArriving(TStream& AStream, int64_t ALimit) {
  TIdIOHandler& io = *IOHandler();
  TMemoryStream* memory = dynamic_cast<TMemoryStream*>(&AStream);
  const uint32_t start = Ticks();
  BeginWork(wmRead, 0);
  TryFinally(
      [&] {
        for (int64_t room = ALimit; room > 0;) {
          const uint32_t elapsed = GetTickDiff(start, Ticks());
          if (elapsed >= kErrorTextTime) return;
          const int pause =
              static_cast<int>(std::min<uint32_t>(kErrorTextPause, kErrorTextTime - elapsed));
          if (io.InputBufferIsEmpty() && !io.CheckForDataOnSource(pause)) return;
          const int64_t count = std::min<int64_t>(io.InputBuffer().Size(), room);
          // The text may come a byte at a time: its room grows by more than that.
          Reserve(memory, AStream.Position() + count);
          io.ReadStream(AStream, count);
          room -= count;
        }
      },
      [&] { EndWork(wmRead); });
}

void TIdCustomHTTP::RaiseProtocolError(int ACode, const std::vector<int16_t>& AIgnoreReplies) {
  TIdHTTPResponse& response = Response();
  TMemoryStream scratch;
  TStream* stream = response.ContentStream();
  response.SetContentStream(&scratch);
  TryFinally([&] { ReadErrorText(); }, [&] { response.SetContentStream(stream); });
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

void TIdCustomHTTP::ReadErrorText() {
  TIdHTTPResponse& response = Response();
  if (!BodyExpected(Request(), response)) return;
  RequireIOHandler();
  bool whole = false;
  ReadBodyThrough(response, [&](TStream* AStream) {
    TDiscardStream nowhere;
    TStream& stream = AStream ? *AStream : nowhere;
    switch (FramingOf(response)) {
      case TFraming::fChunks:
      case TFraming::fLength:
        whole = ReadUnneededBody(response, stream);
        break;
      case TFraming::fClose:
        try {
          ReadWhileArriving(stream, kUnneededBodyLimit);
        } catch (const EIdConnClosedGracefully&) {
          // The close ends the text.
        }
        break;
      case TFraming::fUnreadable:
        break;
    }
  });
  // The rest of a body not read to its end has no known meaning.
  if (!whole) DisconnectAndDropInput();
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
      StatusClass(code) == 1 || code == Id_HTTP_NO_CONTENT || code == Id_HTTP_NOT_MODIFIED)
    return FOptions.Contains(hoWaitForUnexpectedData) && HasPendingData(100);
  return true;
}

void TIdCustomHTTP::ReadBody(TIdHTTPRequest& ARequest, TIdHTTPResponse& AResponse) {
  if (!BodyExpected(ARequest, AResponse)) return;
  RequireIOHandler();
  ReadBodyThrough(AResponse, [&](TStream* AStream) { ReadFramedBody(AResponse, AStream); });
}

void TIdCustomHTTP::ReadBodyThrough(TIdHTTPResponse& AResponse,
                                    const std::function<void(TStream*)>& ARead) {
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
          ARead(&encoded);
          encoded.SetPosition(0);
          if (deflate)
            FCompressor->DecompressDeflateStream(encoded, *stream);
          else
            FCompressor->DecompressGZipStream(encoded, *stream);
        } else {
          ARead(stream);
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
  TDiscardStream nowhere;
  TStream& stream = AStream ? *AStream : nowhere;
  const int64_t start = stream.Position();
  const int64_t bound = AStream ? FMaxBodySize : 0;
  const bool chunked = IsChunked(AResponse);
  try {
    if (chunked) {
      ReadChunkedBody(AResponse, stream, bound, false);
    } else if (AResponse.ContentLength > 0) {
      if (bound > 0 && AResponse.ContentLength > bound) RejectLargeBody();
      io.ReadStream(stream, AResponse.ContentLength);
    } else {
      if (bound > 0)
        ReadBoundedUntilClose(stream);
      else if (AStream)
        io.ReadStream(stream, -1, true);
      else
        io.DiscardAll();
      // Only the close ends such a body: on a secure connection it must be the server's
      // goodbye, or anyone on the way may have cut the body short.
      if (io.ClosedGracefully() && io.StreamCutOff()) {
        const int64_t received = stream.Position() - start;
        DisconnectAndDropInput();
        throw EIdTLSCutOff(received);
      }
    }
  } catch (const EIdConnClosedGracefully&) {
    // Closed by the program (a close of the window, from a wait or from a work handler): a body
    // of known length ends where it stands, quietly; a chunked one reports the close.
    if (!io.ClosedGracefully()) {
      if (chunked) throw;
      return;
    }
    // Closed by the server before the framing's end: the body is cut off.
    const int64_t received = stream.Position() - start;
    DisconnectAndDropInput();
    if (chunked) throw EIdHTTPCutOff(Text(RSConnectionClosedGracefully), received, -1);
    throw EIdHTTPCutOff(Format(RSHTTPBodyCutOff, static_cast<long long>(received),
                               static_cast<long long>(AResponse.ContentLength)),
                        received, AResponse.ContentLength);
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

bool TIdCustomHTTP::ReadChunkedBody(TIdHTTPResponse& AResponse, TStream& AStream, int64_t ALimit,
                                    bool AStopAtLimit) {
  DoStatus(hsStatusText, RSHTTPChunkStarted);
  BeginWork(wmRead, 0);
  bool whole = false;
  TryFinally(
      [&] {
        TIdIOHandler& io = *IOHandler();
        TMemoryStream* memory = dynamic_cast<TMemoryStream*>(&AStream);
        const int64_t start = AStream.Position();
        TIdChunkedDecoder chunks(static_cast<size_t>(std::max(io.MaxLineLength, 0)),
                                 FMaxHeaderLines);
        for (;;) {
          switch (chunks.State()) {
            case TIdChunkedDecoder::TState::csData: {
              // The decoder stops before each chunk's data: all of it is still to come.
              const uint32_t size = chunks.DataRemaining();
              if (ALimit > 0 && size > ALimit - (AStream.Position() - start)) {
                if (AStopAtLimit) return;
                RejectLargeBody();
              }
              // A chunk's claimed size reserves no more than a body's announced length would.
              if (memory)
                Reserve(memory, memory->Position() + std::min<int64_t>(size, IdStreamPresizeLimit));
              io.ReadStream(AStream, size);
              chunks.DataTaken(size);
              break;
            }
            case TIdChunkedDecoder::TState::csDone:
              whole = true;
              return;
            case TIdChunkedDecoder::TState::csFailed:
              RejectChunks(chunks);
            case TIdChunkedDecoder::TState::csSizeLine:
            case TIdChunkedDecoder::TState::csDataEnd:
            case TIdChunkedDecoder::TState::csTrailer:
              FeedChunkFraming(chunks, AResponse);
              break;
          }
        }
      },
      [&] { EndWork(wmRead); });
  return whole;
}

void TIdCustomHTTP::FeedChunkFraming(TIdChunkedDecoder& AChunks, TIdHTTPResponse& AResponse) {
  TIdIOHandler& io = *IOHandler();
  if (io.InputBufferIsEmpty()) {
    io.CheckForDisconnect(true, true);
    if (io.ReceiveIntoBuffer(true, IdTimeoutDefault, false) == -1)
      throw EIdReadTimeout(Text(RSReadTimeout));
    if (io.InputBufferIsEmpty()) return;
  }
  TIdBuffer& buffer = io.InputBuffer();
  std::string data;  // stays empty: the decoder stops before a chunk's data
  const size_t taken = AChunks.Feed(
      std::string_view(reinterpret_cast<const char*>(buffer.Data()), buffer.Size()), data);
  // Removing the bytes counts them as read work, as reading them as lines would.
  buffer.Remove(static_cast<int>(taken));
  for (const std::string& line : AChunks.TakeTrailer())
    AResponse.RawHeaders.Add(io.DefStringEncoding->GetString(
        reinterpret_cast<const uint8_t*>(line.data()), line.size()));
}

void TIdCustomHTTP::RejectChunks(const TIdChunkedDecoder& AChunks) {
  // Bytes after framing that cannot be read have no known meaning: the connection is done.
  switch (AChunks.Fault()) {
    case TIdChunkedDecoder::TFault::cfSizeNotHex:
      RejectResponse(Text(RSHTTPChunkSizeNotHex));
    case TIdChunkedDecoder::TFault::cfSizeOutOfRange:
      RejectResponse(Text(RSHTTPChunkSizeOutOfRange));
    case TIdChunkedDecoder::TFault::cfDataNotEnded:
      RejectResponse(Text(RSHTTPChunkNotEnded));
    case TIdChunkedDecoder::TFault::cfTrailerControl:
      RejectResponse(Text(RSHTTPHeadControlCharacter));
    case TIdChunkedDecoder::TFault::cfTrailerTooLong:
      RejectResponse(Format(RSHTTPHeaderLinesExceeded, FMaxHeaderLines));
    case TIdChunkedDecoder::TFault::cfLineTooLong:
    case TIdChunkedDecoder::TFault::cfNone:  // never asked: only a failed decoder comes here
      break;
  }
  // A line past the limit fails as a line of the head does.
  DisconnectAndDropInput();
  throw EIdReadLnMaxLineLengthExceeded(Text(RSReadLnMaxLineLengthExceeded));
}

void TIdCustomHTTP::RejectLargeBody() {
  RejectResponse(Format(RSHTTPBodyTooLarge, static_cast<long long>(FMaxBodySize)));
}
