#pragma once

#include <thread>

// The program's main thread: the one that ran static initialisation.
std::thread::id MainThreadID();
inline bool IsMainThread() {
  return std::this_thread::get_id() == MainThreadID();
}
