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
  const std::string& Strings(int index) const;
  const std::string& operator[](int index) const { return Strings(index); }
  void SetStrings(int index, std::string value);

  int Add(std::string value);
  void Insert(int index, std::string value);
  void Delete(int index);
  void Clear() { FItems.clear(); }
  void AddStrings(const TStringList& other);
  // First index of an exact match, or -1.
  int IndexOf(std::string_view value) const;

  // Every string followed by CR LF.
  std::string Text() const;
  // Replaces the list with the lines of text (CR LF, LF or CR ended).
  void SetText(std::string_view text);

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 protected:
  void CheckIndex(int index, bool allowEnd = false) const;
  std::vector<std::string> FItems;
};
