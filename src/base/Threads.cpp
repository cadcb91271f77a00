#include "base/Threads.h"

namespace {
const std::thread::id kMainThreadId = std::this_thread::get_id();
}

std::thread::id MainThreadID() {
  return kMainThreadId;
}
