#include "http/IdHeaderList.h"

#include <limits>
#include <vector>

#include "base/StrUtils.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimBlanksLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i]))
    ++i;
  return s.substr(i);
}

// Word-wraps one logical header line. A break may come after a space, a tab or a comma outside
// double quotes, never inside the name or before the first character of the value. Each piece
// is as long as fits in foldLength; when no break point fits, the line breaks at the first one
// after the limit, and a line without break points stays whole. Continuation pieces start with
// one space; trailing blanks are removed from every piece.
std::vector<std::string> FoldLine(std::string_view ALine, size_t AFoldLength) {
  std::vector<std::string> pieces;
  // No break before the first character of the value.
  size_t minBreak = 0;
  const size_t colon = ALine.find(':');
  if (colon != std::string_view::npos) {
    minBreak = colon + 1;
    while (minBreak < ALine.size() && IsBlank(ALine[minBreak]))
      ++minBreak;
    ++minBreak;
  }
  std::string_view rest = ALine;
  std::string prefix;
  while (true) {
    if (prefix.size() + rest.size() <= AFoldLength) break;
    size_t best = std::string_view::npos;
    size_t beyond = std::string_view::npos;
    bool quoted = false;
    for (size_t i = 0; i < rest.size(); ++i) {
      const char c = rest[i];
      if (c == '"') {
        quoted = !quoted;
      } else if (c == '\\' && quoted && i + 1 < rest.size()) {
        ++i;  // an escaped character inside quotes
      } else if (!quoted && (IsBlank(c) || c == ',') && i + 1 >= minBreak) {
        const size_t cut = i + 1;
        if (TrimBlanksLeft(rest.substr(cut)).empty()) break;  // nothing left to continue with
        if (prefix.size() + TrimRight(rest.substr(0, cut)).size() <= AFoldLength) {
          best = cut;
        } else {
          beyond = cut;
          break;
        }
      }
    }
    const size_t cut = best != std::string_view::npos ? best : beyond;
    if (cut == std::string_view::npos) break;
    pieces.push_back(prefix + std::string(TrimRight(rest.substr(0, cut))));
    rest = TrimBlanksLeft(rest.substr(cut));
    prefix = " ";
    minBreak = 0;
  }
  pieces.push_back(prefix + std::string(TrimRight(rest)));
  return pieces;
}

// Characters that force a parameter value into quotes, by quoting style.
std::string_view Specials(TIdHeaderQuotingType AType) {
  switch (AType) {
    case QuotePlain:
      return {};
    case QuoteRFC822:
      return "()<>@,;:\\\".[] \t";
    case QuoteMIME:
      return "()<>@,;:\\\"/[]?= \t";
    case QuoteHTTP:
      return "()<>@,;:\\\"/[]?={} \t";
  }
  return {};
}

std::string QuoteParam(std::string_view AValue, TIdHeaderQuotingType AType) {
  const std::string_view specials = Specials(AType);
  if (specials.empty()) return std::string(AValue);
  bool needsQuotes = AValue.empty();
  for (char c : AValue)
    if (specials.find(c) != std::string_view::npos || static_cast<unsigned char>(c) < 0x20)
      needsQuotes = true;
  if (!needsQuotes) return std::string(AValue);
  std::string out = "\"";
  for (char c : AValue) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

std::string UnquoteParam(std::string_view AValue, TIdHeaderQuotingType AType) {
  if (AType == QuotePlain || AValue.empty() || AValue[0] != '"') return std::string(AValue);
  std::string out;
  for (size_t i = 1; i < AValue.size(); ++i) {
    if (AValue[i] == '"') break;
    if (AValue[i] == '\\' && i + 1 < AValue.size()) ++i;
    out += AValue[i];
  }
  return out;
}

// Splits a header value at the semicolons outside double quotes.
std::vector<std::string_view> SplitParams(std::string_view AValue) {
  std::vector<std::string_view> parts;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i < AValue.size(); ++i) {
    if (AValue[i] == '"') {
      quoted = !quoted;
    } else if (AValue[i] == '\\' && quoted) {
      ++i;
    } else if (AValue[i] == ';' && !quoted) {
      parts.push_back(AValue.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(AValue.substr(start));
  return parts;
}

}  // namespace

TIdHeaderList::TIdHeaderList(TIdHeaderQuotingType AQuoteType)
    : FoldLength(AQuoteType == QuoteHTTP ? std::numeric_limits<int>::max() : 78),
      FQuoteType(AQuoteType) {}

bool TIdHeaderList::IsContinuation(int AIndex) const {
  const std::string& line = FItems[static_cast<size_t>(AIndex)];
  return !line.empty() && IsBlank(line[0]);
}

std::string TIdHeaderList::GetName(int Index) const {
  const std::string& line = Strings(Index);
  std::string_view separator = TrimRight(NameValueSeparator);
  if (separator.empty()) separator = ":";
  const size_t pos = line.find(separator);
  return pos == std::string::npos ? std::string() : line.substr(0, pos);
}

int TIdHeaderList::IndexOfName(std::string_view AName) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(GetName(i), AName)) return i;
  return -1;
}

