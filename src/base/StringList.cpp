#include "base/StringList.h"

#include "base/Exception.h"
#include "base/Format.h"

void TStringList::CheckIndex(int index, bool allowEnd) const {
  const int limit = allowEnd ? Count() : Count() - 1;
  if (index < 0 || index > limit) throw EListError(Format("List index out of bounds (%d)", index));
}

const std::string& TStringList::Strings(int index) const {
  CheckIndex(index);
  return FItems[static_cast<size_t>(index)];
}

void TStringList::SetStrings(int index, std::string value) {
  CheckIndex(index);
  FItems[static_cast<size_t>(index)] = std::move(value);
}

int TStringList::Add(std::string value) {
  FItems.push_back(std::move(value));
  return Count() - 1;
}

void TStringList::Insert(int index, std::string value) {
  CheckIndex(index, true);
  FItems.insert(FItems.begin() + index, std::move(value));
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  FItems.erase(FItems.begin() + index);
}

void TStringList::AddStrings(const TStringList& other) {
  FItems.insert(FItems.end(), other.FItems.begin(), other.FItems.end());
}

int TStringList::IndexOf(std::string_view value) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i] == value) return static_cast<int>(i);
  return -1;
}

std::string TStringList::Text() const {
  std::string out;
  for (const auto& s : FItems) {
    out += s;
    out += "\r\n";
  }
  return out;
}

void TStringList::SetText(std::string_view text) {
  FItems.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t i = start;
    while (i < text.size() && text[i] != '\r' && text[i] != '\n')
      ++i;
    FItems.emplace_back(text.substr(start, i - start));
    if (i < text.size() && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
}
