// The download client's retries and resumes against a scripted server that breaks connections
// where the test says: the body must arrive byte for byte, with the ranges and validators a
// careful client asks for, after the waits it should make (taken from the notices, not slept).

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/Format.h"
#include "base/MemoryStream.h"
#include "base/Texts.h"
#include "download/DownloadErrors.h"
#include "download/EndlessPage.h"
#include "download/HTTPDownloadClient.h"
#include "download/LowSpeedWatch.h"
#include "download/ResumableServer.h"

namespace {

// A file of n bytes that differs from the other copies of the same length (the seed).
std::string File(size_t n, unsigned seed = 1) {
  std::string out(n, '\0');
  uint32_t x = seed * 2654435761u;
  for (char& c : out) {
    x = x * 1103515245 + 12345;
    c = static_cast<char>(x >> 23);
  }
  return out;
}

constexpr size_t kSize = 200000;
const std::string kDate = "Tue, 15 Nov 1994 08:12:31 GMT";
// Twelve minutes before kDate: a strong validator.
const std::string kEarlier = "Tue, 15 Nov 1994 08:00:00 GMT";

TServedCopy WithETag(const std::string& etag, unsigned seed = 1, size_t size = kSize) {
  return {File(size, seed), etag, "", kDate};
}

std::string Text(TMemoryStream& s) {
  return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

TConnectionPlan Cut(int64_t at) {
  TConnectionPlan plan;
  plan.CutAfter = at;
  return plan;
}

class DownloadRetries : public ::testing::Test {
 protected:
  void SetUp() override {
    client.Random = [] { return 0.5; };  // every wait 10% longer than its base
    client.OnRetry = [this](const TRetryNotice& n) { notices.push_back(n); };
    client.OnRetryWait = [this](const TRetryNotice& n) {
      waits.push_back(n.Wait);
      return true;
    };
    client.OnWork = [this](int64_t count) { counts.push_back(count); };
  }

  // The server, which outlives the client: its scripts see the client's close. It plays the
  // client's clock.
  TResumableServer& Serve(std::vector<TServedCopy> copies, std::vector<TConnectionPlan> plans) {
    served = std::make_unique<TResumableServer>(std::move(copies), std::move(plans));
    client.Clock = served->PlayedClock();
    return *served;
  }
  void Download(TResumableServer& server) {
    client.Head(server.URL());
    client.Get(server.URL(), body, "");
  }

  // The bar's positions: never backwards, except to 0 when the bytes held are thrown away.
  void ExpectCountsGrowOrRestart(size_t restarts) {
    size_t seen = 0;
    for (size_t i = 1; i < counts.size(); ++i) {
      if (counts[i] >= counts[i - 1]) continue;
      EXPECT_EQ(counts[i], 0) << "from " << counts[i - 1] << " at " << i;
      ++seen;
    }
    EXPECT_EQ(seen, restarts);
  }

  std::unique_ptr<TResumableServer> served;
  THTTPDownloadClient client;
  TMemoryStream body;
  std::vector<TRetryNotice> notices;
  std::vector<int> waits;
  std::vector<int64_t> counts;
};

// Downloads that break and still complete.
struct ResumeCase {
  const char* name;
  std::vector<TServedCopy> copies;
  std::vector<TConnectionPlan> plans;
  std::vector<std::string> requests;
  std::vector<int> waits;
  size_t copy;      // the copy the download ends with
  size_t restarts;  // how often the bytes held were thrown away
  int stall = 0;    // the client's stall time-out when not 0
};

void PrintTo(const ResumeCase& c, std::ostream* os) {
  *os << c.name;
}

TConnectionPlan ChunkedCut(int64_t at) {
  TConnectionPlan plan = Cut(at);
  plan.Chunked = true;
  return plan;
}
TConnectionPlan Copy(size_t copy, bool ignoreIfRange = false) {
  TConnectionPlan plan;
  plan.Copy = copy;
  plan.IgnoreIfRange = ignoreIfRange;
  return plan;
}
TConnectionPlan IgnoringRange() {
  TConnectionPlan plan;
  plan.IgnoreRange = true;
  return plan;
}
TConnectionPlan Stalled(int64_t at) {
  TConnectionPlan plan = Cut(at);
  plan.Stall = true;
  return plan;
}
TConnectionPlan WrongRange() {
  TConnectionPlan plan;
  plan.ContentRange = "bytes 60000-199999/200000";
  return plan;
}
TConnectionPlan Answer(std::string answer) {
  TConnectionPlan plan;
  plan.Answer = std::move(answer);
  return plan;
}
// After `at` bytes, `bytes` at a time, each `every` ms later on the played clock.
TConnectionPlan Trickle(int64_t at, int bytes, uint64_t every) {
  TConnectionPlan plan = Cut(at);
  plan.TrickleBytes = bytes;
  plan.TrickleEvery = every;
  plan.TrickleTime = 1000000;
  return plan;
}

const std::string kTooSlow = "The server sent less than 1024 bytes per second for 60 s.";

const std::string kV1 = "\"v1\"";

const ResumeCase kResumes[] = {
    {"CutOnce",
     {WithETag(kV1)},
     {Cut(70000), {}},
     {"HEAD", "GET", "GET bytes=70000- If-Range=\"v1\""},
     {1100},
     0,
     0},
    // A chunked answer cut inside a chunk's data, then its continuation cut too.
    {"CutTwiceOnceInsideAChunk",
     {WithETag(kV1)},
     {ChunkedCut(25000), Cut(60000), {}},
     {"HEAD", "GET", "GET bytes=25000- If-Range=\"v1\"", "GET bytes=85000- If-Range=\"v1\""},
     {1100, 2200},
     0,
     0},
    {"CutFourTimesCompletesAtTheLastAttempt",
     {WithETag(kV1)},
     {Cut(20000), Cut(20000), Cut(20000), Cut(20000), {}},
     {"HEAD", "GET", "GET bytes=20000- If-Range=\"v1\"", "GET bytes=40000- If-Range=\"v1\"",
      "GET bytes=60000- If-Range=\"v1\"", "GET bytes=80000- If-Range=\"v1\""},
     {1100, 2200, 4400, 8800},
     0,
     0},
    // The whole file in answer to the range: what was held goes, this body is taken from 0.
    {"ServerIgnoresTheRange",
     {WithETag(kV1)},
     {Cut(70000), IgnoringRange()},
     {"HEAD", "GET", "GET bytes=70000- If-Range=\"v1\""},
     {1100},
     0,
     1},
    // The file changed: If-Range makes the server send the new copy whole.
    {"ETagChanges",
     {WithETag(kV1), WithETag("\"v2\"", 2)},
     {Cut(70000), Copy(1)},
     {"HEAD", "GET", "GET bytes=70000- If-Range=\"v1\""},
     {1100},
     1,
     1},
    // A server that continues whatever the validator: a part of the new copy is not stitched to
    // the old one; the download begins again at once.
    {"ETagChangesAndTheServerContinuesAllTheSame",
     {WithETag(kV1), WithETag("\"v2\"", 2)},
     {Cut(70000), Copy(1, true)},
     {"HEAD", "GET", "GET bytes=70000- If-Range=\"v1\"", "GET"},
     {1100},
     1,
     1},
    {"LastModifiedOnly",
     {{File(kSize), "", kEarlier, kDate}},
     {Cut(70000), {}},
     {"HEAD", "GET", "GET bytes=70000- If-Range=" + kEarlier},
     {1100},
     0,
     0},
    // Modified in the second the answer was made: the date cannot vouch for the bytes.
    {"LastModifiedTooRecent",
     {{File(kSize), "", kDate, kDate}},
     {Cut(70000), {}},
     {"HEAD", "GET", "GET"},
     {1100},
     0,
     1},
    {"NeitherETagNorLastModified",
     {{File(kSize), "", "", kDate}},
     {Cut(70000), {}},
     {"HEAD", "GET", "GET"},
     {1100},
     0,
     1},
    // A weak tag says the bytes may differ between copies it names.
    {"WeakETag", {WithETag("W/\"v1\"")}, {Cut(70000), {}}, {"HEAD", "GET", "GET"}, {1100}, 0, 1},
    // The copy shrank below what is held: the range cannot be served.
    {"RangeNotSatisfiable",
     {WithETag(kV1), WithETag(kV1, 2, 50000)},
     {Cut(70000), Copy(1)},
     {"HEAD", "GET", "GET bytes=70000- If-Range=\"v1\"", "GET"},
     {1100},
     1,
     1},
    {"ContentRangeThatDoesNotMatch",
     {WithETag(kV1)},
     {Cut(70000), WrongRange()},
     {"HEAD", "GET", "GET bytes=70000- If-Range=\"v1\"", "GET"},
     {1100},
     0,
     1},
    // Silent in the middle of the body: the connection is given up and the download resumed.
    {"StallMidBody",
     {WithETag(kV1)},
     {Stalled(70000), {}},
     {"HEAD", "GET", "GET bytes=70000- If-Range=\"v1\""},
     {1100},
     0,
     0,
     300},
    {"ServiceUnavailableWithRetryAfterSeconds",
     {WithETag(kV1)},
     {Answer("HTTP/1.1 503 Service Unavailable\r\nRetry-After: 7\r\nContent-Length: 4\r\n\r\n"
             "busy"),
      {}},
     {"HEAD", "GET", "GET"},
     {7000},
     0,
     0},
    {"ServiceUnavailableWithRetryAfterDate",
     {WithETag(kV1)},
     {Answer("HTTP/1.1 503 Service Unavailable\r\nDate: Tue, 15 Nov 1994 08:12:31 GMT\r\n"
             "Retry-After: Tue, 15 Nov 1994 08:12:43 GMT\r\nContent-Length: 0\r\n\r\n"),
      {}},
     {"HEAD", "GET", "GET"},
     {12000},
     0,
     0},
    {"RetryAfterBeyondAMinuteIsCut",
     {WithETag(kV1)},
     {Answer("HTTP/1.1 429 Too Many Requests\r\nRetry-After: 600\r\nContent-Length: 0\r\n\r\n"),
      {}},
     {"HEAD", "GET", "GET"},
     {60000},
     0,
     0},
    {"BadGatewayWithoutRetryAfter",
     {WithETag(kV1)},
     {Answer("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n"), {}},
     {"HEAD", "GET", "GET"},
     {1100},
     0,
     0},
};

class Resumes : public DownloadRetries, public ::testing::WithParamInterface<ResumeCase> {};

TEST_P(Resumes, CompleteByteForByte) {
  const ResumeCase& c = GetParam();
  if (c.stall) client.StallTimeout = c.stall;
  TResumableServer& server = Serve(c.copies, c.plans);
  Download(server);

  EXPECT_TRUE(Text(body) == c.copies[c.copy].Body) << "the body differs";
  EXPECT_EQ(server.Requests(), c.requests);
  EXPECT_EQ(waits, c.waits);
  ASSERT_FALSE(counts.empty());
  EXPECT_EQ(counts.back(), static_cast<int64_t>(c.copies[c.copy].Body.size()));
  ExpectCountsGrowOrRestart(c.restarts);
  // The notices tell the attempt to come, of how many, and what is kept for it.
  ASSERT_EQ(notices.size(), c.waits.size());
  for (size_t i = 0; i < notices.size(); ++i) {
    EXPECT_EQ(notices[i].Attempt, static_cast<int>(i) + 2);
    EXPECT_EQ(notices[i].MaxAttempts, 5);
    EXPECT_EQ(notices[i].URL, server.URL());
    EXPECT_FALSE(notices[i].Cause.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Server, Resumes, ::testing::ValuesIn(kResumes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DownloadRetries, TheNoticeTellsTheCauseAndTheBytesKept) {
  TResumableServer& server = Serve({WithETag(kV1)}, {Cut(70000), {}});
  Download(server);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].Cause, "The server closed the connection after 70000 of 200000 bytes.");
  EXPECT_EQ(notices[0].Held, 70000);
  EXPECT_FALSE(notices[0].ServerBusy);
  // The continuation goes on a connection of its own, and its bound is what is left.
  EXPECT_EQ(server.Accepted(), 2);
}

TEST_F(DownloadRetries, AnAnswerThatAsksToComeBackIsNoticedAsSuch) {
  TResumableServer& server =
      Serve({WithETag(kV1)},
            {Answer("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n"), {}});
  Download(server);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_TRUE(notices[0].ServerBusy);
  EXPECT_EQ(notices[0].Cause, "HTTP/1.1 503 Service Unavailable");
  EXPECT_EQ(notices[0].Held, 0);
}

// Failures that another attempt would meet the same way end the download at once; the others
// end it after the last attempt, with that attempt's cause.
struct FailureCase {
  const char* name;
  std::vector<TConnectionPlan> plans;
  int gets;  // GET requests made
  std::vector<int> waits;
  std::string message;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

const FailureCase kFailures[] = {
    {"NotFound",
     {Answer("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")},
     1,
     {},
     "HTTP/1.1 404 Not Found"},
    {"AnInvalidLength",
     {Answer("HTTP/1.1 200 OK\r\nContent-Length: 12x\r\n\r\n")},
     1,
     {},
     "The server sent an invalid Content-Length (\"12x\")."},
    {"ChunksThatCannotBeRead",
     {Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n")},
     1,
     {},
     "The server sent a chunk size that is not a hexadecimal number."},
    {"ABodyPastTheProbesLength",
     {Answer("HTTP/1.1 200 OK\r\nContent-Length: 300000\r\n\r\n")},
     1,
     {},
     "The server sent a body of more than 200000 bytes."},
    {"CutFiveTimes",
     {Cut(20000)},
     5,
     {1100, 2200, 4400, 8800},
     "The server closed the connection after 20000 of 120000 bytes."},
    // A byte every 10 s: never silent for the stall time-out, and never done.
    {"TrickledFiveTimes", {Trickle(20000, 1, 10000)}, 5, {1100, 2200, 4400, 8800}, kTooSlow},
    {"ServiceUnavailableEveryTime",
     {Answer("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n")},
     5,
     {1100, 2200, 4400, 8800},
     "HTTP/1.1 503 Service Unavailable"},
    // Refused once (the bytes held go and the download begins again), then cut, then refused
    // again: the second refusal ends it.
    {"ARangeRefusedTwice",
     {Cut(70000),
      [] {
        TConnectionPlan plan = WrongRange();
        plan.CutAfter = 30000;
        return plan;
      }()},
     4,
     {1100, 2200},
     "The server sent another part of the archive than asked for (\"bytes 60000-199999/200000\" "
     "instead of bytes 30000-199999/200000)."},
};

class Failures : public DownloadRetries, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Failures, EndTheDownloadWithTheLastCause) {
  const FailureCase& c = GetParam();
  TResumableServer& server = Serve({WithETag(kV1)}, c.plans);
  client.Head(server.URL());
  try {
    client.Get(server.URL(), body, "");
    ADD_FAILURE() << "the download succeeded";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), c.message);
  }
  const std::vector<std::string> requests = server.Requests();
  EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                          [](const std::string& r) { return r.compare(0, 3, "GET") == 0; }),
            c.gets);
  EXPECT_EQ(waits, c.waits);
}

