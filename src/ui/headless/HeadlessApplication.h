#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/Application.h"

// The in-memory message queue of the headless build, as tests drive it.
namespace headless {

// Queues a message; dispatching it runs handler.
void PostMessage(TApplication& app, std::function<void()> handler);
// Messages waiting in the queue (the quit request included).
int PendingMessages(TApplication& app);
// Every error box shown so far: {caption, text}.
struct TShownBox {
  std::string Caption;
  std::string Text;
};
const std::vector<TShownBox>& ShownErrorBoxes(TApplication& app);

}  // namespace headless
