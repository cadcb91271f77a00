#pragma once

// Runs body, then cleanup whether body returned or raised. When body raised, its exception is
// the one that propagates (a failure of the clean-up is dropped then); otherwise a failure of
// the clean-up propagates. Unlike a destructor-based guard, the clean-up may raise.
template <typename Body, typename Cleanup>
void TryFinally(Body&& ABody, Cleanup&& ACleanup) {
  try {
    ABody();
  } catch (...) {
    try {
      ACleanup();
    } catch (...) {
      // The body's failure is the one to report.
    }
    throw;
  }
  ACleanup();
}
