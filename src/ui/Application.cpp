#include "ui/Application.h"

#include "ui/ApplicationPlatform.h"

TApplication* Application = nullptr;

TApplication::TApplication(const std::string& exeFileName)
    : FTitle(ApplicationTitleFromFileName(exeFileName)), FPlatform(std::make_unique<TPlatform>()) {
  Application = this;
}

TApplication::~TApplication() {
  if (Application == this) Application = nullptr;
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

bool TApplication::HandleMessage() {
  if (ProcessMessage()) return true;
  FPlatform->WaitMessage();
  return false;
}

bool TApplication::MessagePending() {
  return FPlatform->MessagePending();
}

void TApplication::Terminate() {
  FPlatform->PostQuit();
}

bool TApplication::ProcessMessage() {
  bool quit = false;
  if (!FPlatform->DispatchOne(quit)) return false;
  if (quit) FTerminated = true;
  return true;
}

void TApplication::Run() {
  while (!FTerminated) {
    try {
      HandleMessage();
    } catch (...) {
      HandleException(std::current_exception());
    }
  }
}

void TApplication::HandleException(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const EAbort&) {
    // Silent by design.
  } catch (const Exception& ex) {
    ShowException(ex);
  } catch (const std::exception& ex) {
    ShowException(Exception(ex.what()));
  }
}

void TApplication::ShowException(const Exception& e) {
  FPlatform->ShowErrorBox(ExceptionDisplayText(e), FTitle);
}

std::string ApplicationTitleFromFileName(const std::string& fileName) {
  const size_t slash = fileName.find_last_of("\\/:");
  std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  const size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  for (size_t i = 1; i < name.size(); ++i)
    if (name[i] >= 'A' && name[i] <= 'Z') name[i] = static_cast<char>(name[i] + 32);
  return name;
}

std::string ExceptionDisplayText(const Exception& e) {
  std::string text = e.Message();
  const Exception& inner = e.GetBaseException();
  if (&inner != &e && !inner.Message().empty()) text = inner.Message();
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}
