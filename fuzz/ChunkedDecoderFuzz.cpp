// A chunked body as a server sends it, fed to the decoder whole, in pieces, and with the data
// taken by the caller as the client takes it: each way ends alike, takes no byte past the body,
// passes on no more data than the sizes announced, and keeps its lines within the limit.
//
// Input: one byte choosing the line limit, one byte choosing the piece length (0: bytes of the
// input give each piece's length), then the message.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "http/IdChunkedDecoder.h"

namespace {

using TState = TIdChunkedDecoder::TState;

const size_t kLineLimits[] = {16384, 64, 8, 1, 0};
constexpr int kTrailerLimit = 8;

struct TRun {
  TState State;
  TIdChunkedDecoder::TFault Fault;
  std::string Data;
  std::vector<std::string> Trailer;
  size_t Taken = 0;
  uint64_t Announced = 0;  // the sizes of the chunks begun
};

bool Ended(const TIdChunkedDecoder& ADecoder) {
  return ADecoder.State() == TState::csDone || ADecoder.State() == TState::csFailed;
}

void Finish(const TIdChunkedDecoder& ADecoder, TRun& ARun) {
  ARun.State = ADecoder.State();
  ARun.Fault = ADecoder.Fault();
  ARun.Trailer = ADecoder.Trailer();
}

// Feeds the pieces one after the other; a chunk's size is counted where Feed stops before it.
TRun Fed(std::string_view AMessage, const std::vector<size_t>& APieces, size_t ALineLimit) {
  TIdChunkedDecoder decoder(ALineLimit, kTrailerLimit);
  TRun run;
  size_t at = 0;
  for (size_t piece : APieces) {
    std::string_view rest = AMessage.substr(at, piece);
    at += rest.size();
    while (!rest.empty() && !Ended(decoder)) {
      const size_t taken = decoder.Feed(rest, run.Data);
      FUZZ_CHECK(taken <= rest.size());
      FUZZ_CHECK(taken > 0 || Ended(decoder));
      // Feed stops within a chunk's data only where its piece ends; anywhere else it stops
      // right after the size line, before any of the data.
      if (decoder.State() == TState::csData && taken < rest.size())
        FUZZ_CHECK(decoder.DataRemaining() == decoder.ChunkSize() && decoder.ChunkSize() > 0);
      // Each call begins a chunk at most once, and takes some data of the one it was in.
      if (taken > 0 && decoder.State() == TState::csData &&
          decoder.DataRemaining() == decoder.ChunkSize())
        run.Announced += decoder.ChunkSize();
      rest.remove_prefix(taken);
      run.Taken += taken;
    }
  }
  Finish(decoder, run);
  return run;
}

// As the client reads: the framing fed, each chunk's data taken past the decoder.
TRun TakenByTheCaller(std::string_view AMessage, size_t ALineLimit) {
  TIdChunkedDecoder decoder(ALineLimit, kTrailerLimit);
  TRun run;
  std::string none;
  while (!AMessage.empty() && !Ended(decoder)) {
    if (decoder.State() == TState::csData) {
      const size_t count = std::min<size_t>(decoder.DataRemaining(), AMessage.size());
      run.Data.append(AMessage.substr(0, count));
      decoder.DataTaken(static_cast<uint32_t>(count));
      AMessage.remove_prefix(count);
      run.Taken += count;
      continue;
    }
    const size_t taken = decoder.Feed(AMessage, none);
    FUZZ_CHECK(none.empty());
    if (decoder.State() == TState::csData) run.Announced += decoder.ChunkSize();
    AMessage.remove_prefix(taken);
    run.Taken += taken;
  }
  Finish(decoder, run);
  return run;
}

bool Same(const TRun& A, const TRun& B) {
  return A.State == B.State && A.Fault == B.Fault && A.Data == B.Data && A.Trailer == B.Trailer &&
         A.Taken == B.Taken && A.Announced == B.Announced;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  const size_t lineLimit = kLineLimits[in.Byte() % std::size(kLineLimits)];
  const uint8_t pieceChoice = in.Byte();
  const std::string_view message = in.Rest();

  std::vector<size_t> pieces;
  if (pieceChoice == 0) {
    // The message's own bytes cut it, so the cuts move with what the fuzzer changes.
    for (size_t at = 0; at < message.size();) {
      const size_t piece = 1 + static_cast<uint8_t>(message[at]) % 17;
      pieces.push_back(piece);
      at += piece;
    }
  } else {
    for (size_t at = 0; at < message.size(); at += pieceChoice)
      pieces.push_back(pieceChoice);
  }

  const TRun whole = Fed(message, {message.size()}, lineLimit);
  FUZZ_CHECK(whole.Taken <= message.size());
  FUZZ_CHECK(whole.Data.size() <= whole.Announced);
  FUZZ_CHECK(whole.Data.size() <= whole.Taken);
  // Only what is whole, failed, or cut short by the input's end stops the decoder.
  FUZZ_CHECK(whole.Taken == message.size() || whole.State == TState::csDone ||
             whole.State == TState::csFailed);
  FUZZ_CHECK(whole.Trailer.size() <= static_cast<size_t>(kTrailerLimit));
  for (const std::string& line : whole.Trailer) {
    FUZZ_CHECK(!line.empty());
    FUZZ_CHECK(lineLimit == 0 || line.size() <= lineLimit);
    FUZZ_CHECK(line.find_first_of(std::string_view("\0\r", 2)) == std::string::npos);
  }
  FUZZ_CHECK(Same(whole, Fed(message, pieces, lineLimit)));
  FUZZ_CHECK(Same(whole, TakenByTheCaller(message, lineLimit)));
  return 0;
}
