#pragma once

#include <memory>
#include <string>

#include "ui/Application.h"

// What the application object needs of the platform's message queue and message box. The
// Win32 build supplies the real queue; the headless build an in-memory one for tests.
struct TApplication::TPlatform {
  TPlatform();
  ~TPlatform();
  void Initialize();
  // Takes one message from the queue and dispatches it; False when the queue was empty.
  // quit is set when the message taken was the quit request.
  bool DispatchOne(bool& AQuit);
  bool MessagePending();
  void WaitMessage();
  void PostQuit();
  void ShowErrorBox(const std::string& AText, const std::string& ACaption);

  struct TState;
  std::unique_ptr<TState> FState;
};