INSTANTIATE_TEST_SUITE_P(Server, Failures, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// The probe is retried like the download: a server that refuses connections is asked five
// times, and the last refusal is the failure.
TEST_F(DownloadRetries, AProbeOfAServerThatRefusesIsMadeFiveTimes) {
  uint16_t port = 0;
  {
    TLoopbackServer gone([](TLoopbackPeer&, int) {});
    port = gone.Port();
  }
  try {
    client.Head("http://127.0.0.1:" + std::to_string(port) + "/periodic/Archive_x64-stable.zip");
    ADD_FAILURE() << "the probe succeeded";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 10061);
  }
  EXPECT_EQ(waits, (std::vector<int>{1100, 2200, 4400, 8800}));
}

TEST_F(DownloadRetries, AWaitGivenUpEndsTheRetries) {
  TResumableServer& server = Serve({WithETag(kV1)}, {Cut(70000), {}});
  client.OnRetryWait = [this](const TRetryNotice& n) {
    waits.push_back(n.Wait);
    return false;
  };
  client.Head(server.URL());
  EXPECT_THROW(client.Get(server.URL(), body, ""), EIdHTTPCutOff);
  EXPECT_EQ(waits, (std::vector<int>{1100}));
  EXPECT_EQ(server.Requests(), (std::vector<std::string>{"HEAD", "GET"}));
}

