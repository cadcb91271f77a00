#include "base/Format.h"

#include <cstdio>

std::string FormatV(const char* AFmt, va_list AArgs) {
  va_list copy;
  va_copy(copy, AArgs);
  const int n = std::vsnprintf(nullptr, 0, AFmt, copy);
  va_end(copy);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  std::vsnprintf(out.data(), out.size() + 1, AFmt, AArgs);
  return out;
}

std::string Format(const char* AFmt, ...) {
  va_list args;
  va_start(args, AFmt);
  std::string out = FormatV(AFmt, args);
  va_end(args);
  return out;
}
