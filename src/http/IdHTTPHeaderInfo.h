#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"
#include "base/Stream.h"
#include "http/IdAuthentication.h"
#include "http/IdHeaderList.h"

// A Content-Length value read strictly: one decimal number, or a comma-separated list of them
// (as a proxy may make of repeated fields), with spaces and tabs around each. The numbers in
// order; none when the value is empty or an element is not a decimal number below 2^63.
std::optional<std::vector<int64_t>> ContentLengthValues(std::string_view AValue);

// One byte range of a "Range" header: "start-end", "start-" or "-suffix" (-1: not given).
struct TIdEntityRange {
  int64_t StartPos = -1;
  int64_t EndPos = -1;
  int64_t SuffixLength = -1;
  std::string Text() const;
};

class TIdEntityRanges {
 public:
  std::string Units = "bytes";
  std::vector<TIdEntityRange> Items;
  int Count() const { return static_cast<int>(Items.size()); }
  void Clear() { Items.clear(); }
  // The ranges joined by ",".
  std::string Text() const;
};

// The typed header fields shared by requests and responses, mirrored to and from RawHeaders.
class TIdEntityHeaderInfo {
 public:
  TIdEntityHeaderInfo();
  virtual ~TIdEntityHeaderInfo() = default;
  TIdEntityHeaderInfo(const TIdEntityHeaderInfo&) = delete;
  TIdEntityHeaderInfo& operator=(const TIdEntityHeaderInfo&) = delete;

  // Empties the strings (Pragma and TransferEncoding excepted), sets the lengths and ranges to
  // -1 and the dates to 0, and clears RawHeaders.
  virtual void Clear();
  // The content type without its parameters, lower-case.
  std::string MediaType() const;

  std::string CacheControl;
  TIdHeaderList RawHeaders{QuoteHTTP};
  std::string CharSet;
  std::string Connection;
  std::string ContentDisposition;
  std::string ContentEncoding;
  std::string ContentLanguage;
  int64_t ContentLength = -1;
  int64_t ContentRangeEnd = -1;
  int64_t ContentRangeStart = -1;
  int64_t ContentRangeInstanceLength = -1;
  std::string ContentRangeUnits;
  std::string ContentType;
  std::string ContentVersion;
  TIdHeaderList CustomHeaders{QuoteHTTP};
  TDateTime Date = 0;
  TDateTime Expires = 0;
  std::string ETag;
  TDateTime LastModified = 0;
  std::string Pragma;
  bool HasContentLength = false;
  std::string TransferEncoding;
};

// The header fields of a request. Clear runs once, at construction.
class TIdRequestHeaderInfo : public TIdEntityHeaderInfo {
 public:
  TIdRequestHeaderInfo();
  ~TIdRequestHeaderInfo() override;

  void Clear() override;
  // Rebuilds RawHeaders from the fields, in the fixed order of a request head.
  virtual void SetHeaders();

  bool BasicAuthentication() const { return FBasicByDefault; }
  void SetBasicAuthentication(bool v) { FBasicByDefault = v; }
  const std::string& Expect() const { return FExpect; }
  void SetExpect(std::string v) { FExpect = std::move(v); }

  std::string Accept;
  std::string AcceptCharSet;
  std::string AcceptEncoding;
  std::string AcceptLanguage;
  std::string FExpect;
  std::string From;
  std::string Password;
  std::string Referer;
  std::string UserAgent;
  std::string Username;
  std::string Host;
  std::string ProxyConnection;
  TIdEntityRanges Ranges;
  bool FBasicByDefault = false;
  // The scheme that signs requests; owned.
  std::unique_ptr<TIdAuthentication> Authentication;
  std::string MethodOverride;
};

// The header fields of a response.
class TIdResponseHeaderInfo : public TIdEntityHeaderInfo {
 public:
  TIdResponseHeaderInfo();

  // The entity Clear, then ContentType, CharSet, Location, Server, AcceptRanges and both
  // challenge lists emptied.
  void Clear() override;
  // Fills the fields from RawHeaders.
  virtual void ParseHeaders();

  std::string AcceptRanges;
  std::string Location;
  std::string Server;
  std::string ProxyConnection;
  TIdHeaderList ProxyAuthenticate{QuoteHTTP};
  TIdHeaderList WWWAuthenticate{QuoteHTTP};

 protected:
  void ParseContentType(const std::string& AValue);
  void ParseContentRange(const std::string& AValue);
};

// Header fields an HTML page declares in its <meta http-equiv="..." content="..."> tags.
class TIdMetaHTTPEquiv : public TIdEntityHeaderInfo {
 public:
  TIdMetaHTTPEquiv() = default;
  // Reads the page from AFrom to the end (the position is restored) and puts the declared
  // name/value pairs into RawHeaders. True when it found any.
  bool ProcessMetaHTTPEquiv(TStream& AStream, int64_t AFrom = 0);
};
