#include "net/IdIPAddress.h"

#include <cstdio>

#include "base/StrUtils.h"

namespace {

bool ParseIPv4Tail(std::string_view AText, uint16_t& AHigh, uint16_t& ALow) {
  uint8_t bytes[4];
  if (!ParseIPv4(AText, bytes)) return false;
  AHigh = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
  ALow = static_cast<uint16_t>(bytes[2] << 8 | bytes[3]);
  return true;
}

}  // namespace

bool ParseIPv4(std::string_view AText, uint8_t ABytes[4], TIdIPv4Form AForm) {
  std::string_view rest = AText;
  for (int part = 0; part < 4; ++part) {
    std::string_view item = rest;
    if (part < 3) {
      const size_t dot = rest.find('.');
      if (dot == std::string_view::npos) return false;
      item = rest.substr(0, dot);
      rest = rest.substr(dot + 1);
    }
    // A further "." in the fourth part makes it no number.
    int value = -1;
    if (AForm == TIdIPv4Form::ifLenient) {
      if (!Trim(item).empty()) value = StrToIntDef(item, -1);
    } else if (!item.empty() && item.size() <= 3) {
      value = 0;
      for (char c : item) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
      }
    }
    if (value < 0 || value > 255) return false;
    ABytes[part] = static_cast<uint8_t>(value);
  }
  return true;
}

bool IsIPv6Literal(std::string_view AText) {
  const size_t zone = AText.find('%');
  if (zone != std::string_view::npos) {
    if (zone + 1 == AText.size()) return false;
    AText = AText.substr(0, zone);
  }
  uint16_t words[8];
  return ParseIPv6(AText, words);
}

bool ParseIPv6(std::string_view AText, uint16_t AWords[8]) {
  std::string_view text = AText;
  uint16_t* words = AWords;
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
    text = text.substr(1, text.size() - 2);
  uint16_t parsed[8] = {};
  int count = 0;
  int gapAt = -1;  // index in parsed where "::" stands
  size_t i = 0;
  if (text.substr(0, 2) == "::") {
    gapAt = 0;
    i = 2;
    if (i == text.size()) {
      for (int k = 0; k < 8; ++k)
        words[k] = 0;
      return true;
    }
  } else if (!text.empty() && text[0] == ':') {
    return false;
  }
  while (i < text.size()) {
    if (count >= 8) return false;
    // A dotted IPv4 tail takes the last two words.
    const size_t nextColon = text.find(':', i);
    const std::string_view group = text.substr(
        i, nextColon == std::string_view::npos ? std::string_view::npos : nextColon - i);
    if (nextColon == std::string_view::npos && group.find('.') != std::string_view::npos) {
      if (count > 6) return false;
      if (!ParseIPv4Tail(group, parsed[count], parsed[count + 1])) return false;
      count += 2;
      i = text.size();
      break;
    }
    if (group.empty() || group.size() > 4) return false;
    int value = 0;
    for (char c : group) {
      const int h = HexValue(c);
      if (h < 0) return false;
      value = value * 16 + h;
    }
    parsed[count++] = static_cast<uint16_t>(value);
    i += group.size();
    if (i == text.size()) break;
    // At a ":"; a second one marks the gap.
    ++i;
    if (i < text.size() && text[i] == ':') {
      if (gapAt >= 0) return false;
      gapAt = count;
      ++i;
    } else if (i == text.size()) {
      return false;  // a trailing single ":"
    }
  }
  if (gapAt < 0) {
    if (count != 8) return false;
    for (int k = 0; k < 8; ++k)
      words[k] = parsed[k];
    return true;
  }
  if (count > 7) return false;
  const int zeros = 8 - count;
  int out = 0;
  for (int k = 0; k < gapAt; ++k)
    words[out++] = parsed[k];
  for (int k = 0; k < zeros; ++k)
    words[out++] = 0;
  for (int k = gapAt; k < count; ++k)
    words[out++] = parsed[k];
  return true;
}

std::string FormatIPv6(const uint16_t AWords[8]) {
  const uint16_t* words = AWords;
  // The longest run of two or more zero words (the first of equal runs) becomes "::".
  int bestStart = -1, bestLength = 0;
  for (int k = 0; k < 8;) {
    if (words[k] != 0) {
      ++k;
      continue;
    }
    int end = k;
    while (end < 8 && words[end] == 0)
      ++end;
    if (end - k > bestLength && end - k >= 2) {
      bestStart = k;
      bestLength = end - k;
    }
    k = end;
  }
  std::string out;
  char buf[8];
  for (int k = 0; k < 8; ++k) {
    if (k == bestStart) {
      out += "::";
      k += bestLength - 1;
      continue;
    }
    if (!out.empty() && out.back() != ':') out += ':';
    std::snprintf(buf, sizeof buf, "%x", static_cast<unsigned>(words[k]));
    out += buf;
  }
  return out;
}
