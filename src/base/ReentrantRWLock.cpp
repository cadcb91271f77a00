#include "base/ReentrantRWLock.h"

void TReentrantRWLock::BeginRead() {
  // The writer reads under the lock it already holds.
  if (IsWriter()) {
    ++FWriteDepth;
    return;
  }
  FLock.lock_shared();
}

void TReentrantRWLock::EndRead() {
  if (IsWriter()) {
    EndWrite();
    return;
  }
  FLock.unlock_shared();
}

void TReentrantRWLock::BeginWrite() {
  if (IsWriter()) {
    ++FWriteDepth;
    return;
  }
  FLock.lock();
  FWriter.store(std::this_thread::get_id(), std::memory_order_release);
  FWriteDepth = 1;
}

void TReentrantRWLock::EndWrite() {
  if (--FWriteDepth == 0) {
    FWriter.store(std::thread::id(), std::memory_order_release);
    FLock.unlock();
  }
}