std::string TIdHeaderList::GetValue(std::string_view AName) const {
  int index = IndexOfName(AName);
  return index < 0 ? std::string() : ValueAtLine(index);
}

std::string TIdHeaderList::ValueAtLine(int& VLine) const {
  if (VLine < 0 || VLine >= Count()) return std::string();
  const std::string& line = FItems[static_cast<size_t>(VLine)];
  ++VLine;
  std::string_view separator = TrimRight(NameValueSeparator);
  if (separator.empty()) separator = ":";
  const size_t pos = line.find(separator);
  std::string value(TrimLeft(pos == std::string::npos
                                 ? std::string_view(line)
                                 : std::string_view(line).substr(pos + separator.size())));
  if (UnfoldLines) {
    // The value is already trimmed on the left: trimming its right end trims it whole.
    while (VLine < Count() && IsContinuation(VLine)) {
      value.resize(TrimRight(value).size());
      value += ' ';
      value += Trim(FItems[static_cast<size_t>(VLine)]);
      ++VLine;
    }
  }
  return std::string(Trim(value));
}

void TIdHeaderList::SkipHeaderAt(int& VLine) const {
  if (VLine < 0 || VLine >= Count()) return;
  ++VLine;
  if (UnfoldLines)
    while (VLine < Count() && IsContinuation(VLine))
      ++VLine;
}

void TIdHeaderList::DeleteContinuationsBelow(int AIndex) {
  while (AIndex + 1 < Count() && IsContinuation(AIndex + 1))
    Delete(AIndex + 1);
}

void TIdHeaderList::SetValue(std::string_view AName, std::string_view AValue) {
  // A line without a name would be read as a continuation or nameless line: write none.
  if (AName.empty()) return;
  int index = IndexOfName(AName);
  if (AValue.empty()) {
    if (index >= 0) {
      if (FoldLines) DeleteContinuationsBelow(index);
      Delete(index);
    }
    return;
  }
  if (index < 0) index = Add(std::string());
  std::string line = std::string(AName) + NameValueSeparator + std::string(AValue);
  if (FoldLines) {
    DeleteContinuationsBelow(index);
    FoldAndInsert(line, index);
  } else {
    SetStrings(index, std::move(line));
  }
}

void TIdHeaderList::AddValue(std::string_view AName, std::string_view AValue) {
  if (AName.empty() || AValue.empty()) return;
  std::string line = std::string(AName) + NameValueSeparator + std::string(AValue);
  if (FoldLines)
    FoldAndInsert(line, Add(std::string()));
  else
    Add(std::move(line));
}

void TIdHeaderList::FoldAndInsert(std::string_view AString, int AIndex) {
  const size_t length = FoldLength > 0 ? static_cast<size_t>(FoldLength) : 0;
  std::vector<std::string> pieces = FoldLine(AString, length);
  SetStrings(AIndex, std::move(pieces.back()));
  for (size_t i = pieces.size() - 1; i-- > 0;)
    Insert(AIndex, std::move(pieces[i]));
}

