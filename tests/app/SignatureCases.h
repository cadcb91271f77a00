#pragma once

// The archive signature's cases as a distribution server presents them, shared by the steps of
// the signature against the scripted loopback server (both targets) and the whole sequence
// (natively): what is served, which keys the program holds, and what must come of it.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "http/HTTPTestSupport.h"
#include "trust/TrustTestSupport.h"

namespace signaturecases {

inline const std::string kArchivePath = "/periodic/Archive_x64-stable.zip";
inline const std::string kSignaturePath = kArchivePath + ".sig";

// One answer of the server: its head (status line and fields, without Content-Length, which is
// added for the body unless the body goes until the close or chunked) and its body.
struct TAnswer {
  std::string Status = "200 OK";
  std::string Fields;  // each ending in CRLF
  std::string Body;
  enum class TFraming { fLength, fChunked, fUntilClose } Framing = TFraming::fLength;
};

// What the server serves, by request target, and the request lines it was sent ("GET /x").
class TServedFiles {
 public:
  TServedFiles() {
    Files[kArchivePath].Body = trusttest::Archive();
    Files[kSignaturePath].Body = trusttest::Signature("new");
  }

  std::map<std::string, TAnswer> Files;

  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(FLock);
    return FRequests;
  }
  // The server's script: answers each request of a kept connection in turn; a HEAD gets the
  // head only, an unknown target 404.
  TLoopbackServer::TScript Script() {
    return [this](TLoopbackPeer& peer, int) {
      for (;;) {
        const std::string head = ReadRequestHead(peer);
        if (head.find("\r\n\r\n") == std::string::npos) return;
        const std::string line = head.substr(0, head.find(" HTTP/1.1"));
        {
          std::lock_guard<std::mutex> lock(FLock);
          FRequests.push_back(line);
        }
        const bool isHead = line.rfind("HEAD ", 0) == 0;
        const std::string target = line.substr(line.find(' ') + 1);
        TAnswer answer;
        const auto found = Files.find(target);
        if (found != Files.end()) {
          answer = found->second;
        } else {
          answer.Status = "404 Not Found";
          answer.Body = "not here";
        }
        std::string reply = "HTTP/1.1 " + answer.Status + "\r\n" + answer.Fields;
        switch (answer.Framing) {
          case TAnswer::TFraming::fLength:
            reply += "Content-Length: " + std::to_string(answer.Body.size()) + "\r\n\r\n";
            peer.Send(reply + (isHead ? "" : answer.Body));
            break;
          case TAnswer::TFraming::fChunked:
            reply += "Transfer-Encoding: chunked\r\n\r\n";
            for (size_t at = 0; !isHead && at < answer.Body.size(); at += 1000) {
              const std::string piece = answer.Body.substr(at, 1000);
              char size[16];
              std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
              reply += size + piece + "\r\n";
            }
            peer.Send(reply + (isHead ? "" : "0\r\n\r\n"));
            break;
          case TAnswer::TFraming::fUntilClose:
            peer.Send(reply + "Connection: close\r\n\r\n" + (isHead ? "" : answer.Body));
            peer.Close();
            return;
        }
      }
    };
  }

 private:
  std::mutex FLock;
  std::vector<std::string> FRequests;
};

struct TCase {
  std::string Name;
  // The fixture file of the keys the program holds.
  std::string Keys = "keys-new.pem";
  std::function<void(TServedFiles&)> Serve = [](TServedFiles&) {};
  // The message the run fails with; empty: the archive is accepted.
  std::string Failure;
  // Whether the archive itself was fetched: refusals of the signature come before.
  bool ArchiveFetched = false;

  TCase WithKeys(std::string AKeys) const {
    TCase c = *this;
    c.Keys = std::move(AKeys);
    return c;
  }
  TCase Serving(std::function<void(TServedFiles&)> AServe) const {
    TCase c = *this;
    c.Serve = std::move(AServe);
    return c;
  }
  TCase Failing(std::string AFailure) const {
    TCase c = *this;
    c.Failure = std::move(AFailure);
    return c;
  }
  TCase Fetched() const {
    TCase c = *this;
    c.ArchiveFetched = true;
    return c;
  }
};

inline TCase Case(std::string AName) {
  TCase c;
  c.Name = std::move(AName);
  return c;
}

// The signature served as another fixture's.
inline std::function<void(TServedFiles&)> SignatureFile(const std::string& AVariant) {
  return [AVariant](TServedFiles& s) {
    s.Files[kSignaturePath].Body = trusttest::Signature(AVariant);
  };
}

inline std::string Mismatch() {
  return "The setup archive does not match its signature; nothing was installed.";
}
inline std::string NotDownloaded(const std::string& AReason) {
  return "The signature of the setup archive could not be downloaded; nothing was "
         "installed.\r\n\r\n" +
         AReason;
}
inline std::string Malformed(const std::string& AField) {
  return "The signature of the setup archive is malformed (its \"" + AField +
         "\" line); nothing was installed.";
}

// The served archive with one byte changed at the given place; the signature stays.
inline std::function<void(TServedFiles&)> FlipByteAt(double AFraction) {
  return [AFraction](TServedFiles& s) {
    std::string& body = s.Files[kArchivePath].Body;
    const size_t at = std::min(body.size() - 1, static_cast<size_t>(body.size() * AFraction));
    body[at] = static_cast<char>(body[at] ^ 0x01);
  };
}

