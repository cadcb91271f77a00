#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/IdGlobal.h"

// Conversion between the program's text (UTF-8) and the bytes on the wire.
class TIdTextEncoding {
 public:
  virtual ~TIdTextEncoding() = default;
  virtual TIdBytes GetBytes(std::string_view AText) const = 0;
  virtual std::string GetString(const uint8_t* ABytes, size_t ACount) const = 0;
  std::string GetString(const TIdBytes& ABytes) const {
    return GetString(ABytes.data(), ABytes.size());
  }
};

// 7-bit ASCII: each character below 128 is one byte of the same value, every other character
// (each UTF-16 unit of it) becomes "?"; bytes of 128 and more read as U+FFFD.
class TIdASCIIEncoding : public TIdTextEncoding {
 public:
  TIdBytes GetBytes(std::string_view AText) const override;
  std::string GetString(const uint8_t* ABytes, size_t ACount) const override;
  using TIdTextEncoding::GetString;
};

// The shared ASCII encoding, the default of every I/O handler.
const TIdTextEncoding& TextEncodingASCII();
