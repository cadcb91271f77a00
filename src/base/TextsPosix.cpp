#include "base/Texts.h"

// The native build is the tests' and speaks English only: it has no string tables.
uint16_t TextLanguage() {
  return 0x0409;
}

std::string ResourceText(uint16_t, TTextId) {
  return {};
}
