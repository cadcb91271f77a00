#include "ui/Application.h"

#include "base/StrUtils.h"
#include "base/Utf.h"
#include "ui/ApplicationPlatform.h"
#include "ui/Form.h"

TApplication* Application = nullptr;

TApplication::TApplication(const std::string& AExeFileName)
    : FTitle(ApplicationTitleFromFileName(AExeFileName)), FPlatform(std::make_unique<TPlatform>()) {
  Application = this;
}

TApplication::~TApplication() {
  FForms.clear();
  if (Application == this) Application = nullptr;
}

void TApplication::Initialize() {
  FPlatform->Initialize();
}

void TApplication::AdoptForm(std::unique_ptr<TForm> AForm) {
  TForm* f = AForm.get();
  FForms.push_back(std::move(AForm));
  if (!MainForm) MainForm = f;
  if (f->OnCreate) f->OnCreate(f);
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
  if (MainForm && ShowMainForm) MainForm->Show();
  while (!FTerminated) {
    try {
      HandleMessage();
    } catch (...) {
      HandleException(std::current_exception());
    }
  }
}

void TApplication::HandleException(std::exception_ptr e) noexcept {
  try {
    try {
      std::rethrow_exception(e);
    } catch (const EAbort&) {
      // Silent by design.
    } catch (const Exception& ex) {
      ShowException(ex);
    } catch (const std::exception& ex) {
      ShowException(Exception(ex.what()));
    }
  } catch (...) {
    // Showing failed, or the object is of no known class: nothing more can be done here, and
    // it must not unwind into the platform's frames.
  }
}

void TApplication::ShowException(const Exception& e) {
  FPlatform->ShowErrorBox(ExceptionDisplayText(e), FTitle);
}

std::string ApplicationTitleFromFileName(const std::string& AFileName) {
  const size_t slash = AFileName.find_last_of("\\/:");
  std::string name = slash == std::string::npos ? AFileName : AFileName.substr(slash + 1);
  const size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  for (size_t i = 1; i < name.size(); ++i)
    name[i] = LowerChar(name[i]);
  return name;
}

namespace {

// The last character of a UTF-8 text as the full-stop rule reads it: the full-width forms of
// ASCII punctuation and the ideographic full stop and comma end a Chinese or Japanese sentence
// as their ASCII counterparts end an English one.
char32_t LastCharacterForFullStop(const std::string& AText) {
  const std::u16string text = Utf8ToUtf16(AText);
  const char32_t c = text.empty() ? 0 : text.back();
  if (c >= 0xFF01 && c <= 0xFF5E) return c - 0xFEE0;  // "！" ... "～"
  if (c == 0x3001 || c == 0x3002) return '.';         // "、" "。"
  return c;
}

}  // namespace

std::string ExceptionDisplayText(const Exception& e) {
  std::string text = e.Message();
  const Exception& inner = e.GetBaseException();
  if (&inner != &e && !inner.Message().empty()) text = inner.Message();
  if (!text.empty() && LastCharacterForFullStop(text) > '.') text += '.';
  return text;
}
