// Servers that stall, fail or refuse HEAD: the sequence ends whole or with the message.

#include "app/sequence/DownloadSequence.h"

namespace {

// A server that accepts and then sends nothing, while the size is probed or in the middle of
// the body. With a close, the wait ends at once: no message, nothing left, the program ends
// (the time-outs are long, so only the close can end these runs without a message). Without
// one, the read time-out (short here; the product waits 120 s) fails the probe at once, and a
// body silent for the stall time-out (short here; 30 s in the product) is asked for again, and
// fails the run when the last attempt stalls too.
struct StallCase {
  const char* name;
  bool inBody;
  bool close;
};

class Stalls : public DownloadSequence, public ::testing::WithParamInterface<StallCase> {};

TEST_P(Stalls, EndTheRun) {
  const StallCase& c = GetParam();
  const std::string length = std::to_string(archive.size());
  const std::string part = archive.substr(0, 40000);  // more than one block of 32768
  Run(
      [length, part, inBody = c.inBody](TLoopbackPeer& peer, int index) {
        ReadRequestHead(peer);
        if (inBody && index > 0) {
          peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n" + part);
        } else if (inBody) {
          peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n");
          ReadRequestHead(peer);
          peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n" + part);
        }
        peer.ReceiveUntilClosed();  // silent until the client gives up
      },
      !c.close   ? TClose::Never
      : c.inBody ? TClose::AtTheFirstWorkEvent
                 : TClose::OnceConnected,
      [close = c.close](THTTPDownloadClient& http) {
        http.HTTP().SetReadTimeout(close ? 60000 : 300);
        http.StallTimeout = close ? 60000 : 300;
        http.Retry.MaxAttempts = 2;
        http.Retry.Waits = {10};
      });

  const auto& dialogs = ProbeDialogs(app);
  const auto& boxes = FailureBoxes(app);
  if (c.close) {
    EXPECT_TRUE(closePosted);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_TRUE(boxes.empty());
  } else if (c.inBody) {
    EXPECT_TRUE(dialogs.empty());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "Read timed out.");
  } else {
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].Text, "Could not download files from distribution server.");
    EXPECT_TRUE(boxes.empty());
  }
  EXPECT_EQ(platform->Deletes, c.inBody ? 1 : 0);
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  EXPECT_EQ(platform->Launched, "");
  EXPECT_EQ(server->Accepted(), c.inBody && !c.close ? 2 : 1);
  // After the last attempt, the class of its cause.
  EXPECT_EQ(ExitCodeFor(Main->Outcome), c.close    ? ExitCodes::UserClosed
                                        : c.inBody ? ExitCodes::DownloadFailed
                                                   : ExitCodes::ProbeFailed);
}

const StallCase kStalls[] = {
    {"InTheProbeWithAClose", false, true},
    {"InTheProbe", false, false},
    {"InTheBodyWithAClose", true, true},
    {"InTheBody", true, false},
};

INSTANTIATE_TEST_SUITE_P(Server, Stalls, ::testing::ValuesIn(kStalls),
                         [](const auto& info) { return std::string(info.param.name); });

// A server that breaks off what it sends, or never ends a body nobody needs: a download is whole
// or the run fails with the client's message, runs no installer and removes the folder; a
// redirect or an error never waits for a close that does not come. A download broken off is
// asked for again (here from a server that ignores the range and sends it whole).
struct ServerFaultCase {
  const char* name;
  // The GET's answer (given the archive), after which the server closes or stays silent; a
  // second connection, if one comes, gets the archive.
  std::string (*answer)(const std::string& archive);
  bool closes;
  std::string shown;  // the error box's text; "": none
};

void PrintTo(const ServerFaultCase& c, std::ostream* os) {
  *os << c.name;
}

const ServerFaultCase kServerFaults[] = {
    {"BodyCutOff",
     [](const std::string& a) {
       return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(a.size()) + "\r\n\r\n" +
              a.substr(0, 50000);
     },
     true, ""},
    {"HeadCutOff",
     [](const std::string& a) {
       return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(a.size()) + "\r\n";
     },
     true, ""},
    {"ErrorWhoseBodyNeverEnds",
     [](const std::string&) { return std::string("HTTP/1.1 404 Not Found\r\n\r\nnot here"); },
     false, "HTTP/1.1 404 Not Found."},
    {"RedirectWhoseBodyNeverEnds",
     [](const std::string&) {
       return std::string(
           "HTTP/1.1 302 Found\r\nLocation: /periodic/mirror.zip\r\n\r\nmoved to the mirror");
     },
     false, ""},
};

class ServerFaults : public DownloadSequence,
                     public ::testing::WithParamInterface<ServerFaultCase> {};

