// The scan of an HTML page for the header fields its meta tags declare.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "base/StrUtils.h"
#include "http/IdHTTPHeaderInfo.h"

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// The attributes of one tag, from just after its name to its ">" (or the end of the text).
// AAt ends after the tag.
std::vector<std::pair<std::string, std::string>> Attributes(std::string_view AText, size_t& AAt) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t i = AAt;
  for (;;) {
    while (i < AText.size() && (IsSpace(AText[i]) || AText[i] == '/'))
      ++i;
    if (i >= AText.size() || AText[i] == '>') break;
    const size_t nameStart = i;
    while (i < AText.size() && !IsSpace(AText[i]) && AText[i] != '=' && AText[i] != '>')
      ++i;
    std::string name = LowerCase(AText.substr(nameStart, i - nameStart));
    while (i < AText.size() && IsSpace(AText[i]))
      ++i;
    std::string value;
    if (i < AText.size() && AText[i] == '=') {
      ++i;
      while (i < AText.size() && IsSpace(AText[i]))
        ++i;
      if (i < AText.size() && (AText[i] == '"' || AText[i] == '\'')) {
        const char quote = AText[i++];
        const size_t close = AText.find(quote, i);
        const size_t end = close == std::string_view::npos ? AText.size() : close;
        value = std::string(AText.substr(i, end - i));
        i = end == AText.size() ? end : end + 1;
      } else {
        const size_t valueStart = i;
        while (i < AText.size() && !IsSpace(AText[i]) && AText[i] != '>')
          ++i;
        value = std::string(AText.substr(valueStart, i - valueStart));
      }
    }
    if (!name.empty()) out.emplace_back(std::move(name), std::move(value));
  }
  AAt = i < AText.size() ? i + 1 : i;
  return out;
}

}  // namespace

bool TIdMetaHTTPEquiv::ProcessMetaHTTPEquiv(TStream& AStream, int64_t AFrom) {
  const int64_t position = AStream.Position();
  AFrom = std::clamp<int64_t>(AFrom, 0, AStream.Size());
  std::string text(static_cast<size_t>(AStream.Size() - AFrom), '\0');
  AStream.SetPosition(AFrom);
  if (!text.empty()) AStream.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  AStream.SetPosition(position);

  bool found = false;
  size_t i = 0;
  while ((i = text.find('<', i)) != std::string::npos) {
    ++i;
    size_t nameEnd = i;
    while (nameEnd < text.size() && !IsSpace(text[nameEnd]) && text[nameEnd] != '>' &&
           text[nameEnd] != '/')
      ++nameEnd;
    const std::string tag = LowerCase(std::string_view(text).substr(i, nameEnd - i));
    if (tag == "body" || (tag.empty() && StartsText("/head", std::string_view(text).substr(i))))
      break;
    if (tag == "!--") {
      const size_t close = text.find("-->", i);
      if (close == std::string::npos) break;
      i = close + 3;
      continue;
    }
    if (tag != "meta") continue;
    size_t at = nameEnd;
    std::string equiv, content;
    bool haveContent = false;
    for (auto& [name, value] : Attributes(text, at)) {
      if (name == "http-equiv") equiv = std::string(Trim(value));
      if (name == "content") {
        content = value;
        haveContent = true;
      }
    }
    i = at;
    if (!equiv.empty() && haveContent) {
      RawHeaders.AddValue(equiv, content);
      found = true;
    }
  }
  return found;
}