// Servers that refuse HEAD where GET works: the probe asks for the first byte instead, and takes
// the length from the Content-Range of a 206, or the Content-Length of a 200 whose body it does
// not read.
struct RefusedHeadCase {
  const char* name;
  const char* status;  // the HEAD's answer; null: the file's fields without a length
  bool ignoreRange;
};

class RefusedHeads : public DownloadRetries,
                     public ::testing::WithParamInterface<RefusedHeadCase> {};

TEST_P(RefusedHeads, AreAskedWithAGetOfTheFirstByte) {
  TConnectionPlan plan;
  if (GetParam().status)
    plan.HeadStatus = GetParam().status;
  else
    plan.HeadWithoutLength = true;
  plan.IgnoreRange = GetParam().ignoreRange;
  TResumableServer& server = Serve({WithETag(kV1)}, {plan});
  Download(server);
  EXPECT_EQ(client.ResponseContentLength(), static_cast<int64_t>(kSize));
  EXPECT_TRUE(Text(body) == File(kSize));
  EXPECT_EQ(server.Requests(), (std::vector<std::string>{"HEAD", "GET bytes=0-0", "GET"}));
  EXPECT_TRUE(waits.empty());
  // The first byte's answer was not read on: its connection was closed.
  EXPECT_EQ(server.Accepted(), 2);
}

