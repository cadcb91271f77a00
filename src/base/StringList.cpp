#include "base/StringList.h"

#include "base/Exception.h"
#include "base/Format.h"

void TStringList::CheckIndex(int AIndex, bool AAllowEnd) const {
  const int limit = AAllowEnd ? Count() : Count() - 1;
  if (AIndex < 0 || AIndex > limit)
    throw EListError(Format("List index out of bounds (%d)", AIndex));
}

const std::string& TStringList::Strings(int AIndex) const {
  CheckIndex(AIndex);
  return FItems[static_cast<size_t>(AIndex)];
}

void TStringList::SetStrings(int AIndex, std::string AValue) {
  CheckIndex(AIndex);
  FItems[static_cast<size_t>(AIndex)] = std::move(AValue);
}

int TStringList::Add(std::string AValue) {
  FItems.push_back(std::move(AValue));
  return Count() - 1;
}

void TStringList::Insert(int AIndex, std::string AValue) {
  CheckIndex(AIndex, true);
  FItems.insert(FItems.begin() + AIndex, std::move(AValue));
}

void TStringList::Delete(int AIndex) {
  CheckIndex(AIndex);
  FItems.erase(FItems.begin() + AIndex);
}

void TStringList::AddStrings(const TStringList& AOther) {
  FItems.insert(FItems.end(), AOther.FItems.begin(), AOther.FItems.end());
}

int TStringList::IndexOf(std::string_view AValue) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i] == AValue) return static_cast<int>(i);
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

void TStringList::SetText(std::string_view AText) {
  FItems.clear();
  size_t start = 0;
  while (start < AText.size()) {
    size_t i = start;
    while (i < AText.size() && AText[i] != '\r' && AText[i] != '\n')
      ++i;
    FItems.emplace_back(AText.substr(start, i - start));
    if (i < AText.size() && AText[i] == '\r' && i + 1 < AText.size() && AText[i + 1] == '\n') ++i;
    start = i + 1;
  }
}