void TIdHeaderList::Extract(std::string_view AName, TStringList* ADest) const {
  if (!ADest) return;
  int i = 0;
  while (i < Count()) {
    if (SameText(GetName(i), AName))
      ADest->Add(ValueAtLine(i));
    else
      SkipHeaderAt(i);
  }
}

void TIdHeaderList::ConvertToStdValues(TStringList* ADest) const {
  if (!ADest) return;
  int i = 0;
  while (i < Count()) {
    std::string name = GetName(i);
    ADest->Add(name + "=" + ValueAtLine(i));
  }
}

void TIdHeaderList::AddStdValues(const TStringList* ASrc) {
  if (!ASrc) return;
  for (const std::string& entry : *ASrc) {
    const size_t eq = entry.find('=');
    if (eq == std::string::npos) continue;
    AddValue(std::string_view(entry).substr(0, eq), std::string_view(entry).substr(eq + 1));
  }
}

TIdHeaderQuotingType TIdHeaderList::QuoteTypeFor(std::string_view AName) const {
  const bool mimeHeader = SameText(AName, "Content-Type") || SameText(AName, "Content-Disposition");
  if (FQuoteType == QuoteRFC822 && mimeHeader) return QuoteMIME;
  if (FQuoteType == QuoteMIME && !mimeHeader) return QuoteRFC822;
  return FQuoteType;
}

void TIdHeaderList::GetAllParams(std::string_view AName, TStringList* AParams) const {
  if (!AParams) return;
  const std::string value = GetValue(AName);
  const std::vector<std::string_view> parts = SplitParams(value);
  const TIdHeaderQuotingType type = QuoteTypeFor(AName);
  for (size_t i = 1; i < parts.size(); ++i) {
    const std::string_view item = Trim(parts[i]);
    if (item.empty()) continue;
    const size_t eq = item.find('=');
    if (eq == std::string_view::npos) {
      AParams->Add(std::string(item) + "=");
      continue;
    }
    AParams->Add(std::string(Trim(item.substr(0, eq))) + "=" +
                 UnquoteParam(Trim(item.substr(eq + 1)), type));
  }
}

std::string TIdHeaderList::GetParam(std::string_view AName, std::string_view AParam) const {
  TStringList params;
  GetAllParams(AName, &params);
  for (const std::string& entry : params) {
    const size_t eq = entry.find('=');
    if (SameText(std::string_view(entry).substr(0, eq), AParam)) return entry.substr(eq + 1);
  }
  return std::string();
}

void TIdHeaderList::SetAllParams(std::string_view AName, const TStringList& AParams) {
  const std::string current = GetValue(AName);
  std::string value(Trim(SplitParams(current).front()));
  const TIdHeaderQuotingType type = QuoteTypeFor(AName);
  for (const std::string& entry : AParams) {
    const size_t eq = entry.find('=');
    const std::string_view name = Trim(std::string_view(entry).substr(0, eq));
    if (name.empty()) continue;
    const std::string_view paramValue =
        eq == std::string::npos ? std::string_view() : std::string_view(entry).substr(eq + 1);
    value += "; " + std::string(name) + "=" + QuoteParam(paramValue, type);
  }
  SetValue(AName, value);
}

void TIdHeaderList::SetParam(std::string_view AName, std::string_view AParam,
                             std::string_view AValue) {
  TStringList params;
  GetAllParams(AName, &params);
  bool found = false;
  for (int i = params.Count() - 1; i >= 0; --i) {
    const size_t eq = params[i].find('=');
    if (!SameText(std::string_view(params[i]).substr(0, eq), AParam)) continue;
    if (AValue.empty() || found) {
      params.Delete(i);
    } else {
      params.SetStrings(i, std::string(AParam) + "=" + std::string(AValue));
      found = true;
    }
  }
  if (!found && !AValue.empty()) params.Add(std::string(AParam) + "=" + std::string(AValue));
  SetAllParams(AName, params);
}