const RefusedHeadCase kRefusedHeads[] = {
    {"MethodNotAllowedThenPartial", "405 Method Not Allowed", false},
    {"NotImplementedThenWhole", "501 Not Implemented", true},
    {"ForbiddenThenPartial", "403 Forbidden", false},
    // Answers made on the fly often leave the length out of HEAD.
    {"NoLengthThenPartial", nullptr, false},
    {"NoLengthThenWhole", nullptr, true},
};

INSTANTIATE_TEST_SUITE_P(Server, RefusedHeads, ::testing::ValuesIn(kRefusedHeads),
                         [](const auto& info) { return std::string(info.param.name); });

// Neither the HEAD's answer nor the first byte's tells a length: the probe finds none.
TEST_F(DownloadRetries, AProbeWithoutAnyLengthFindsNone) {
  TConnectionPlan plan = Answer("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nbody");
  plan.HeadWithoutLength = true;
  TResumableServer& server = Serve({WithETag(kV1)}, {plan});
  client.Head(server.URL());
  EXPECT_EQ(client.ResponseContentLength(), -1);
  EXPECT_EQ(server.Requests(), (std::vector<std::string>{"HEAD", "GET bytes=0-0"}));
}

TEST_F(DownloadRetries, AProbeRefusedForHeadAndGetFails) {
  TConnectionPlan plan;
  plan.HeadStatus = "403 Forbidden";
  plan.Answer = "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n";
  TResumableServer& server = Serve({WithETag(kV1)}, {plan});
  try {
    client.Head(server.URL());
    ADD_FAILURE() << "the probe succeeded";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.ErrorCode(), 403);
  }
  EXPECT_EQ(server.Requests(), (std::vector<std::string>{"HEAD", "GET bytes=0-0"}));
  EXPECT_TRUE(waits.empty());
}

