#pragma once

// Helpers for the test programs that a server script of tools/ (tls_test_server.py,
// proxy_test_server.py) runs with its servers' ports and sizes in the environment.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/MemoryStream.h"

// A number the script put into the environment; a failure when it is missing.
inline int EnvInt(const char* AName) {
  const char* value = std::getenv(AName);
  if (!value) {
    ADD_FAILURE() << AName << " is not set: run this program through its server script in tools/";
    return 0;
  }
  return std::atoi(value);
}

// The served file's bytes: byte i is (i * 131 + i / 256) % 256.
inline std::string Body(size_t ASize) {
  std::string body(ASize, '\0');
  for (size_t i = 0; i < ASize; ++i)
    body[i] = static_cast<char>((i * 131 + i / 256) % 256);
  return body;
}

inline std::string Text(TMemoryStream& AStream) {
  return std::string(reinterpret_cast<const char*>(AStream.Memory()),
                     static_cast<size_t>(AStream.Size()));
}
