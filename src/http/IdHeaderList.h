#pragma once

#include <string>
#include <string_view>

#include "base/StringList.h"

enum TIdHeaderQuotingType { QuotePlain, QuoteRFC822, QuoteMIME, QuoteHTTP };

// Message header lines in the order written or received, looked up by name without regard to
// letter case. A line that begins with a space or a tab continues the value of the header line
// above it. Values are read unfolded and written folded at FoldLength.
class TIdHeaderList : public TStringList {
 public:
  explicit TIdHeaderList(TIdHeaderQuotingType AQuoteType);

  // The text before the first colon of the line at Index (not trimmed); empty without a colon.
  std::string GetName(int Index) const;
  // First line whose name equals AName ignoring case, or -1.
  int IndexOfName(std::string_view AName) const;

  // The unfolded value of the first AName line; empty when absent.
  std::string GetValue(std::string_view AName) const;
  std::string Values(std::string_view AName) const { return GetValue(AName); }
  // Replaces the first AName line in place (folded), appends it when absent, or deletes it
  // (with its continuation lines) when AValue is empty.
  void SetValue(std::string_view AName, std::string_view AValue);
  // Appends a new AName line even when the name already occurs; nothing when either is empty.
  void AddValue(std::string_view AName, std::string_view AValue);

  // The value of the line at VLine with its continuation lines joined; VLine is advanced past
  // them. Empty (and VLine unchanged) for an index outside the list.
  std::string ValueAtLine(int& VLine) const;
  // Advances VLine past the line and its continuation lines.
  void SkipHeaderAt(int& VLine) const;

  // Appends the value of every AName line, in list order, to ADest.
  void Extract(std::string_view AName, TStringList* ADest) const;
  // Appends "name=value" for every header line.
  void ConvertToStdValues(TStringList* ADest) const;
  // AddValue for each "name=value" entry of ASrc.
  void AddStdValues(const TStringList* ASrc);

  // Sub-items "name=value" after ";" of one header value (as in Content-Type: text/html;
  // charset=utf-8). GetAllParams gives them as "name=value" entries, unquoted.
  std::string GetParam(std::string_view AName, std::string_view AParam) const;
  void SetParam(std::string_view AName, std::string_view AParam, std::string_view AValue);
  void GetAllParams(std::string_view AName, TStringList* AParams) const;
  void SetAllParams(std::string_view AName, const TStringList& AParams);

  std::string NameValueSeparator = ": ";
  bool UnfoldLines = true;
  bool FoldLines = true;
  int FoldLength;

 protected:
  // Writes one logical line at AIndex, word-wrapped at FoldLength into a line and continuation
  // lines that start with one space.
  void FoldAndInsert(std::string_view AString, int AIndex);

 private:
  bool IsContinuation(int AIndex) const;
  void DeleteContinuationsBelow(int AIndex);
  TIdHeaderQuotingType QuoteTypeFor(std::string_view AName) const;

  TIdHeaderQuotingType FQuoteType;
};