// Through a proxy the continuation carries its range and validator to the proxy, which passes
// them on.
TEST_F(DownloadRetries, AResumeGoesThroughTheProxy) {
  TResumableServer& proxy = Serve({WithETag(kV1)}, {Cut(70000), {}});
  client.HTTP().ProxyParams().ProxyServer = "127.0.0.1";
  client.HTTP().ProxyParams().ProxyPort = proxy.Port();
  const std::string url = "http://dist.example/periodic/Archive_x64-stable.zip";
  client.Head(url);
  client.Get(url, body, "");
  EXPECT_TRUE(Text(body) == File(kSize));
  const std::vector<std::string> heads = proxy.Heads();
  ASSERT_EQ(heads.size(), 3u);
  EXPECT_EQ(heads[2].substr(0, heads[2].find("\r\n")), "GET " + url + " HTTP/1.1");
  EXPECT_NE(heads[2].find("\r\nRange: bytes=70000-\r\n"), std::string::npos) << heads[2];
  EXPECT_NE(heads[2].find("\r\nIf-Range: \"v1\"\r\n"), std::string::npos) << heads[2];
}

// The range and validator belong to the continuation alone: the next request carries neither.
TEST_F(DownloadRetries, TheNextRequestAsksForTheWholeAgain) {
  TResumableServer& server = Serve({WithETag(kV1)}, {Cut(70000), {}});
  Download(server);
  TMemoryStream again;
  client.Get(server.URL(), again, "");
  EXPECT_TRUE(Text(again) == File(kSize));
  EXPECT_EQ(server.Requests().back(), "GET");
}

