#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Overwrites ASize bytes at AData with zeros in a way the compiler may not drop as a dead store
// (SecureZeroMemory on Windows): for buffers that held a password.
void SecureWipe(void* AData, size_t ASize) noexcept;

// Wipes a string's characters (its whole capacity) and empties it.
void SecureWipe(std::string& AText) noexcept;
void SecureWipe(std::wstring& AText) noexcept;

// Text that must not linger in memory, such as a password: its characters are wiped when it is
// replaced or goes. Copies are wiped the same way.
class TSecretString {
 public:
  TSecretString() = default;
  TSecretString(std::string AText) : FText(std::move(AText)) {}
  TSecretString(const char* AText) : FText(AText) {}
  TSecretString(const TSecretString& AOther) : FText(AOther.FText) {}
  TSecretString(TSecretString&& AOther) noexcept : FText(std::move(AOther.FText)) {
    AOther.Clear();
  }
  TSecretString& operator=(const TSecretString& AOther) {
    if (this != &AOther) Assign(AOther.FText);
    return *this;
  }
  TSecretString& operator=(TSecretString&& AOther) noexcept {
    if (this != &AOther) {
      Clear();
      FText.swap(AOther.FText);
    }
    return *this;
  }
  TSecretString& operator=(std::string_view AText) {
    Assign(AText);
    return *this;
  }
  TSecretString& operator=(const std::string& AText) {
    Assign(AText);
    return *this;
  }
  TSecretString& operator=(const char* AText) {
    Assign(AText);
    return *this;
  }
  ~TSecretString() { Clear(); }

  const std::string& Text() const { return FText; }
  bool empty() const { return FText.empty(); }
  void Clear() noexcept { SecureWipe(FText); }
  bool operator==(const TSecretString& AOther) const { return FText == AOther.FText; }

 private:
  // Wipes the old characters before the new ones take their place.
  void Assign(std::string_view AText) {
    Clear();
    FText.assign(AText);
  }

  std::string FText;
};
