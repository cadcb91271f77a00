// Downloads cut and resumed, their retries in the log, the countdown, unattended runs and
// "Try again" after the last attempt.

#include "app/sequence/DownloadSequence.h"

namespace {

// A download cut twice continues where it broke: the archive is whole and installed, the status
// line counted each wait down and then said "Downloading..." again, and the bar never went back.
TEST_F(DownloadSequence, ADownloadCutTwiceResumesAndInstalls) {
  const int64_t quarter = static_cast<int64_t>(archive.size() / 4);
  TResumableScript served({{archive, "\"a1\"", "", ""}},
                          {CutAfter(quarter), CutAfter(quarter), {}});
  Run(served.Script(), TClose::Never, [](THTTPDownloadClient& http) {
    http.Retry.Waits = {30};
    http.Random = [] { return 0.0; };
  });

  const std::string q = std::to_string(quarter);
  const std::string h = std::to_string(2 * quarter);
  EXPECT_EQ(served.Requests(),
            (std::vector<std::string>{"HEAD", "GET", "GET bytes=" + q + "- If-Range=\"a1\"",
                                      "GET bytes=" + h + "- If-Range=\"a1\""}));
  EXPECT_EQ(platform->Installer, Installer());
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  EXPECT_TRUE(FailureBoxes(app).empty());
  const std::vector<int>& positions = headless::PaintedPositions(*Main->ProgressBar);
  ASSERT_FALSE(positions.empty());
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(positions.back(), static_cast<int>(archive.size()));
  const std::vector<std::string>& texts = headless::PaintedTexts(*Main->Info);
  const std::vector<std::string> waits{
      "Connection lost. Retrying in 1 s (attempt 2 of 5)...", "Downloading...",
      "Connection lost. Retrying in 1 s (attempt 3 of 5)...", "Downloading...", "Extracting..."};
  EXPECT_NE(std::search(texts.begin(), texts.end(), waits.begin(), waits.end()), texts.end());
}

// The run's log tells each retry (its attempt, wait and cause) and how the download went on:
// from the offset held when the validator held, else from byte 0 and why.
struct LoggedResumeCase {
  const char* name;
  TServedCopy copy;
  TConnectionPlan after;  // the second connection's plan
  // The log's lines about the resume, after the retry's; "%q" stands for the offset held,
  // "%last" and "%size" for the archive's last byte and size, "%url" for where it is served.
  std::vector<std::string> lines;
  // The copy a plan's Copy 1 serves (the archive's bytes under another validator), if any.
  std::string otherETag;
};

void PrintTo(const LoggedResumeCase& c, std::ostream* os) {
  *os << c.name;
}

class LoggedResumes : public DownloadSequence,
                      public ::testing::WithParamInterface<LoggedResumeCase> {};

TEST_P(LoggedResumes, TellTheRetryAndWhereTheDownloadWentOn) {
  const LoggedResumeCase& c = GetParam();
  const int64_t quarter = static_cast<int64_t>(archive.size() / 4);
  TServedCopy copy = c.copy;
  copy.Body = archive;
  TResumableScript served({copy, {archive, c.otherETag, "", ""}}, {CutAfter(quarter), c.after});
  Run(served.Script(), TClose::Never, [](THTTPDownloadClient& http) {
    http.Retry.Waits = {30};
    http.Random = [] { return 0.0; };
  });

  EXPECT_EQ(platform->Installer, Installer());
  EXPECT_EQ(ExitCodeFor(Main->Outcome), ExitCodes::Success);
  const std::string q = std::to_string(quarter);
  EXPECT_EQ(log.FindAll("Retry "),
            (std::vector<std::string>{"Retry 2 of 5 in 30 ms, after: The server closed the "
                                      "connection after " +
                                      q + " of " + std::to_string(archive.size()) + " bytes."}));
  std::vector<std::string> expected;
  const std::pair<std::string, std::string> values[] = {
      {"%q", q},
      {"%last", std::to_string(archive.size() - 1)},
      {"%size", std::to_string(archive.size())},
      {"%url",
       "http://127.0.0.1:" + std::to_string(server->Port()) + "/periodic/Archive_x64-stable.zip"}};
  for (std::string line : c.lines) {
    for (const auto& [name, value] : values)
      for (size_t at; (at = line.find(name)) != std::string::npos;)
        line.replace(at, name.size(), value);
    expected.push_back(line);
  }
  std::vector<std::string> seen = log.FindAll("Resum");
  for (const std::string& line : log.FindAll("Not resumed"))
    seen.push_back(line);
  EXPECT_EQ(seen, expected) << log.All();
}

const LoggedResumeCase kLoggedResumes[] = {
    {"ValidatorHeld",
     {"", "\"a1\"", "", ""},
     {},
     {"Resuming %url from byte %q, if its validator is still \"a1\"",
      "Resumed from byte %q: the validator held (Content-Range: bytes %q-%last/%size)"},
     ""},
    {"RangeIgnored",
     {"", "\"a1\"", "", ""},
     RangeIgnored(),
     {"Resuming %url from byte %q, if its validator is still \"a1\"",
      "Not resumed: the server sent the whole file again (its copy changed or it ignored the "
      "range); the %q bytes held were discarded"},
     ""},
    {"ValidatorChanged",
     {"", "\"a1\"", "", ""},
     ChangedCopy(),
     {"Resuming %url from byte %q, if its validator is still \"a1\"",
      "Not resumed: The archive changed on the server while it was being downloaded. Starting "
      "again from byte 0"},
     "\"a2\""},
    {"NoValidator",
     {"", "", "", ""},
     {},
     {"Not resumed: nothing vouches for the %q bytes held (no strong ETag or Last-Modified); "
      "starting again from byte 0"},
     ""},
};

INSTANTIATE_TEST_SUITE_P(Log, LoggedResumes, ::testing::ValuesIn(kLoggedResumes),
                         [](const auto& info) { return std::string(info.param.name); });

// Unattended, a run retries and counts down as a window run does, and asks nobody: a cut
// download installs; attempts that all fail end the run with the class of the last cause.
struct UnattendedRetryCase {
  const char* name;
  TRunMode mode;
  std::vector<TConnectionPlan> plans;
  std::vector<std::string> requests;
  uint32_t exitCode;
};

void PrintTo(const UnattendedRetryCase& c, std::ostream* os) {
  *os << c.name;
}

class UnattendedRetries : public DownloadSequence,
                          public ::testing::WithParamInterface<UnattendedRetryCase> {};

TEST_P(UnattendedRetries, CountDownAndEndWithTheLastCausesCode) {
  const UnattendedRetryCase& c = GetParam();
  mode = c.mode;
  TResumableScript served({{archive, "\"a1\"", "", ""}}, c.plans);
  Run(served.Script(), TClose::Never, [](THTTPDownloadClient& http) {
    http.Retry.MaxAttempts = 2;
    http.Retry.Waits = {30};
    http.Random = [] { return 0.0; };
  });

  EXPECT_EQ(ExitCodeFor(Main->Outcome), c.exitCode);
  EXPECT_EQ(served.Requests(), c.requests);
  EXPECT_TRUE(headless::ShownErrorDialogs(app).empty());
  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_TRUE(ProbeDialogs(app).empty());
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  EXPECT_EQ(platform->Launched.empty(), c.exitCode != ExitCodes::Success);
  const std::vector<std::string>& texts = headless::PaintedTexts(*Main->Info);
  const bool busy = c.plans[0].HeadStatus.size() > 0;
  const std::string countdown = std::string(busy ? "Server busy" : "Connection lost") +
                                ". Retrying in 1 s (attempt 2 of 2)...";
  EXPECT_NE(std::find(texts.begin(), texts.end(), countdown), texts.end());
  EXPECT_EQ(log.FindAll("Retry 2 of 2 in 30 ms").size(), 1u) << log.All();
}

TConnectionPlan BusyProbe() {
  TConnectionPlan plan;
  plan.HeadStatus = "503 Service Unavailable";
  return plan;
}

const UnattendedRetryCase kUnattendedRetries[] = {
    {"QuietCutOnce",
     TRunMode::rmQuiet,
     {CutAfter(20000), {}},
     {"HEAD", "GET", "GET bytes=20000- If-Range=\"a1\""},
     ExitCodes::Success},
    {"PassiveCutOnce",
     TRunMode::rmPassive,
     {CutAfter(20000), {}},
     {"HEAD", "GET", "GET bytes=20000- If-Range=\"a1\""},
     ExitCodes::Success},
    {"QuietCutEveryTime",
     TRunMode::rmQuiet,
     {CutAfter(20000)},
     {"HEAD", "GET", "GET bytes=20000- If-Range=\"a1\""},
     ExitCodes::DownloadFailed},
    {"PassiveProbeBusyEveryTime",
     TRunMode::rmPassive,
     {BusyProbe()},
     {"HEAD", "HEAD"},
     ExitCodes::ProbeFailed},
};

INSTANTIATE_TEST_SUITE_P(Modes, UnattendedRetries, ::testing::ValuesIn(kUnattendedRetries),
                         [](const auto& info) { return std::string(info.param.name); });

// "Try again" after every attempt failed starts a fresh round of attempts from the size probe.
TEST_F(DownloadSequence, TryAgainAfterTheLastAttemptStartsAFreshRound) {
  TResumableScript served({{archive, "\"a1\"", "", ""}},
                          {BusyProbe(), BusyProbe(), BusyProbe(), {}});
  int answers = 0;
  beforeRun = [this, &answers] {
    headless::SetErrorDialogAnswer(app, [&answers](const TErrorDialog&) {
      return ++answers == 1 ? TErrorDialogAnswer::eaRetry : TErrorDialogAnswer::eaClose;
    });
  };
  Run(served.Script(), TClose::Never, [](THTTPDownloadClient& http) {
    http.Retry.MaxAttempts = 2;
    http.Retry.Waits = {10};
  });

  EXPECT_EQ(answers, 1);
  ASSERT_EQ(headless::ShownErrorDialogs(app).size(), 1u);
  EXPECT_EQ(headless::ShownErrorDialogs(app)[0].RetryLabel, "Try again");
  EXPECT_EQ(served.Requests(), (std::vector<std::string>{"HEAD", "HEAD", "HEAD", "HEAD", "GET"}));
  // Each round counts its attempts from the first.
  EXPECT_EQ(log.FindAll("Retry 2 of 2 ").size(), 2u) << log.All();
  EXPECT_EQ(platform->Installer, Installer());
  EXPECT_EQ(ExitCodeFor(Main->Outcome), ExitCodes::Success);
}

// A close while the next attempt is waited for (a minute here) ends the run at once: no further
// request, no message, nothing left.
TEST_F(DownloadSequence, ACloseDuringTheWaitForTheNextAttemptEndsAtOnce) {
  TResumableScript served({{archive, "\"a1\"", "", ""}}, {CutAfter(10000), {}});
  Run(served.Script(), TClose::Never, [this](THTTPDownloadClient& http) {
    http.Retry.Waits = {60000};
    http.OnRetry = [this](const TRetryNotice&) { PostClose(); };
  });

  EXPECT_TRUE(closePosted);
  EXPECT_EQ(served.Requests(), (std::vector<std::string>{"HEAD", "GET"}));
  EXPECT_LT(platform->Slept, 1000u);
  EXPECT_EQ(ExitCodeFor(Main->Outcome), ExitCodes::UserClosed);
  EXPECT_EQ(platform->Launched, "");
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_TRUE(ProbeDialogs(app).empty());
}

}  // namespace
