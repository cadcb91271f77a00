// Header lines as a server sends them (any bytes, continuation lines, missing colons), read
// back by name with unfolding and Extract; then values and parameters written into the list
// and read back.
//
// Input: one byte choosing the fold length, one byte giving the number of received lines,
// those lines (LF-ended, a CR before the LF is dropped), then groups of an operation byte, a
// name line and a value line.
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "base/StrUtils.h"
#include "http/IdHeaderList.h"

namespace {

const int kFoldLengths[] = {1024, 2147483647, 78, 20, 8, 1, 0};

std::string_view ReceivedLine(TFuzzInput& in) {
  std::string_view line = in.Line();
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// The text without any character up to U+0020: folding and unfolding change only those.
std::string Squeezed(std::string_view s) {
  std::string out;
  for (char c : s)
    if (static_cast<unsigned char>(c) > ' ') out += c;
  return out;
}

// A name that names exactly the lines written under it: no white space, colon, comma or quote.
std::string CleanName(std::string_view s) {
  std::string out;
  for (char c : s)
    if (static_cast<unsigned char>(c) > ' ' && c != ':' && c != ',' && c != '"') out += c;
  return out.empty() ? std::string("X-Fuzz") : out;
}

int CountNamed(const TIdHeaderList& list, std::string_view name) {
  int n = 0;
  for (int i = 0; i < list.Count(); ++i)
    if (SameText(list.GetName(i), name)) ++n;
  return n;
}

void ReadBack(const TIdHeaderList& list) {
  // Walking header by header always moves on and counts the header lines.
  int headers = 0;
  for (int i = 0; i < list.Count(); ++headers) {
    const int before = i;
    list.SkipHeaderAt(i);
    FUZZ_CHECK(i > before && i <= list.Count());
  }
  TStringList std;
  list.ConvertToStdValues(&std);
  FUZZ_CHECK(std.Count() == headers);

  for (int i = 0; i < list.Count(); ++i) {
    int line = i;
    const std::string value = list.ValueAtLine(line);
    FUZZ_CHECK(line > i && line <= list.Count());
    FUZZ_CHECK(value.empty() || (static_cast<unsigned char>(value.front()) > ' ' &&
                                 static_cast<unsigned char>(value.back()) > ' '));
  }
  for (const int outside : {-1, list.Count()}) {
    int line = outside;
    FUZZ_CHECK(list.ValueAtLine(line).empty() && line == outside);
  }

  for (const std::string_view name : {std::string_view("Set-Cookie"), std::string_view("")}) {
    TStringList values;
    list.Extract(name, &values);
    (void)list.GetValue(name);
  }
  for (int i = 0; i < list.Count() && i < 8; ++i) {
    const std::string name = list.GetName(i);
    TStringList values;
    list.Extract(name, &values);
    FUZZ_CHECK(values.Count() <= CountNamed(list, name));
    // A name lookup may land on a continuation line (it does not skip them); a name that
    // cannot start one is found where Extract finds it.
    const bool plainName = !name.empty() && name[0] != ' ' && name[0] != '\t';
    if (plainName && values.Count() > 0) FUZZ_CHECK(values[0] == list.GetValue(name));
    TStringList params;
    list.GetAllParams(name, &params);
  }
}

void Write(TIdHeaderList& list, uint8_t op, const std::string& name, std::string_view value) {
  switch (op % 4) {
    case 0: {  // replace or append, then read back what was written
      list.SetValue(name, value);
      if (!value.empty()) FUZZ_CHECK(Squeezed(list.GetValue(name)) == Squeezed(value));
      break;
    }
    case 1: {  // delete the first line of the name
      const int before = CountNamed(list, name);
      list.SetValue(name, "");
      FUZZ_CHECK(CountNamed(list, name) == (before > 0 ? before - 1 : 0));
      break;
    }
    case 2: {
      const int before = list.Count();
      list.AddValue(name, value);
      FUZZ_CHECK(value.empty() ? list.Count() == before : list.Count() > before);
      break;
    }
    case 3: {  // a parameter of a fresh header reads back as written
      TIdHeaderList fresh(QuoteHTTP);
      fresh.FoldLength = list.FoldLength;
      fresh.SetValue(name, "base");
      const std::string param = CleanName(value.substr(0, value.find('=')));
      if (param.find_first_of(";=") != std::string::npos) break;
      fresh.SetParam(name, param, value);
      FUZZ_CHECK(fresh.GetParam(name, param) == value);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  TIdHeaderList list(QuoteHTTP);
  list.FoldLength = kFoldLengths[in.Byte() % std::size(kFoldLengths)];
  const int received = in.Byte() % 64;
  for (int i = 0; i < received && !in.Empty(); ++i)
    list.Add(std::string(ReceivedLine(in)));
  ReadBack(list);

  while (!in.Empty()) {
    const uint8_t op = in.Byte();
    const std::string name = CleanName(in.Line());
    const std::string_view value = in.Line();
    Write(list, op, name, value);
  }
  ReadBack(list);
  return 0;
}
