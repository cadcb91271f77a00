#pragma once

#include <string>
#include <string_view>
#include <vector>

// An ordered list of strings (unsorted, duplicates allowed). Index errors raise EListError
// "List index out of bounds (%d)".
class TStringList {
 public:
  TStringList() = default;
  virtual ~TStringList() = default;

  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& Strings(int AIndex) const;
  const std::string& operator[](int AIndex) const { return Strings(AIndex); }
  void SetStrings(int AIndex, std::string AValue);

  int Add(std::string AValue);
  void Insert(int AIndex, std::string AValue);
  void Delete(int AIndex);
  void Clear() { FItems.clear(); }
  void AddStrings(const TStringList& AOther);
  // First index of an exact match, or -1.
  int IndexOf(std::string_view AValue) const;

  // Every string followed by CR LF.
  std::string Text() const;
  // Replaces the list with the lines of text (CR LF, LF or CR ended).
  void SetText(std::string_view AText);

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 protected:
  void CheckIndex(int AIndex, bool AAllowEnd = false) const;
  std::vector<std::string> FItems;
};
