#pragma once

#include <atomic>
#include <shared_mutex>
#include <thread>

// Many readers or one writer. The thread that holds the write lock may take the write lock and
// the read lock again (each release matching one acquisition). A reader must neither take the
// read lock again nor ask for the write lock while it holds the read lock.
class TReentrantRWLock {
 public:
  TReentrantRWLock() = default;
  TReentrantRWLock(const TReentrantRWLock&) = delete;
  TReentrantRWLock& operator=(const TReentrantRWLock&) = delete;

  void BeginRead();
  void EndRead();
  void BeginWrite();
  void EndWrite();

  // True when the calling thread holds the write lock.
  bool IsWriter() const {
    return FWriter.load(std::memory_order_acquire) == std::this_thread::get_id();
  }

 private:
  std::shared_mutex FLock;
  std::atomic<std::thread::id> FWriter{};
  int FWriteDepth = 0;  // acquisitions by the writer; touched only by the writer
};

class TReadLockGuard {
 public:
  explicit TReadLockGuard(TReentrantRWLock& ALock) : FLock(ALock) { FLock.BeginRead(); }
  ~TReadLockGuard() { FLock.EndRead(); }
  TReadLockGuard(const TReadLockGuard&) = delete;
  TReadLockGuard& operator=(const TReadLockGuard&) = delete;

 private:
  TReentrantRWLock& FLock;
};

class TWriteLockGuard {
 public:
  explicit TWriteLockGuard(TReentrantRWLock& ALock) : FLock(ALock) { FLock.BeginWrite(); }
  ~TWriteLockGuard() { FLock.EndWrite(); }
  TWriteLockGuard(const TWriteLockGuard&) = delete;
  TWriteLockGuard& operator=(const TWriteLockGuard&) = delete;

 private:
  TReentrantRWLock& FLock;
};
