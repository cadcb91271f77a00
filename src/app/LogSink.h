#pragma once

#include <string>

// Where the run's log goes: one line per event. The program owns the one sink of a run and hands
// it down; components report through their own events and the run's report (TRunReport), never
// to a log of their own.
class TLogSink {
 public:
  virtual ~TLogSink() = default;
  // Writes one event as a line of its own. Never raises: a log that cannot be written never
  // stops the setup.
  virtual void Write(const std::string& AText) noexcept = 0;
  // Where the lines go, for the user to open; empty when they go nowhere the user could open.
  virtual std::string Path() const = 0;
};