// The low-speed rule on the played clock: a body that comes too slowly for a minute is given up
// and resumed where it stands (its last bytes may be lost with the connection); one slow but
// above the rule is taken as it comes.
struct LowSpeedCase {
  const char* name;
  int bytes;       // the trickle's pieces after the first 70000 bytes
  uint64_t every;  // ms of the played clock between them
  bool resumed;
};

void PrintTo(const LowSpeedCase& c, std::ostream* os) {
  *os << c.name;
}

class LowSpeeds : public DownloadRetries, public ::testing::WithParamInterface<LowSpeedCase> {};

TEST_P(LowSpeeds, AreResumedOnlyBelowTheRule) {
  const LowSpeedCase& c = GetParam();
  TResumableServer& server = Serve({WithETag(kV1)}, {Trickle(70000, c.bytes, c.every), {}});
  Download(server);
  EXPECT_TRUE(Text(body) == File(kSize)) << "the body differs";
  const std::vector<std::string> requests = server.Requests();
  if (!c.resumed) {
    EXPECT_EQ(requests, (std::vector<std::string>{"HEAD", "GET"}));
    EXPECT_TRUE(notices.empty());
    return;
  }
  ASSERT_EQ(requests.size(), 3u);
  long long from = 0;
  ASSERT_EQ(std::sscanf(requests[2].c_str(), "GET bytes=%lld- If-Range=\"v1\"", &from), 1)
      << requests[2];
  // Within the minute and a piece or two of what came.
  EXPECT_GE(from, 70000);
  EXPECT_LE(from, 70000 + 80 * c.bytes);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].Cause, kTooSlow);
  EXPECT_EQ(notices[0].Held, from);
  EXPECT_FALSE(notices[0].ServerBusy);
}

const LowSpeedCase kLowSpeeds[] = {
    {"AByteEveryTenSeconds", 1, 10000, true}, {"AKiBEveryFifteenSeconds", 1024, 15000, true},
    {"JustBelowTheRule", 1000, 1000, true},   {"JustAboveTheRule", 1100, 1000, false},
    {"TwoKiBASecond", 2048, 1000, false},
};

INSTANTIATE_TEST_SUITE_P(Trickles, LowSpeeds, ::testing::ValuesIn(kLowSpeeds),
                         [](const auto& info) { return std::string(info.param.name); });

// The rule itself: each step is a receive (when, how many bytes) and the verdict it must give.
struct SpeedStep {
  uint64_t at;  // ms since the body started
  int64_t bytes;
  bool tooSlow;
};

struct SpeedCase {
  const char* name;
  std::vector<SpeedStep> steps;
};

TEST(LowSpeedWatch, JudgesTheLastMinutesAverage) {
  std::vector<SpeedStep> steady;
  for (uint64_t at = 1000; at <= 180000; at += 1000)
    steady.push_back({at, 1024, false});
  const SpeedCase cases[] = {
      {"NothingIsJudgedBeforeAMinute", {{1000, 1, false}, {59999, 1, false}}},
      {"AByteEvery29Seconds", {{29000, 1, false}, {58000, 1, false}, {87000, 1, true}}},
      {"ExactlyAtTheRate", steady},
      // The first minute holds the burst; the next does not.
      {"ABurstThenATrickle",
       {{1000, 102400, false}, {30000, 1, false}, {60000, 1, false}, {61000, 1, true}}},
      {"ASlowStartMadeUpFor", {{20000, 10, false}, {59000, 70000, false}, {61000, 1, false}}},
      // Bytes that come seldom are averaged over the time since the last sample before the
      // minute: 61440 bytes in 90 s are too few, though more than a minute's worth.
      {"SeldomAndTooFew", {{30000, 1, false}, {120000, 61440, true}}},
      {"SeldomAndEnough", {{30000, 1, false}, {120000, 92160, false}}},
  };
  for (const SpeedCase& c : cases) {
    TLowSpeedWatch watch(1024, 60000);
    EXPECT_FALSE(watch.TooSlow(5000, 1)) << c.name << ": judged before it was started";
    watch.Start(5000);
    for (const SpeedStep& step : c.steps)
      EXPECT_EQ(watch.TooSlow(5000 + step.at, step.bytes), step.tooSlow)
          << c.name << " at " << step.at;
    watch.Stop();
    EXPECT_FALSE(watch.TooSlow(5000 + 600000, 0)) << c.name << ": judged after it stopped";
  }
}

