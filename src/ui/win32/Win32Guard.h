#pragma once

#include <exception>

#include "ui/Application.h"

// Runs body; an exception escaping it goes to the application's exception display instead of
// unwinding through the platform's frames (window and timer procedures). False when one did.
template <typename F>
bool GuardedCall(F&& ABody) noexcept {
  try {
    ABody();
    return true;
  } catch (...) {
    if (Application) Application->HandleException(std::current_exception());
    return false;
  }
}
