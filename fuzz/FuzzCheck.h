#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// Ends the run when a property of the code under test does not hold; libFuzzer keeps the input
// that showed it as a crash artefact.
#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

// Reads a fuzz input as a sequence of parts: single bytes that steer the run and lines of text.
class TFuzzInput {
 public:
  TFuzzInput(const uint8_t* data, size_t size) : FRest(reinterpret_cast<const char*>(data), size) {}

  bool Empty() const { return FRest.empty(); }
  // The next byte, or 0 when the input is used up.
  uint8_t Byte() {
    if (FRest.empty()) return 0;
    const auto b = static_cast<uint8_t>(FRest.front());
    FRest.remove_prefix(1);
    return b;
  }
  // The text up to the next LF (which is dropped), or the rest of the input.
  std::string_view Line() {
    const size_t end = FRest.find('\n');
    const std::string_view line = FRest.substr(0, end);
    FRest.remove_prefix(end == std::string_view::npos ? FRest.size() : end + 1);
    return line;
  }
  std::string_view Rest() {
    const std::string_view rest = FRest;
    FRest = {};
    return rest;
  }

 private:
  std::string_view FRest;
};
