#include <gtest/gtest.h>

#include <limits>

#include "http/IdHeaderList.h"

namespace {

TIdHeaderList Received(std::initializer_list<const char*> lines) {
  TIdHeaderList list(QuoteHTTP);
  for (const char* line : lines)
    list.Add(line);
  return list;
}

std::vector<std::string> Lines(const TStringList& list) {
  return std::vector<std::string>(list.begin(), list.end());
}

}  // namespace

TEST(IdHeaderList, DefaultsDependOnTheQuotingStyle) {
  TIdHeaderList http(QuoteHTTP);
  EXPECT_EQ(http.FoldLength, std::numeric_limits<int>::max());
  EXPECT_EQ(http.NameValueSeparator, ": ");
  EXPECT_TRUE(http.FoldLines);
  EXPECT_TRUE(http.UnfoldLines);
  for (TIdHeaderQuotingType t : {QuotePlain, QuoteRFC822, QuoteMIME})
    EXPECT_EQ(TIdHeaderList(t).FoldLength, 78);
}

TEST(IdHeaderList, NamesAreTheTextBeforeTheFirstColon) {
  TIdHeaderList list = Received({"Content-Length : 5", "Content-Type:text/plain", "no colon",
                                 "Date: Wed, 09 Dec 2026 10:00:00 GMT"});
  // A space before the colon belongs to the name, so the lookup misses it.
  EXPECT_EQ(list.GetName(0), "Content-Length ");
  EXPECT_EQ(list.GetValue("Content-Length"), "");
  EXPECT_EQ(list.IndexOfName("content-length"), -1);
  EXPECT_EQ(list.GetValue("content-type"), "text/plain");
  EXPECT_EQ(list.GetName(2), "");
  EXPECT_EQ(list.GetValue("DATE"), "Wed, 09 Dec 2026 10:00:00 GMT");
  EXPECT_EQ(list.GetValue("Missing"), "");
  int line = 2;
  EXPECT_EQ(list.ValueAtLine(line), "no colon");
  EXPECT_EQ(line, 3);
}

TEST(IdHeaderList, ContinuationLinesAreJoinedWithOneSpace) {
  TIdHeaderList list = Received({"X-A: one  ", "   two", "\tthree ", "X-B: four", "Set-Cookie: a=1",
                                 "Set-Cookie: b=2", " ; Path=/x"});
  EXPECT_EQ(list.GetValue("x-a"), "one two three");
  EXPECT_EQ(list.GetValue("X-B"), "four");

  TStringList values;
  list.Extract("X-A", &values);
  EXPECT_EQ(Lines(values), (std::vector<std::string>{"one two three"}));
  values.Clear();
  list.Extract("set-cookie", &values);
  EXPECT_EQ(Lines(values), (std::vector<std::string>{"a=1", "b=2 ; Path=/x"}));
  EXPECT_NO_THROW(list.Extract("X-A", nullptr));

  TStringList std;
  list.ConvertToStdValues(&std);
  EXPECT_EQ(Lines(std), (std::vector<std::string>{"X-A=one two three", "X-B=four", "Set-Cookie=a=1",
                                                  "Set-Cookie=b=2 ; Path=/x"}));

  list.UnfoldLines = false;
  EXPECT_EQ(list.GetValue("X-A"), "one");
  int line = 0;
  list.SkipHeaderAt(line);
  EXPECT_EQ(line, 1);
}

TEST(IdHeaderList, LineIndexesOutsideTheListAreLeftAlone) {
  TIdHeaderList list = Received({"A: 1", " more"});
  for (int start : {-1, 2, 7}) {
    int line = start;
    EXPECT_EQ(list.ValueAtLine(line), "");
    EXPECT_EQ(line, start);
    list.SkipHeaderAt(line);
    EXPECT_EQ(line, start);
  }
  int line = 0;
  list.SkipHeaderAt(line);
  EXPECT_EQ(line, 2);
}

