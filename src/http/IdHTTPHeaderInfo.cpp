#include "http/IdHTTPHeaderInfo.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

#include "base/StrUtils.h"
#include "http/IdHTTPDate.h"

namespace {

std::string Unquote(std::string_view v) {
  v = Trim(v);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return std::string(v);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::optional<std::vector<int64_t>> ContentLengthValues(std::string_view AValue) {
  std::vector<int64_t> values;
  for (;;) {
    const size_t comma = AValue.find(',');
    std::string_view element = AValue.substr(0, comma);
    while (!element.empty() && IsBlank(element.front()))
      element.remove_prefix(1);
    while (!element.empty() && IsBlank(element.back()))
      element.remove_suffix(1);
    if (element.empty()) return std::nullopt;
    int64_t value = 0;
    for (char c : element) {
      if (c < '0' || c > '9') return std::nullopt;
      if (value > (std::numeric_limits<int64_t>::max() - (c - '0')) / 10) return std::nullopt;
      value = value * 10 + (c - '0');
    }
    values.push_back(value);
    if (comma == std::string_view::npos) return values;
    AValue.remove_prefix(comma + 1);
  }
}

std::string TIdEntityRange::Text() const {
  if (StartPos >= 0)
    return std::to_string(StartPos) + "-" + (EndPos >= 0 ? std::to_string(EndPos) : "");
  if (SuffixLength >= 0) return "-" + std::to_string(SuffixLength);
  return {};
}

std::string TIdEntityRanges::Text() const {
  std::string out;
  for (const TIdEntityRange& r : Items) {
    const std::string t = r.Text();
    if (t.empty()) continue;
    if (!out.empty()) out += ',';
    out += t;
  }
  return out;
}

// ---------------------------------------------------------------------------------------------

TIdEntityHeaderInfo::TIdEntityHeaderInfo() {
  RawHeaders.FoldLength = 1024;
  TIdEntityHeaderInfo::Clear();
}

void TIdEntityHeaderInfo::Clear() {
  CacheControl.clear();
  CharSet.clear();
  Connection.clear();
  ContentDisposition.clear();
  ContentEncoding.clear();
  ContentLanguage.clear();
  ContentLength = -1;
  ContentRangeEnd = -1;
  ContentRangeStart = -1;
  ContentRangeInstanceLength = -1;
  ContentRangeUnits.clear();
  ContentType.clear();
  ContentVersion.clear();
  Date = 0;
  Expires = 0;
  ETag.clear();
  LastModified = 0;
  RawHeaders.Clear();
}

std::string TIdEntityHeaderInfo::MediaType() const {
  return LowerCase(Trim(std::string_view(ContentType).substr(0, ContentType.find(';'))));
}

// ---------------------------------------------------------------------------------------------

TIdRequestHeaderInfo::TIdRequestHeaderInfo() {
  TIdRequestHeaderInfo::Clear();
}

TIdRequestHeaderInfo::~TIdRequestHeaderInfo() = default;

void TIdRequestHeaderInfo::Clear() {
  Accept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
  AcceptCharSet.clear();
  UserAgent = "Mozilla/3.0 (compatible; HTTP Client Library)";
  FBasicByDefault = false;
  Ranges.Clear();
  MethodOverride.clear();
  TIdEntityHeaderInfo::Clear();
}

void TIdRequestHeaderInfo::SetHeaders() {
  TIdHeaderList& h = RawHeaders;
  h.Clear();
  auto put = [&h](std::string_view AName, const std::string& AValue) {
    if (!AValue.empty()) h.SetValue(AName, AValue);
  };
  put("Connection", Connection);
  put("Content-Version", ContentVersion);
  put("Content-Disposition", ContentDisposition);
  put("Content-Encoding", ContentEncoding);
  put("Content-Language", ContentLanguage);
  if (!ContentType.empty()) {
    h.SetValue("Content-Type", ContentType);
    h.SetParam("Content-Type", "charset", CharSet);
  }
  if (ContentLength >= 0) h.SetValue("Content-Length", std::to_string(ContentLength));
  put("Cache-control", CacheControl);
  if (Date > 0) h.SetValue("Date", LocalDateTimeToHTTPDate(Date));
  put("ETag", ETag);
  if (Expires > 0) h.SetValue("Expires", LocalDateTimeToHTTPDate(Expires));
  put("Pragma", Pragma);
  put("Transfer-Encoding", TransferEncoding);
  for (const std::string& line : CustomHeaders)
    h.Add(line);
  put("Proxy-Connection", ProxyConnection);
  put("Host", Host);
  put("Accept", Accept);
  put("Accept-Charset", AcceptCharSet);
  put("Accept-Encoding", AcceptEncoding);
  put("Accept-Language", AcceptLanguage);
  put("From", From);
  put("Referer", Referer);
  put("User-Agent", UserAgent);
  if (Ranges.Count() > 0) h.SetValue("Range", Ranges.Units + "=" + Ranges.Text());
  if (LastModified > 0) h.SetValue("If-Modified-Since", LocalDateTimeToHTTPDate(LastModified));
  std::string authorization;
  if (Authentication) {
    authorization = Authentication->Authentication();
  } else if (FBasicByDefault) {
    Authentication = std::make_unique<TIdBasicAuthentication>();
    Authentication->SetUsername(Username);
    Authentication->SetPassword(Password);
    authorization = Authentication->Authentication();
  }
  put("Authorization", authorization);
  put("X-HTTP-Method-Override", MethodOverride);
}

// ---------------------------------------------------------------------------------------------

TIdResponseHeaderInfo::TIdResponseHeaderInfo() {
  TIdResponseHeaderInfo::Clear();
}

void TIdResponseHeaderInfo::Clear() {
  TIdEntityHeaderInfo::Clear();
  ContentType.clear();
  CharSet.clear();
  Location.clear();
  Server.clear();
  AcceptRanges.clear();
  ProxyAuthenticate.Clear();
  WWWAuthenticate.Clear();
}

void TIdResponseHeaderInfo::ParseContentType(const std::string& AValue) {
  ContentType.clear();
  CharSet.clear();
  if (Trim(AValue).empty()) return;
  bool haveCharSet = false;
  std::string rest = AValue;
  bool more = true;
  while (more) {
    more = rest.find(';') != std::string::npos;
    const std::string item = Fetch(rest, ';');
    const size_t eq = item.find('=');
    if (eq != std::string::npos &&
        SameText(Trim(std::string_view(item).substr(0, eq)), "charset")) {
      CharSet = Unquote(std::string_view(item).substr(eq + 1));
      haveCharSet = true;
      continue;
    }
    const std::string_view trimmed = Trim(item);
    if (trimmed.empty()) continue;
    if (!ContentType.empty()) ContentType += "; ";
    ContentType += trimmed;
  }
  if (haveCharSet) return;
  const std::string media = MediaType();
  if (media.compare(0, 5, "text/") != 0) return;
  const std::string subtype = media.substr(5);
  if (subtype == "xml" || subtype == "xml-external-parsed-entity" || EndsText("+xml", subtype))
    CharSet = "us-ascii";
  else
    CharSet = "ISO-8859-1";
}

void TIdResponseHeaderInfo::ParseContentRange(const std::string& AValue) {
  ContentRangeUnits.clear();
  ContentRangeStart = ContentRangeEnd = ContentRangeInstanceLength = -1;
  if (AValue.empty()) return;
  std::string rest = AValue;
  ContentRangeUnits = Fetch(rest, ' ');
  ContentRangeStart = StrToInt64Def(Fetch(rest, '-'), -1);
  ContentRangeEnd = StrToInt64Def(Fetch(rest, '/'), -1);
  ContentRangeInstanceLength = StrToInt64Def(Fetch(rest, ' '), -1);
}

void TIdResponseHeaderInfo::ParseHeaders() {
  const TIdHeaderList& h = RawHeaders;
  CacheControl = h.GetValue("Cache-control");
  Connection = h.GetValue("Connection");
  ContentVersion = h.GetValue("Content-Version");
  ContentDisposition = h.GetValue("Content-Disposition");
  ContentEncoding = h.GetValue("Content-Encoding");
  ContentLanguage = h.GetValue("Content-Language");
  ParseContentType(h.GetValue("Content-Type"));
  // A list of one value repeated ("6, 6") is that value.
  const std::string length = h.GetValue("Content-Length");
  const auto lengths = ContentLengthValues(length);
  ContentLength = lengths && std::all_of(lengths->begin(), lengths->end(),
                                         [&](int64_t v) { return v == lengths->front(); })
                      ? lengths->front()
                      : StrToInt64Def(Trim(length), -1);
  HasContentLength = ContentLength >= 0;
  ParseContentRange(h.GetValue("Content-Range"));

  const std::string date = h.GetValue("Date");
  Date = date.empty() ? Now() : GMTToLocalDateTime(date).value_or(0);
  LastModified = GMTToLocalDateTime(h.GetValue("Last-Modified")).value_or(0);
  const std::string expires = h.GetValue("Expires");
  constexpr int64_t kNotANumber = std::numeric_limits<int64_t>::min();
  const int64_t seconds = StrToInt64Def(expires, kNotANumber);
  if (seconds != kNotANumber)
    Expires = seconds < 0 ? 0 : Now() + static_cast<double>(seconds) / SecsPerDay;
  else
    Expires = GMTToLocalDateTime(expires).value_or(IncSecond(Now(), -1));

  ETag = h.GetValue("ETag");
  Pragma = h.GetValue("Pragma");
  TransferEncoding = h.GetValue("Transfer-Encoding");
  Location = h.GetValue("Location");
  Server = h.GetValue("Server");
  ProxyConnection = h.GetValue("Proxy-Connection");
  WWWAuthenticate.Clear();
  h.Extract("WWW-Authenticate", &WWWAuthenticate);
  ProxyAuthenticate.Clear();
  h.Extract("Proxy-Authenticate", &ProxyAuthenticate);
  AcceptRanges = h.GetValue("Accept-Ranges");
}
