#include <deque>

#include "ui/ApplicationPlatform.h"
#include "ui/headless/HeadlessApplication.h"

struct TApplication::TPlatform::TState {
  struct TMessage {
    bool Quit = false;
    std::function<void()> Handler;
  };
  std::deque<TMessage> Queue;
  std::vector<headless::TShownBox> Boxes;
};

TApplication::TPlatform::TPlatform() : FState(std::make_unique<TState>()) {}
TApplication::TPlatform::~TPlatform() = default;

bool TApplication::TPlatform::DispatchOne(bool& quit) {
  if (FState->Queue.empty()) return false;
  TState::TMessage m = std::move(FState->Queue.front());
  FState->Queue.pop_front();
  quit = m.Quit;
  if (m.Handler) m.Handler();
  return true;
}

bool TApplication::TPlatform::MessagePending() {
  return !FState->Queue.empty();
}

// Nothing can arrive from outside a headless queue, so there is nothing to wait for.
void TApplication::TPlatform::WaitMessage() {}

void TApplication::TPlatform::PostQuit() {
  FState->Queue.push_back({true, nullptr});
}

void TApplication::TPlatform::ShowErrorBox(const std::string& text, const std::string& caption) {
  FState->Boxes.push_back({caption, text});
}

namespace headless {

void PostMessage(TApplication& app, std::function<void()> handler) {
  app.Platform().FState->Queue.push_back({false, std::move(handler)});
}

int PendingMessages(TApplication& app) {
  return static_cast<int>(app.Platform().FState->Queue.size());
}

const std::vector<TShownBox>& ShownErrorBoxes(TApplication& app) {
  return app.Platform().FState->Boxes;
}

}  // namespace headless