TEST(IdHeaderList, SetValueReplacesInPlaceAppendsAndRemoves) {
  TIdHeaderList list = Received({"Host: a", "Accept: x", " continued", "User-Agent: u"});
  list.SetValue("accept", "y");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"Host: a", "accept: y", "User-Agent: u"}));
  list.SetValue("Cookie", "c=1");
  EXPECT_EQ(list[3], "Cookie: c=1");
  list.SetValue("Host", "");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"accept: y", "User-Agent: u", "Cookie: c=1"}));
  list.SetValue("Missing", "");
  list.SetValue("", "value");
  EXPECT_EQ(list.Count(), 3);

  // Without folding the line is replaced and its continuation lines stay.
  TIdHeaderList plain = Received({"A: 1", " 2", "B: 3"});
  plain.FoldLines = false;
  plain.SetValue("A", "x");
  EXPECT_EQ(Lines(plain), (std::vector<std::string>{"A: x", " 2", "B: 3"}));
  plain.FoldLines = true;
  plain.SetValue("A", "");
  EXPECT_EQ(Lines(plain), (std::vector<std::string>{"B: 3"}));
}

TEST(IdHeaderList, AddValueAppendsEvenForAKnownName) {
  TIdHeaderList list(QuoteHTTP);
  list.AddValue("Set-Cookie", "a=1");
  list.AddValue("Set-Cookie", "b=2");
  list.AddValue("", "x");
  list.AddValue("X", "");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"Set-Cookie: a=1", "Set-Cookie: b=2"}));

  TStringList src;
  src.Add("A=1=2");
  src.Add("novalue");
  src.Add("B=");
  src.Add("C= c");
  list.Clear();
  list.AddStdValues(&src);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"A: 1=2", "C:  c"}));
  EXPECT_EQ(list.GetValue("C"), "c");
}

TEST(IdHeaderList, LongValuesFoldAtBreakPointsAndUnfoldBack) {
  TIdHeaderList list(QuoteRFC822);
  list.FoldLength = 20;
  const std::string value = "alpha, beta gamma delta \"q u, o\" epsilonzetaetatheta, iota";
  list.Add("First: 1");
  list.SetValue("X-Long", value);
  list.Add("Last: 2");
  EXPECT_EQ(Lines(list),
            (std::vector<std::string>{"First: 1", "X-Long: alpha, beta", " gamma delta",
                                      " \"q u, o\"", " epsilonzetaetatheta,", " iota", "Last: 2"}));
  EXPECT_EQ(list.GetValue("X-Long"), value);

  // Rewriting the value drops the old continuation lines.
  list.SetValue("X-Long", "short");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"First: 1", "X-Long: short", "Last: 2"}));
}

TEST(IdHeaderList, LinesWithoutBreakPointsStayWhole) {
  TIdHeaderList list(QuoteRFC822);
  list.FoldLength = 10;
  const std::string token(40, 'x');
  list.AddValue("Name", token);
  list.AddValue("Quoted", "\"a b c d e f g h\"");
  list.AddValue("Trailing", "abcdefghijkl,  ");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"Name: " + token, "Quoted: \"a b c d e f g h\"",
                                                   "Trailing: abcdefghijkl,"}));
  // A 1000-character value stays on one line at the request headers' fold length.
  list.Clear();
  list.FoldLength = 1024;
  std::string words;
  while (words.size() < 1000)
    words += "word ";
  list.AddValue("X", words);
  EXPECT_EQ(list.Count(), 1);
}

TEST(IdHeaderList, ParametersAreReadAndReplaced) {
  TIdHeaderList list(QuoteHTTP);
  list.SetValue("Content-Type", "text/html");
  list.SetParam("Content-Type", "charset", "utf-8");
  EXPECT_EQ(list.GetValue("Content-Type"), "text/html; charset=utf-8");
  list.SetParam("Content-Type", "name", "a b;c");
  EXPECT_EQ(list.GetValue("Content-Type"), "text/html; charset=utf-8; name=\"a b;c\"");
  EXPECT_EQ(list.GetParam("content-type", "NAME"), "a b;c");
  list.SetParam("Content-Type", "CHARSET", "");
  EXPECT_EQ(list.GetValue("Content-Type"), "text/html; name=\"a b;c\"");

  TStringList params;
  list.Clear();
  list.Add("WWW-Authenticate: Basic; realm=\"x \\\"y\\\"\"; stale=false");
  list.GetAllParams("WWW-Authenticate", &params);
  EXPECT_EQ(Lines(params), (std::vector<std::string>{"realm=x \"y\"", "stale=false"}));
  EXPECT_EQ(list.GetParam("WWW-Authenticate", "missing"), "");
}
