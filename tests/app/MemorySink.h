#pragma once

// The run's log kept in memory, for the tests that read its lines.

#include <string>
#include <vector>

#include "app/LogSink.h"

class TMemorySink : public TLogSink {
 public:
  void Write(const std::string& AText) noexcept override { Lines.push_back(AText); }
  std::string Path() const override { return "C:\\Users\\Me\\Temp\\setup.log"; }
  // The first line that begins with APrefix; empty when none does.
  std::string Find(const std::string& APrefix) const {
    for (const std::string& line : Lines)
      if (line.starts_with(APrefix)) return line;
    return {};
  }
  // The lines that begin with APrefix, in their order.
  std::vector<std::string> FindAll(const std::string& APrefix) const {
    std::vector<std::string> found;
    for (const std::string& line : Lines)
      if (line.starts_with(APrefix)) found.push_back(line);
    return found;
  }
  std::string All() const {
    std::string all;
    for (const std::string& line : Lines)
      all += line + "\n";
    return all;
  }
  std::vector<std::string> Lines;
};
