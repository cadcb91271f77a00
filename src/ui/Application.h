#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Exception.h"

class TForm;

// The application object: the message loop, termination and the default exception display.
// One instance exists while the program runs; `Application` points to it.
class TApplication {
 public:
  // exeFileName gives the title (see ApplicationTitleFromFileName).
  explicit TApplication(const std::string& AExeFileName);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  const std::string& Title() const { return FTitle; }

  // Prepares the platform's window services (common controls).
  void Initialize();
  // Creates a form of class T, stores it in reference and keeps it until the application is
  // destroyed; the first form created becomes the main form. OnCreate runs once the form and
  // its controls exist. Defined in ui/Form.h.
  template <class T>
  void CreateForm(T*& AReference);

  // Retrieves and dispatches pending messages until the queue is empty. Taking the quit
  // request from the queue sets Terminated; retrieval goes on.
  void ProcessMessages();
  // Handles one message if one is waiting; otherwise waits for the next one. False when no
  // message was handled.
  bool HandleMessage();
  // True when a message waits in the queue (it stays there).
  bool MessagePending();
  // Posts the quit request and returns at once.
  void Terminate();
  bool Terminated() const { return FTerminated; }

  // Shows the main form (unless ShowMainForm is False), then runs the message loop until
  // Terminated, handing an exception escaping one message to HandleException.
  void Run();
  // The default exception display for the exception being handled (pass
  // std::current_exception()): nothing for EAbort, otherwise ShowException. Never throws, so
  // window and timer procedures may call it before returning to the platform.
  void HandleException(std::exception_ptr e) noexcept;
  void ShowException(const Exception& e);

  TForm* MainForm = nullptr;
  bool MainFormOnTaskBar = false;
  // False: Run does not show the main form (a program that runs without a window).
  bool ShowMainForm = true;

  struct TPlatform;
  TPlatform& Platform() { return *FPlatform; }

 private:
  friend struct TPlatform;
  bool ProcessMessage();
  void AdoptForm(std::unique_ptr<TForm> AForm);
  std::string FTitle;
  bool FTerminated = false;
  std::unique_ptr<TPlatform> FPlatform;
  // Destroyed before the platform: their windows belong to it.
  std::vector<std::unique_ptr<TForm>> FForms;
};

extern TApplication* Application;

// The title as initialised from the program's file name: the name without its folder, cut at
// its first ".", every character after the first in lower case.
std::string ApplicationTitleFromFileName(const std::string& AFileName);

// The text the default exception display shows: the innermost non-empty message, with "."
// appended when its last character is above the full stop (0x2E); a full-width form counts as
// its ASCII counterpart, and the ideographic full stop and comma as a full stop.
std::string ExceptionDisplayText(const Exception& e);