// A web page where a file was expected is refused by its first bytes, however long it says it
// is and however it is framed: the client reads a few blocks of it, not the whole. A file that
// begins as expected is taken whatever it is sent as.
struct PageCase {
  const char* name;
  const char* fields;  // after the status line
  bool chunked;
  const char* start;  // null: a sign-in page
  bool refused;
};

void PrintTo(const PageCase& c, std::ostream* os) {
  *os << c.name;
}

class WebPages : public ::testing::TestWithParam<PageCase> {};

TEST_P(WebPages, AreRefusedByTheirFirstBytes) {
  const PageCase& c = GetParam();
  TEndlessPage page;
  page.Head = std::string("HTTP/1.1 200 OK\r\n") + c.fields + "\r\n";
  page.Chunked = c.chunked;
  if (c.start) {
    page.Start = c.start;
    page.Length = 200000;
  }
  const std::string probe =
      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(page.Length) + "\r\n\r\n";
  TLoopbackServer server(page.Script(probe));
  THTTPDownloadClient client;
  int64_t mostHeld = 0;
  client.OnWork = [&](int64_t count) { mostHeld = std::max(mostHeld, count); };
  TMemoryStream body;
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/a.zip";
  client.Head(url);
  try {
    client.Get(url, body, "PK");
    EXPECT_FALSE(c.refused) << "the page was taken";
    EXPECT_EQ(body.Size(), page.Length);
  } catch (const EWebPageInstead& e) {
    EXPECT_TRUE(c.refused) << "the file was refused";
    EXPECT_EQ(e.Message(),
              "The network returned a web page instead of the setup archive. You may need to "
              "sign in to the network first.");
    // A few blocks at most, of the 64 MiB the server would send.
    EXPECT_LE(mostHeld, 256 * 1024);
    EXPECT_LE(body.Size(), 256 * 1024);
  }
}

const PageCase kPages[] = {
    {"HTMLOf64MiB", "Content-Type: text/html\r\nContent-Length: 67108864\r\n", false, nullptr,
     true},
    {"HTMLInChunks", "Content-Type: text/html\r\nTransfer-Encoding: chunked\r\n", true, nullptr,
     true},
    {"HTMLUntilTheClose", "Content-Type: text/html; charset=utf-8\r\n", false, nullptr, true},
    {"APageSentAsAFile", "Content-Type: application/octet-stream\r\nContent-Length: 67108864\r\n",
     false, nullptr, true},
    {"XHTMLWithoutAPageStart", "Content-Type: application/xhtml+xml\r\nContent-Length: 200000\r\n",
     false, "Welcome", true},
    {"AnArchiveSentAsHTML", "Content-Type: text/html\r\nContent-Length: 200000\r\n", false,
     "PK\x03\x04", false},
};

INSTANTIATE_TEST_SUITE_P(Server, WebPages, ::testing::ValuesIn(kPages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DownloadClient, RetriesAtTheProductsPace) {
  THTTPDownloadClient http;
  EXPECT_EQ(http.Retry.MaxAttempts, 5);
  EXPECT_EQ(http.Retry.Waits, (std::vector<int>{1000, 2000, 4000, 8000}));
  EXPECT_EQ(http.Retry.MaxRetryAfter, 60000);
  EXPECT_EQ(http.StallTimeout, 30000);
  EXPECT_EQ(http.LowSpeed.BytesPerSecond, 1024);
  EXPECT_EQ(http.LowSpeed.Period, 60000u);
  for (int i = 0; i < 100; ++i) {
    const double r = http.Random();
    EXPECT_GE(r, 0.0);
    EXPECT_LT(r, 1.0);
  }
}

}  // namespace