// The signature served with the value of one field's line changed.
inline std::function<void(TServedFiles&)> SpoilField(const std::string& AField) {
  return [AField](TServedFiles& s) {
    std::string& text = s.Files[kSignaturePath].Body;
    const size_t at =
        text.find(AField == "plenwick-archive-signature" ? AField + ": " : "\n" + AField + ": ");
    const size_t end = text.find('\n', at + 1);
    text.insert(end, "\x01");
  };
}

inline std::vector<TCase> Cases() {
  const std::string size = std::to_string(trusttest::Archive().size());
  const std::string unknownKey =
      "The setup archive is signed with a key this program does not know; nothing was installed.";
  const std::string tooLarge =
      "The signature of the setup archive is larger than 4096 bytes; nothing was installed.";
  std::vector<TCase> cases = {
      Case("SignedByTheKey").Fetched(),
      Case("OneByteChangedAtTheStart").Serving(FlipByteAt(0)).Failing(Mismatch()).Fetched(),
      Case("OneByteChangedInTheMiddle").Serving(FlipByteAt(0.5)).Failing(Mismatch()).Fetched(),
      Case("OneByteChangedAtTheEnd").Serving(FlipByteAt(1)).Failing(Mismatch()).Fetched(),
      Case("TruncatedArchive")
          .Serving([](TServedFiles& s) { s.Files[kArchivePath].Body.resize(40000); })
          .Failing("The signature is for a setup archive of " + size +
                   " bytes, but the server offers 40000 bytes; nothing was installed."),
      Case("SignatureForAnotherSize")
          .Serving(SignatureFile("other-size"))
          .Failing("The signature is for a setup archive of " +
                   std::to_string(trusttest::Archive().size() + 1) +
                   " bytes, but the server offers " + size + " bytes; nothing was installed."),
      Case("DevelopmentArchiveServedAsStable")
          .Serving(SignatureFile("nightly"))
          .Failing("The signature is for the setup archive \"Archive_x64-nightly.zip\", not for "
                   "\"Archive_x64-stable.zip\"; nothing was installed."),
      Case("UnknownKey").Serving(SignatureFile("other-key")).Failing(unknownKey),
      Case("RotationOldKeyListed")
          .WithKeys("keys-old-new.pem")
          .Serving(SignatureFile("old"))
          .Fetched(),
      Case("RotationNewKeyListed").WithKeys("keys-old-new.pem").Fetched(),
      Case("RotationOldKeyRemoved").Serving(SignatureFile("old")).Failing(unknownKey),
      Case("SignatureMissing")
          .Serving([](TServedFiles& s) { s.Files.erase(kSignaturePath); })
          .Failing(NotDownloaded("HTTP/1.1 404 Not Found.")),
      Case("SignatureAnswering500")
          .Serving(
              [](TServedFiles& s) { s.Files[kSignaturePath].Status = "500 Internal Server Error"; })
          .Failing(NotDownloaded("HTTP/1.1 500 Internal Server Error.")),
      // However a valid signature is framed, its own bytes are all that count against the bound.
      Case("SignatureUntilTheClose")
          .Serving([](TServedFiles& s) {
            s.Files[kSignaturePath].Framing = TAnswer::TFraming::fUntilClose;
          })
          .Fetched(),
      Case("SignatureChunked")
          .Serving([](TServedFiles& s) {
            s.Files[kSignaturePath].Framing = TAnswer::TFraming::fChunked;
          })
          .Fetched(),
      Case("SignatureLargerThan4KiB")
          .Serving([](TServedFiles& s) { s.Files[kSignaturePath].Body += std::string(4000, '#'); })
          .Failing(tooLarge),
      Case("SignatureLargerThan4KiBChunked")
          .Serving([](TServedFiles& s) {
            s.Files[kSignaturePath].Body += std::string(100000, '#');
            s.Files[kSignaturePath].Framing = TAnswer::TFraming::fChunked;
          })
          .Failing(tooLarge),
      Case("SignatureLargerThan4KiBUntilTheClose")
          .Serving([](TServedFiles& s) {
            s.Files[kSignaturePath].Body += std::string(100000, '#');
            s.Files[kSignaturePath].Framing = TAnswer::TFraming::fUntilClose;
          })
          .Failing(tooLarge),
      Case("SignatureReachedThroughARedirect")
          .Serving([](TServedFiles& s) {
            s.Files["/mirror/Archive_x64-stable.zip.sig"] = s.Files[kSignaturePath];
            TAnswer moved;
            moved.Status = "302 Found";
            moved.Fields = "Location: /mirror/Archive_x64-stable.zip.sig\r\n";
            s.Files[kSignaturePath] = moved;
          })
          .Fetched(),
  };
  for (const char* field :
       {"plenwick-archive-signature", "name", "size", "sha256", "key", "signature"})
    cases.push_back(Case(std::string("Malformed_") + (field[0] == 'p' ? "version" : field))
                        .Serving(SpoilField(field))
                        .Failing(Malformed(field)));
  return cases;
}

// The cases that get as far as the archive's download and check.
inline std::vector<TCase> ArchiveFetchedCases() {
  std::vector<TCase> fetched;
  for (const TCase& c : Cases())
    if (c.ArchiveFetched) fetched.push_back(c);
  return fetched;
}

// Cases show as their names in test output.
inline void PrintTo(const TCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Name;
}

inline std::string CaseName(const ::testing::TestParamInfo<TCase>& AInfo) {
  return AInfo.param.Name;
}

}  // namespace signaturecases