TEST_P(ServerFaults, EndTheRunWholeOrWithTheMessage) {
  const ServerFaultCase& c = GetParam();
  const std::string length = std::to_string(archive.size());
  const std::string answer = c.answer(archive);
  Run(
      [length, answer, closes = c.closes, whole = archive](TLoopbackPeer& peer, int index) {
        ReadRequestHead(peer);
        if (index > 0) {
          peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n" + whole);
          peer.ReceiveUntilClosed();
          return;
        }
        peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n");
        ReadRequestHead(peer);
        peer.Send(answer);
        if (!closes) peer.ReceiveUntilClosed();
      },
      TClose::Never,
      // Far beyond what the case needs: a wait for it would show "Read timed out." instead.
      [](THTTPDownloadClient& http) {
        http.HTTP().SetReadTimeout(20000);
        http.Retry.Waits = {10};
      });

  EXPECT_TRUE(ProbeDialogs(app).empty());
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  if (c.shown.empty()) {
    EXPECT_TRUE(FailureBoxes(app).empty());
    EXPECT_EQ(platform->Installer, Installer());
    EXPECT_EQ(server->Accepted(), 2);
    EXPECT_EQ(ExitCodeFor(Main->Outcome), ExitCodes::Success);
    return;
  }
  EXPECT_EQ(ExitCodeFor(Main->Outcome), ExitCodes::DownloadFailed);
  std::string shown = c.shown;
  if (shown.find("%length") != std::string::npos) shown.replace(shown.find("%length"), 7, length);
  ASSERT_EQ(FailureBoxes(app).size(), 1u);
  EXPECT_EQ(FailureBoxes(app)[0].Text, shown);
  EXPECT_EQ(platform->Launched, "");
  EXPECT_EQ(platform->Deletes, 1);
}

INSTANTIATE_TEST_SUITE_P(Server, ServerFaults, ::testing::ValuesIn(kServerFaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DownloadSequence, ASizeProbeRefusedForHeadStillInstalls) {
  TConnectionPlan refusing;
  refusing.HeadStatus = "405 Method Not Allowed";
  TResumableScript served({{archive, "\"a1\"", "", ""}}, {refusing});
  Run(served.Script());

  EXPECT_EQ(served.Requests(), (std::vector<std::string>{"HEAD", "GET bytes=0-0", "GET"}));
  EXPECT_EQ(Main->ProgressBar->Max(), static_cast<int>(archive.size()));
  EXPECT_EQ(platform->Installer, Installer());
  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_TRUE(ProbeDialogs(app).empty());
}

// A HEAD answered without a length (answers made on the fly) is asked again for the first byte,
// whose Content-Range tells the length; only when that tells none either does the probe fail.
TEST_F(DownloadSequence, ASizeProbeWithoutALengthInItsHeadStillInstalls) {
  TConnectionPlan noLength;
  noLength.HeadWithoutLength = true;
  TResumableScript served({{archive, "\"a1\"", "", ""}}, {noLength});
  Run(served.Script());

  EXPECT_EQ(served.Requests(), (std::vector<std::string>{"HEAD", "GET bytes=0-0", "GET"}));
  EXPECT_EQ(Main->ProgressBar->Max(), static_cast<int>(archive.size()));
  EXPECT_EQ(platform->Installer, Installer());
  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_TRUE(ProbeDialogs(app).empty());
  EXPECT_FALSE(
      log.FindAll("The answer to HEAD gave no length; asking with GET for the first byte").empty())
      << log.All();
}

TEST_F(DownloadSequence, ASizeProbeThatFindsNoLengthAtAllFails) {
  TConnectionPlan noLength;
  noLength.HeadWithoutLength = true;
  noLength.Answer = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + archive;
  TResumableScript served({{archive, "\"a1\"", "", ""}}, {noLength});
  Run(served.Script());

  EXPECT_EQ(served.Requests(), (std::vector<std::string>{"HEAD", "GET bytes=0-0"}));
  ASSERT_EQ(ProbeDialogs(app).size(), 1u);
  EXPECT_EQ(ProbeDialogs(app)[0].Text, "Could not download files from distribution server.");
  EXPECT_EQ(ExitCodeFor(Main->Outcome), ExitCodes::ProbeFailed);
  EXPECT_EQ(platform->Launched, "");
}

TEST(DownloadClient, WaitsForTheServerAsLongAsForAConnect) {
  THTTPDownloadClient http;
  EXPECT_EQ(http.HTTP().ReadTimeout(), 120000);
  EXPECT_EQ(http.UnannouncedBodyLimit, int64_t{4} << 30);
}

}  // namespace
