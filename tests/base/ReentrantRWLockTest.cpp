#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/ReentrantRWLock.h"

using namespace std::chrono_literals;

namespace {

// Waits up to five seconds for a flag; false when it never came.
bool WaitFor(const std::atomic<bool>& flag) {
  for (int i = 0; i < 500 && !flag; ++i)
    std::this_thread::sleep_for(10ms);
  return flag;
}

}  // namespace

TEST(ReentrantRWLock, TheWriterMayLockAgainAndReleasesOnTheLastUnlock) {
  TReentrantRWLock lock;
  {
    TWriteLockGuard outer(lock);
    TWriteLockGuard inner(lock);
    TReadLockGuard read(lock);
    EXPECT_TRUE(lock.IsWriter());
  }
  EXPECT_FALSE(lock.IsWriter());
  std::atomic<bool> wrote{false};
  std::thread other([&] {
    TWriteLockGuard guard(lock);
    wrote = true;
  });
  EXPECT_TRUE(WaitFor(wrote));
  other.join();
}

TEST(ReentrantRWLock, ReadersShareTheLock) {
  TReentrantRWLock lock;
  std::atomic<bool> firstIn{false}, secondIn{false};
  bool sawSecond = false;
  std::thread first([&] {
    TReadLockGuard guard(lock);
    firstIn = true;
    sawSecond = WaitFor(secondIn);
  });
  ASSERT_TRUE(WaitFor(firstIn));
  std::thread second([&] {
    TReadLockGuard guard(lock);
    secondIn = true;
  });
  first.join();
  second.join();
  EXPECT_TRUE(sawSecond);
}

TEST(ReentrantRWLock, TheWriterExcludesReaders) {
  TReentrantRWLock lock;
  std::atomic<bool> readerIn{false};
  lock.BeginWrite();
  std::thread reader([&] {
    TReadLockGuard guard(lock);
    readerIn = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(readerIn);
  lock.EndWrite();
  EXPECT_TRUE(WaitFor(readerIn));
  reader.join();
}
